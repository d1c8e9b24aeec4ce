#include "app/ui/Console.h"
#include "app/ui/MainWindow.h"
#include "app/ui/ModeChooser.h"
#include "app/ui/StationTools.h"
#include "install/InstallPaths.h"
#include "platform/Clock.h"
#include "platform/files/LineBuffer.h"
#include "platform/ui/MessageBoxes.h"
#include "stations/CommandChannel.h"
#include "stations/ui/StationRow.h"
#include "support/SmbServer.h"
#include "support/TestPrefix.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include <sys/stat.h>

namespace {
const QString Failed = QStringLiteral("الإتصال غير قائم حاليا مع الجهاز المطلوب");
const QByteArray EightZeros = "0\r\n0\r\n0\r\n0\r\n0\r\n0\r\n0\r\n0";
} // namespace

// The console's rows working real stations over SMB: the suite's smbd on 127.0.0.2 is a station
// that is up, and the station names are addresses.
class TestSmbStations : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void lampsByProbe();
    void commandReachesTheFile_data();
    void commandReachesTheFile();
    void sessionReachesTheFile();
    void fileHeldByTheStationShowsTheMessage();
    void serverKilledMidSession();
    void serverRestartedBetweenTicks();
    void showsAtOnceWithElevenDeadStations();
    void silentStationsHoldUpNoOtherRow();
    void aCommandAndATickDoNotInterleave();
    void aClosingZeroOnItsWayIsWrittenAtExit();
    void aRefusedLogonIsToldOnce();
    void refusedCredentialsAreShownOnce();
    void anUnusableAgentIsNamedOnce_data();
    void anUnusableAgentIsNamedOnce();

private:
    // Writes the roster and chooses central control as the operator does; returns the time the
    // main window took to show, in milliseconds.
    qint64 start(const QByteArray& roster);
    StationRow& row(int i) { return m_console->form1()->row(i); }
    // One tick, a second after the last, its write awaited from the station's thread.
    void tick(int i)
    {
        Clock::advanceMonotonicForTests(1000);
        m_console->tools()->TimerTimer(i);
        m_console->tools()->settle(i);
    }
    QStringList lines567(const SmbServer* station = nullptr) const
    {
        const LineBuffer file((station ? station : m_server.get())->commandFile());
        return {file.line(5), file.line(6), file.line(7)};
    }
    // The station's file holds a session with what the row shows, fewer seconds than below. The
    // row's own timer may fire while a tick's write is awaited, so the file can be one count behind.
    bool fileFollowsRow(const SmbServer* station, int i, int below)
    {
        const QStringList lines = lines567(station);
        const int written = lines.at(2).toInt() * 60 + lines.at(1).toInt();
        const int shown = row(i).minutesDisplay()->text().toInt() * 60 + row(i).secondsDisplay()->text().toInt();
        return lines.at(0) == QStringLiteral("1") && (written == shown || written == shown + 1) && written < below;
    }

    std::unique_ptr<SmbServer> m_server;
    std::unique_ptr<TestPrefix> m_prefix;
    std::unique_ptr<Console> m_console;
    QList<MessageBoxes::Shown> m_boxes;
};

void TestSmbStations::initTestCase()
{
    m_server = SmbServer::fixture();
    if (!m_server)
        QSKIP("no test smbd: run through ctest, as root, with samba installed");
    SmbServer::useTestClientConfig();
}

void TestSmbStations::init()
{
    m_prefix = std::make_unique<TestPrefix>();
    m_prefix->makeTables();
    m_prefix->writeFile(InstallPaths::TariffFile, "0.5\r\n0.25");
    m_server->addStation(EightZeros);
    // The rows' own timers then take nothing between the test's ticks.
    Clock::holdMonotonicForTests(true);
    m_boxes.clear();
    MessageBoxes::setRecorderForTests([this](const MessageBoxes::Shown& box) { m_boxes.append(box); });
    m_console = std::make_unique<Console>();
}

void TestSmbStations::cleanup()
{
    m_console.reset();
    qunsetenv("QUORVEL_SMB_AGENT");
    MessageBoxes::setRecorderForTests({});
    Clock::holdMonotonicForTests(false);
    m_prefix.reset();
}

qint64 TestSmbStations::start(const QByteArray& roster)
{
    m_prefix->writeFile(InstallPaths::RosterFile, roster);
    m_console->form6()->show();
    QElapsedTimer clock;
    clock.start();
    QTest::mouseClick(m_console->form6()->findChild<QPushButton*>("BitBtn3"), Qt::LeftButton);
    const qint64 elapsed = clock.elapsed();
    if (!m_console->form1()->isVisible())
        qFatal("the main window did not show");
    return elapsed;
}

