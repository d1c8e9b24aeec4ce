// Measures stations over SMB against a real smbd that it starts on 127.0.0.2 (run as root):
//   - one CommandWrite (read, change a line, write back) against the floor: a bare libsmbclient
//     read plus write of the same bytes on a context of its own, reused, with the same share
//     modes and timeout;
//   - showing the main window with 12 stations in the roster, 11 of them switched off (their
//     connects are dropped), against a roster of one switched-off station: one bound's wait;
//   - the window's loop while one station counts a session and three others take connections but
//     never answer, each refreshed in turn every two seconds (a refresh waits for its station):
//     the longest the loop went unserved, and the intervals between rewrites of the counting
//     station's file; against the same with all four stations answering.
// Usage: bench_smb [command writes, default 1000] [seconds of each session run, default 60]

#include "app/ui/Console.h"
#include "app/ui/MainWindow.h"
#include "app/ui/ModeChooser.h"
#include "bench/BenchSupport.h"
#include "install/InstallPaths.h"
#include "platform/files/LineBuffer.h"
#include "platform/ui/Application.h"
#include "stations/CommandChannel.h"
#include "support/SmbServer.h"
#include "support/TestPrefix.h"

#include "stations/ui/StationRow.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <libsmbclient.h>
#include <vector>

namespace {

using Bench::median;

class BareClient
{
public:
    BareClient()
    {
        m_ctx = smbc_new_context();
        smbc_setTimeout(m_ctx, 1000);
        smbc_setFunctionAuthDataWithContext(m_ctx,
                                            [](SMBCCTX*, const char*, const char*, char*, int, char* user, int, char* pw, int) {
                                                std::strcpy(user, "guest");
                                                pw[0] = '\0';
                                            });
        if (!smbc_init_context(m_ctx))
            qFatal("no bare client");
    }
    ~BareClient() { smbc_free_context(m_ctx, 1); }