void TestSmbStations::lampsByProbe()
{
    // 127.0.0.9 has nothing listening; on 127.0.0.2 the share is up but lacks the probe file.
    start("127.0.0.2\r\n127.0.0.9");
    QVERIFY(row(0).lampShowsReachable());
    QVERIFY(row(0).stopButton()->isEnabled());
    QVERIFY(!row(1).lampShowsReachable());
    QVERIFY(!row(1).stopButton()->isEnabled());

    QFile::remove(m_server->share() + '/' + SmbServer::commandDir() + "/conect.inf");
    QTest::mouseClick(row(0).refreshButton(), Qt::LeftButton);
    QVERIFY(!row(0).lampShowsReachable());
    m_server->addStation(EightZeros);
    QTest::mouseClick(row(0).refreshButton(), Qt::LeftButton);
    QVERIFY(row(0).lampShowsReachable());
    QVERIFY(m_boxes.isEmpty());
}

void TestSmbStations::commandReachesTheFile_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QByteArray>("after");
    QTest::newRow("shut down") << "BitBtnStop0" << QByteArray("0\r\n0\r\n1\r\n0\r\n0\r\n0\r\n0\r\n0");
    QTest::newRow("log off") << "BitBtnExit0" << QByteArray("0\r\n0\r\n0\r\n1\r\n0\r\n0\r\n0\r\n0");
    QTest::newRow("close protection") << "BitBtnClose0" << QByteArray("1\r\n0\r\n0\r\n0\r\n0\r\n0\r\n0\r\n0");
}

void TestSmbStations::commandReachesTheFile()
{
    QFETCH(QString, button);
    QFETCH(QByteArray, after);
    start("127.0.0.2");
    QTest::mouseClick(m_console->form1()->findChild<QPushButton*>(button), Qt::LeftButton);
    QCOMPARE(m_server->commandFile(), after);
    QVERIFY(m_boxes.isEmpty());
}

void TestSmbStations::sessionReachesTheFile()
{
    start("127.0.0.2");
    QTest::mouseClick(row(0).openButton(), Qt::LeftButton);
    QVERIFY(m_boxes.isEmpty());
    QCOMPARE(lines567(), (QStringList{"1", "0", "0"}));
    tick(0);
    QCOMPARE(lines567(), (QStringList{"1", "59", "14"}));
    tick(0);
    QCOMPARE(lines567(), (QStringList{"1", "58", "14"}));
    QTest::mouseClick(row(0).timeStopButton(), Qt::LeftButton);
    QCOMPARE(lines567(), (QStringList{"0", "58", "14"}));
    QVERIFY(m_boxes.isEmpty());
}

void TestSmbStations::fileHeldByTheStationShowsTheMessage()
{
    start("127.0.0.2");
    {
        SmbHolder client(m_server->commandFileUrl(), true, SmbHolder::DenyAll);
        QVERIFY(client.holds());
        QTest::mouseClick(row(0).stopButton(), Qt::LeftButton);
    }
    QCOMPARE(m_boxes.size(), 1);
    QCOMPARE(m_boxes[0].text, Failed);
    QCOMPARE(m_server->commandFile(), EightZeros);
    QVERIFY(row(0).lampShowsReachable());
    // Once the station lets go, the same command goes through.
    QTest::mouseClick(row(0).stopButton(), Qt::LeftButton);
    QCOMPARE(m_server->commandFile(), QByteArray("0\r\n0\r\n1\r\n0\r\n0\r\n0\r\n0\r\n0"));
}

void TestSmbStations::serverKilledMidSession()
{
    QTemporaryDir dir;
    // Declared after its folder, so that it is stopped before the folder goes.
    std::unique_ptr<SmbServer> station = SmbServer::start(dir.path() + "/smbd", "127.0.0.3");
    QVERIFY(station);
    station->addStation(EightZeros);
    start("127.0.0.2\r\n127.0.0.3");
    QVERIFY(row(1).lampShowsReachable());
    QTest::mouseClick(row(1).openButton(), Qt::LeftButton);
    tick(1);
    QCOMPARE(lines567(station.get()), (QStringList{"1", "59", "14"}));

    station->kill();
    QElapsedTimer clock;
    clock.start();
    tick(1);
    QVERIFY2(clock.elapsed() < 1500, qPrintable(QString::number(clock.elapsed())));
    QVERIFY(!row(1).lampShowsReachable());
    // The customer's time goes on being counted.
    QVERIFY(m_console->tools()->timer(1)->isActive());

    // The console answers, and the other station is still worked.
    clock.restart();
    QTest::mouseClick(row(1).stopButton(), Qt::LeftButton);
    QVERIFY2(clock.elapsed() < 1500, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(m_boxes.size(), 1);
    QTest::mouseClick(row(0).stopButton(), Qt::LeftButton);
    QCOMPARE(m_server->commandFile(), QByteArray("0\r\n0\r\n1\r\n0\r\n0\r\n0\r\n0\r\n0"));
    QCOMPARE(m_boxes.size(), 1);

    // The station comes back: the next try of the backoff brings its file up to date.
    const QByteArray left = station->commandFile();
    QCOMPARE(left, QByteArray("0\r\n0\r\n0\r\n0\r\n0\r\n1\r\n59\r\n14"));
    const QString address = station->address();
    station.reset();
    station = SmbServer::start(dir.path() + "/smbd", address);
    QVERIFY(station);
    station->addStation(left);
    QTest::qWait(1100); // past the second in which the failure is remembered
    Clock::advanceMonotonicForTests(60'000);
    tick(1);
    QVERIFY(row(1).lampShowsReachable());
    QVERIFY2(fileFollowsRow(station.get(), 1, 14 * 60), qPrintable(lines567(station.get()).join(u' ')));
    const QString seconds = lines567(station.get()).at(1);
    const QString minutes = lines567(station.get()).at(2);

    // A stop that the station cannot take is owed and delivered once the station answers.
    station->kill();
    QTest::mouseClick(row(1).timeStopButton(), Qt::LeftButton);
    QCOMPARE(m_boxes.size(), 2);
    QCOMPARE(lines567(station.get()).at(0), QStringLiteral("1"));
    station.reset();
    station = SmbServer::start(dir.path() + "/smbd", address);
    QVERIFY(station);
    station->addStation("0\r\n0\r\n0\r\n0\r\n0\r\n1\r\n" + seconds.toLatin1() + "\r\n" + minutes.toLatin1());
    QTest::qWait(1100);
    QTest::mouseClick(row(1).refreshButton(), Qt::LeftButton);
    QCOMPARE(lines567(station.get()), (QStringList{"0", seconds, minutes}));
    QVERIFY(!m_console->tools()->timer(1)->isActive());
}

void TestSmbStations::serverRestartedBetweenTicks()
{
    // The session the console held is gone with the old server; it is set up again at once, as
    // Windows does, instead of halting a countdown on a station that is up.
    QTemporaryDir dir;
    // An address of its own: the killed server's failure is remembered for a second.
    std::unique_ptr<SmbServer> station = SmbServer::start(dir.path() + "/smbd", "127.0.0.4");
    QVERIFY(station);
    station->addStation(EightZeros);
    start("127.0.0.4");
    QTest::mouseClick(row(0).openButton(), Qt::LeftButton);
    tick(0);
    QCOMPARE(lines567(station.get()), (QStringList{"1", "59", "14"}));

    station->kill();
    station.reset(); // before its successor starts in the same folder
    station = SmbServer::start(dir.path() + "/smbd", "127.0.0.4");
    QVERIFY(station);
    station->addStation("1\r\n0\r\n0\r\n0\r\n0\r\n1\r\n59\r\n14");
    tick(0);
    QVERIFY(m_console->tools()->timer(0)->isActive());
    QVERIFY(row(0).lampShowsReachable());
    // The count follows the clock, and a busy machine may take seconds to restart the server: the
    // new server's file has been written since it started (less than the 14:59 it was given).
    QVERIFY2(fileFollowsRow(station.get(), 0, 14 * 60 + 59), qPrintable(lines567(station.get()).join(u' ')));
    QVERIFY(m_boxes.isEmpty());
}

void TestSmbStations::showsAtOnceWithElevenDeadStations()
{
    // Switched off: each connect goes unanswered. One after another they would cost 11 seconds.
    std::vector<std::unique_ptr<SilentStation>> dead;
    QByteArray roster = "127.0.0.2";
    for (int i = 0; i < 11; ++i) {
        const QString address = QStringLiteral("127.0.1.%1").arg(10 + i);
        dead.push_back(std::make_unique<SilentStation>(address, true));
        roster += "\r\n" + address.toLatin1();
    }
    const qint64 elapsed = start(roster);
    QVERIFY2(elapsed < 2500, qPrintable(QString::number(elapsed)));
    QVERIFY(row(0).lampShowsReachable());
    for (int i = 1; i < 12; ++i)
        QVERIFY(!row(i).lampShowsReachable());
}

// Three stations that take the connection and never answer are refreshed while a fourth counts
// a session: its file is written every second, and the window's loop never waits on them.
void TestSmbStations::silentStationsHoldUpNoOtherRow()
{
    // The row's own timer counts here, on the running clock.
    Clock::holdMonotonicForTests(false);
    std::vector<std::unique_ptr<SilentStation>> silent;
    QByteArray roster = "127.0.0.2";
    for (int i = 0; i < 3; ++i) {
        const QString address = QStringLiteral("127.0.1.%1").arg(30 + i);
        silent.push_back(std::make_unique<SilentStation>(address, false));
        roster += "\r\n" + address.toLatin1();
    }
    start(roster);
    QTest::mouseClick(row(0).openButton(), Qt::LeftButton);
    QCOMPARE(lines567(), (QStringList{"1", "0", "0"}));

    QElapsedTimer clock;
    clock.start();
    qint64 last = 0;
    qint64 longestStall = 0;
    QTimer beat;
    beat.setTimerType(Qt::PreciseTimer);
    connect(&beat, &QTimer::timeout, [&] {
        longestStall = std::max(longestStall, clock.elapsed() - last);
        last = clock.elapsed();
    });
    beat.start(10);
    // Each refresh waits for its own station, about a second, in a loop of its own.
    for (int i = 1; i <= 3; ++i)
        QTimer::singleShot(100 * i, [this, i] { QTest::mouseClick(row(i).refreshButton(), Qt::LeftButton); });
    QStringList seen;
    while (clock.elapsed() < 3500) {
        QTest::qWait(20);
        const QString seconds = lines567().at(1);
        if (seen.isEmpty() || seen.last() != seconds)
            seen.append(seconds);
    }
    beat.stop();
    QVERIFY2(seen.size() >= 4, qPrintable(seen.join(' ')));
    QVERIFY2(longestStall < 300, qPrintable(QString::number(longestStall)));
    for (int i = 1; i <= 3; ++i)
        QVERIFY(!row(i).lampShowsReachable());
    QVERIFY(row(0).lampShowsReachable());
}

// An operator's command given while a tick's write is on its way waits for it: the file then
// holds both, never the one written over the other.
void TestSmbStations::aCommandAndATickDoNotInterleave()
{
    start("127.0.0.2");
    QTest::mouseClick(row(0).openButton(), Qt::LeftButton);
    for (int i = 0; i < 5; ++i) {
        m_console->tools()->TimerTimer(0);
        QTest::mouseClick(row(0).stopButton(), Qt::LeftButton);
        const LineBuffer file(m_server->commandFile());
        QCOMPARE(file.line(CommandChannel::ShutDownLine), QStringLiteral("1"));
        QCOMPARE((QStringList{file.line(5), file.line(6), file.line(7)}),
                 (QStringList{"1", row(0).secondsDisplay()->text(), row(0).minutesDisplay()->text()}));
        QList<QByteArray> lines = m_server->commandFile().split('\n');
        lines[CommandChannel::ShutDownLine] = "0\r";
        m_server->addStation(lines.join('\n'));
    }
    QVERIFY(m_boxes.isEmpty());
}

// The session's end, posted by its last tick, is still on its way when the console closes:
// closing waits for it, so the station is not left open.
void TestSmbStations::aClosingZeroOnItsWayIsWrittenAtExit()
{
    start("127.0.0.2");
    QTest::mouseClick(row(0).openButton(), Qt::LeftButton);
    tick(0);
    QCOMPARE(lines567(), (QStringList{"1", "59", "14"}));
    Clock::advanceMonotonicForTests(15 * 60 * 1000 + 1000); // past the last second
    m_console->tools()->TimerTimer(0);
    // Ended, and not closed until the station has taken its "0".
    QCOMPARE(row(0).minutesDisplay()->text(), StationTools::owedCloseCaption());
    m_console.reset();
    QCOMPARE(lines567().at(0), QStringLiteral("0"));
}

void TestSmbStations::aRefusedLogonIsToldOnce()
{
    // A station of its own, so that no session of an earlier test is reused.
    QTemporaryDir dir;
    std::unique_ptr<SmbServer> station = SmbServer::start(dir.path() + "/smbd", "127.0.0.11");
    QVERIFY(station);
    station->addStation(EightZeros);
    const QString path = m_prefix->root() + "/smb-credentials";
    m_prefix->writeFile("C:\\x", "");
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    // With the byte-order mark a Windows editor writes, which must not hide the user's name (the
    // share would then take a guest).
    file.write("\xEF\xBB\xBFusername = nobody\r\npassword = not-the-secret\r\n");
    file.close();
    QCOMPARE(::chmod(QFile::encodeName(path).constData(), 0600), 0);

    start("127.0.0.11");
    QVERIFY(!row(0).lampShowsReachable());
    QCOMPARE(m_boxes.size(), 1);
    const QString text = m_boxes[0].text;
    QVERIFY2(text.contains(path) && text.contains("127.0.0.11"), qPrintable(text));
    QVERIFY(!text.contains("not-the-secret"));
    QTest::qWait(1100);
    QTest::mouseClick(row(0).refreshButton(), Qt::LeftButton);
    QCOMPARE(m_boxes.size(), 2);
    QCOMPARE(m_boxes[1].text, text);

    // Corrected: the station is reached.
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write("\xEF\xBB\xBFusername = nobody\r\npassword = quorvel-test\r\n");
    file.close();
    QTest::qWait(1100);
    QTest::mouseClick(row(0).refreshButton(), Qt::LeftButton);
    QVERIFY(row(0).lampShowsReachable());
    QCOMPARE(m_boxes.size(), 2);
}

void TestSmbStations::refusedCredentialsAreShownOnce()
{
    const QString path = m_prefix->root() + "/smb-credentials";
    m_prefix->writeFile("C:\\x", ""); // the prefix exists
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("username = nobody\npassword = quorvel-test\n");
    file.close();
    QCOMPARE(::chmod(QFile::encodeName(path).constData(), 0644), 0);
    start("127.0.0.2\r\n127.0.0.2");
    QCOMPARE(m_boxes.size(), 1);
    QVERIFY2(m_boxes[0].text.contains(path) && m_boxes[0].text.contains("chmod 600"), qPrintable(m_boxes[0].text));
    QVERIFY(!m_boxes[0].text.contains("quorvel-test"));
    QVERIFY(!row(0).lampShowsReachable());
    QVERIFY(!row(1).lampShowsReachable());
}

void TestSmbStations::anUnusableAgentIsNamedOnce_data()
{
    QTest::addColumn<QByteArray>("script"); // none: the program is missing
    QTest::addColumn<bool>("executable");
    QTest::addColumn<QString>("what");
    QTest::newRow("missing") << QByteArray() << true << "غير موجود";
    QTest::newRow("not executable") << QByteArray("#!/bin/sh\nexit 0\n") << false << "لا يُسمح بتشغيله";
    QTest::newRow("ends at start") << QByteArray("#!/bin/sh\nexit 3\n") << true << "رمز الخروج 3";
    QTest::newRow("hangs") << QByteArray("#!/bin/sh\nexec sleep 30\n") << true << "لا يستجيب";
}

// Two stations that answer their port, and an agent program that cannot serve them: one box names
// the program and what is wrong with it, and the window waits no longer than a station's bound.
void TestSmbStations::anUnusableAgentIsNamedOnce()
{
    QFETCH(QByteArray, script);
    QFETCH(bool, executable);
    QFETCH(QString, what);
    QTemporaryDir dir;
    const QString program = dir.path() + "/quorvel-smb-agent";
    if (!script.isEmpty()) {
        QFile file(program);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(script);
        file.close();
        QCOMPARE(::chmod(QFile::encodeName(program).constData(), executable ? 0755 : 0644), 0);
    }
    const SilentStation listening(QStringLiteral("127.0.1.60"), false);
    qputenv("QUORVEL_SMB_AGENT", QFile::encodeName(program));

    const qint64 elapsed = start("127.0.0.2\r\n127.0.1.60");
    QVERIFY2(elapsed < 2000, qPrintable(QString::number(elapsed)));
    QVERIFY(!row(0).lampShowsReachable());
    QVERIFY(!row(1).lampShowsReachable());
    QCOMPARE(m_boxes.size(), 1);
    QVERIFY2(m_boxes[0].text.contains(program) && m_boxes[0].text.contains(what), qPrintable(m_boxes[0].text));
    QTest::mouseClick(row(0).refreshButton(), Qt::LeftButton);
    QCOMPARE(m_boxes.size(), 1);

    // Mended, the next refresh reaches the station; a program that hangs is given up on later.
    if (what == QStringLiteral("لا يستجيب"))
        return;
    qunsetenv("QUORVEL_SMB_AGENT");
    QTest::mouseClick(row(0).refreshButton(), Qt::LeftButton);
    QVERIFY(row(0).lampShowsReachable());
    QCOMPARE(m_boxes.size(), 1);
}

QTEST_MAIN(TestSmbStations)
#include "tst_smbstations.moc"