    QByteArray read(const char* url)
    {
        smbc_setOptionOpenShareMode(m_ctx, SMBC_SHAREMODE_DENY_WRITE);
        SMBCFILE* f = smbc_getFunctionOpen(m_ctx)(m_ctx, url, O_RDONLY, 0);
        if (!f)
            qFatal("bare open failed");
        QByteArray bytes;
        char chunk[65536];
        for (ssize_t n; (n = smbc_getFunctionRead(m_ctx)(m_ctx, f, chunk, sizeof chunk)) > 0;)
            bytes.append(chunk, n);
        smbc_getFunctionClose(m_ctx)(m_ctx, f);
        return bytes;
    }
    void write(const char* url, const QByteArray& bytes)
    {
        smbc_setOptionOpenShareMode(m_ctx, SMBC_SHAREMODE_DENY_ALL);
        SMBCFILE* f = smbc_getFunctionOpen(m_ctx)(m_ctx, url, O_WRONLY | O_CREAT, 0666);
        if (!f || smbc_getFunctionFtruncate(m_ctx)(m_ctx, f, 0) < 0
            || smbc_getFunctionWrite(m_ctx)(m_ctx, f, bytes.constData(), size_t(bytes.size())) != bytes.size())
            qFatal("bare write failed");
        smbc_getFunctionClose(m_ctx)(m_ctx, f);
    }

private:
    SMBCCTX* m_ctx;
};

// Chooses central control on a fresh console and returns how long the main window took to show.
double showMainWindow(TestPrefix& prefix, const QByteArray& roster)
{
    prefix.writeFile(InstallPaths::RosterFile, roster);
    Console console;
    console.form6()->show();
    const double ms = Bench::millis([&] { console.form6()->findChild<QPushButton*>("BitBtn3")->click(); });
    if (!console.form1()->isVisible())
        qFatal("the main window did not show");
    return ms;
}

struct LoopRun
{
    qint64 longestStallMs = 0;
    qint64 shortestRewriteMs = 0;
    qint64 longestRewriteMs = 0;
    int rewrites = 0;
};

// Row 0 counts a session on the station that answers; rows 1 to 3 hold the others, refreshed in
// turn every two seconds. The loop's heartbeat and the station's file are looked at every 5 ms.
LoopRun sessionAmongOthers(TestPrefix& prefix, const SmbServer& server, const QStringList& others, int seconds)
{
    prefix.writeFile(InstallPaths::RosterFile, (QStringList{server.address()} + others).join(QStringLiteral("\r\n")).toLatin1());
    Console console;
    console.form6()->show();
    console.form6()->findChild<QPushButton*>("BitBtn3")->click();
    StationRow& counting = console.form1()->row(0);
    counting.minutesBox()->setCurrentText(QStringLiteral("120"));
    counting.openButton()->click();

    LoopRun run;
    QElapsedTimer clock;
    clock.start();
    qint64 lastBeat = 0;
    qint64 lastRewrite = -1;
    QByteArray lastFile = server.commandFile();
    QTimer beat;
    beat.setTimerType(Qt::PreciseTimer);
    QObject::connect(&beat, &QTimer::timeout, [&] {
        const qint64 now = clock.elapsed();
        run.longestStallMs = std::max(run.longestStallMs, now - lastBeat);
        lastBeat = now;
        const QByteArray file = server.commandFile();
        if (file == lastFile)
            return;
        lastFile = file;
        if (lastRewrite >= 0) {
            const qint64 interval = now - lastRewrite;
            run.shortestRewriteMs = run.rewrites == 0 ? interval : std::min(run.shortestRewriteMs, interval);
            run.longestRewriteMs = std::max(run.longestRewriteMs, interval);
            ++run.rewrites;
        }
        lastRewrite = now;
    });
    int next = 0;
    QTimer refresh;
    QObject::connect(&refresh, &QTimer::timeout, [&] {
        console.form1()->row(1 + next).refreshButton()->click();
        next = (next + 1) % 3;
    });
    beat.start(5);
    refresh.start(2000);
    while (clock.elapsed() < qint64(seconds) * 1000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    return run;
}

void reportLoop(const char* what, const LoopRun& run)
{
    std::printf("%-34s longest stall %4lld ms   rewrites %3d, every %4lld to %4lld ms\n", what, qint64(run.longestStallMs),
                run.rewrites, qint64(run.shortestRewriteMs), qint64(run.longestRewriteMs));
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    if (qEnvironmentVariableIsEmpty("QUORVEL_TEST_SMBD_SCRIPT"))
        qputenv("QUORVEL_TEST_SMBD_SCRIPT", QUORVEL_SOURCE_DIR "/scripts/test-smbd.sh");
    SmbServer::useTestClientConfig();
    Application app(argc, argv, QStringLiteral("QuorvelServer"));
    const int writes = argc > 1 ? atoi(argv[1]) : 1000;
    const int sessionSeconds = argc > 2 ? atoi(argv[2]) : 60;

    QTemporaryDir serverDir;
    const std::unique_ptr<SmbServer> server = SmbServer::start(serverDir.path() + "/smbd", "127.0.0.2");
    if (!server)
        qFatal("cannot start smbd (root and samba needed)");
    server->addStation();
    TestPrefix prefix;
    prefix.makeTables();
    prefix.writeFile(InstallPaths::TariffFile, "0.5\r\n0.25");

    // Command writes, one of each in turn, so that both sides see the same server, cache and load.
    const QString station = server->address();
    const QByteArray url = server->commandFileUrl();
    LineBuffer scratch;
    BareClient bare;
    CommandWrite(scratch, station, 6, "0");
    bare.write(url.constData(), bare.read(url.constData()));
    QList<double> ours, floor;
    const auto timeOurs = [&](int i) {
        ours.push_back(Bench::millis([&] { CommandWrite(scratch, station, 6, QString::number(i % 60)); }));
    };
    const auto timeBare = [&](int i) {
        floor.push_back(Bench::millis([&] {
            LineBuffer buffer(bare.read(url.constData()));
            buffer.setLine(6, QString::number(i % 60));
            bare.write(url.constData(), buffer.text());
        }));
    };
    // Which goes first changes every time, so neither always finds the server just woken.
    for (int i = 0; i < writes; ++i) {
        if (i % 2) {
            timeOurs(i);
            timeBare(i);
        } else {
            timeBare(i);
            timeOurs(i);
        }
    }
    std::printf("CommandWrite over SMB:        %7.3f ms   bare read+write: %7.3f ms   ratio %.2f\n", median(ours), median(floor),
                median(ours) / median(floor));

    // Start-up: eleven stations switched off, against twelve that are up.
    QByteArray allUp = station.toLatin1();
    QByteArray elevenDead = station.toLatin1();
    std::vector<std::unique_ptr<SilentStation>> dead;
    for (int i = 0; i < 11; ++i) {
        const QString address = QStringLiteral("127.0.1.%1").arg(10 + i);
        dead.push_back(std::make_unique<SilentStation>(address, true));
        elevenDead += "\r\n" + address.toLatin1();
        allUp += "\r\n" + station.toLatin1();
    }
    // The floor is one dead station alone: one bound's wait is the least a dead station costs.
    const QByteArray oneDead = QByteArrayLiteral("127.0.1.10");
    QList<double> upTimes, deadTimes, oneDeadTimes;
    for (int round = 0; round < 3; ++round) {
        upTimes.push_back(showMainWindow(prefix, allUp));
        deadTimes.push_back(showMainWindow(prefix, elevenDead));
        QThread::msleep(1100); // past the memory of failed stations
        oneDeadTimes.push_back(showMainWindow(prefix, oneDead));
        QThread::msleep(1100);
    }
    std::printf("Start-up, 11 of 12 dead:      %7.1f ms   1 dead alone:    %7.1f ms   ratio %.2f   (12 up: %.1f ms)\n",
                median(deadTimes), median(oneDeadTimes), median(deadTimes) / median(oneDeadTimes), median(upTimes));

    // A session among three silent stations, against the same among three that answer.
    std::vector<std::unique_ptr<SilentStation>> silent;
    QStringList silentNames;
    for (int i = 0; i < 3; ++i) {
        silentNames << QStringLiteral("127.0.1.%1").arg(40 + i);
        silent.push_back(std::make_unique<SilentStation>(silentNames.last(), false));
    }
    QThread::msleep(1100);
    const LoopRun amongSilent = sessionAmongOthers(prefix, *server, silentNames, sessionSeconds);
    const LoopRun amongHealthy = sessionAmongOthers(prefix, *server, {station, station, station}, sessionSeconds);
    reportLoop("Session among 3 silent stations:", amongSilent);
    reportLoop("Session among 3 that answer:", amongHealthy);
    return 0;
}
