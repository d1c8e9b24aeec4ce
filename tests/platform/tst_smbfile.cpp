#include "platform/AppError.h"
#include "platform/files/LineBuffer.h"
#include "platform/files/SystemTexts.h"
#include "platform/files/WinFile.h"
#include "platform/files/WinPath.h"
#include "stations/CommandChannel.h"
#include "support/SmbServer.h"
#include "support/TestPrefix.h"

#include <QElapsedTimer>
#include <QtTest>

#include <atomic>
#include <csignal>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

QString unc(const QString& host, const QString& rest)
{
    return QStringLiteral("\\\\") + host + QLatin1Char('\\') + rest;
}

QString errorOf(const std::function<void()>& operation)
{
    try {
        operation();
    } catch (const AppError& e) {
        return e.text();
    }
    return QStringLiteral("<no error>");
}

} // namespace

class TestSmbFile : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void readsAndWritesTheShare();
    void commandWriteReachesTheFile();
    void errorsNameTheWindowsPath_data();
    void errorsNameTheWindowsPath();
    void fileHeldByAnotherClient_data();
    void fileHeldByAnotherClient();
    void refusesLargeFiles();
    void deadStationFailsWithinTheBound_data();
    void deadStationFailsWithinTheBound();
    void threadsReachStationsAtOnce();
    void anEndedAgentIsStartedAgain();
    void credentialsFile_data();
    void credentialsFile();

private:
    std::unique_ptr<SmbServer> m_server;
    std::unique_ptr<TestPrefix> m_prefix;
    QString m_host;
};

void TestSmbFile::initTestCase()
{
    m_server = SmbServer::fixture();
    if (!m_server)
        QSKIP("no test smbd: run through ctest, as root, with samba installed");
    SmbServer::useTestClientConfig();
    m_host = m_server->address();
}

void TestSmbFile::init()
{
    m_prefix = std::make_unique<TestPrefix>();
}

void TestSmbFile::cleanup()
{
    m_prefix.reset();
}

void TestSmbFile::readsAndWritesTheShare()
{
    m_server->writeFile("Dir/x.inf", "abc");
    QCOMPARE(WinFile::read(unc(m_host, "C\\Dir\\x.inf")), QByteArray("abc"));
    // Windows names: any case, blanks and Arabic letters.
    QCOMPARE(WinFile::read(unc(m_host, "c\\DIR\\X.INF")), QByteArray("abc"));
    m_server->writeFile("Program Files/محطة.inf", "old text that is longer");
    WinFile::write(unc(m_host, "C\\Program Files\\محطة.inf"), "new");
    QCOMPARE(m_server->readFile("Program Files/محطة.inf"), QByteArray("new"));
    // The station's directory is not mapped locally: nothing appeared below the prefix.
    QVERIFY(!QDir(m_prefix->root() + "/unc").exists());
}

void TestSmbFile::commandWriteReachesTheFile()
{
    m_server->addStation("0\r\n0\r\n0\r\n0\r\n0\r\n0\r\n0\r\n0");
    LineBuffer scratch;
    CommandWriteLines(scratch, m_host, {{5, "1"}, {6, "59"}, {7, "14"}});
    QCOMPARE(m_server->commandFile(), QByteArray("0\r\n0\r\n0\r\n0\r\n0\r\n1\r\n59\r\n14"));
    StationProbe(scratch, m_host);
}

void TestSmbFile::errorsNameTheWindowsPath_data()
{
    QTest::addColumn<QString>("host"); // "@" stands for the test server
    QTest::addColumn<QString>("rest");
    QTest::addColumn<QString>("reason");
    const QString notFound = "The system cannot find the file specified";
    const QString noPath = SystemTexts::networkPathNotFound();
    QTest::newRow("missing file") << "@"
                                  << "C\\nope.inf" << notFound;
    QTest::newRow("missing folder") << "@"
                                    << "C\\no\\such.inf" << notFound;
    QTest::newRow("missing share") << "@"
                                   << "D\\x.inf" << notFound;
    QTest::newRow("nothing listening") << "127.0.0.9"
                                       << "C\\x.inf" << noPath;
    QTest::newRow("unknown name") << "no-such-station.invalid"
                                  << "C\\x.inf" << noPath;
    QTest::newRow("user name in the host") << "guest@127.0.0.2"
                                           << "C\\x.inf" << noPath;
    QTest::newRow("port in the host") << "127.0.0.2:139"
                                      << "C\\x.inf" << noPath;
}

void TestSmbFile::errorsNameTheWindowsPath()
{
    QFETCH(QString, host);
    QFETCH(QString, rest);
    QFETCH(QString, reason);
    const QString path = unc(host == "@" ? m_host : host, rest);
    QCOMPARE(errorOf([&] { WinFile::read(path); }), QStringLiteral("Cannot open file \"%1\". %2").arg(path, reason));
    // A missing file is not created by a write either.
    QVERIFY(errorOf([&] { WinFile::write(path, "1"); }).startsWith("Cannot create file \"" + path + "\". "));
}

void TestSmbFile::fileHeldByAnotherClient_data()
{
    QTest::addColumn<bool>("forWriting");
    QTest::addColumn<int>("shareMode");
    QTest::addColumn<bool>("readable");
    QTest::newRow("held for writing, deny all") << true << int(SmbHolder::DenyAll) << false;
    QTest::newRow("held for reading, deny write") << false << int(SmbHolder::DenyWrite) << true;
    QTest::newRow("held for writing, deny none") << true << int(SmbHolder::DenyNone) << false;
}

void TestSmbFile::fileHeldByAnotherClient()
{
    QFETCH(bool, forWriting);
    QFETCH(int, shareMode);
    QFETCH(bool, readable);
    const QByteArray before = "0\r\n0\r\n0\r\n0\r\n0\r\n0\r\n0\r\n0";
    m_server->addStation(before);
    SmbHolder other(m_server->commandFileUrl(), forWriting, SmbHolder::ShareMode(shareMode));
    QVERIFY(other.holds());

    QElapsedTimer clock;
    clock.start();
    LineBuffer scratch;
    const QString failure = errorOf([&] { CommandWrite(scratch, m_host, 2, "1"); });
    QVERIFY2(clock.elapsed() < 500, "a held file fails at once");
    QCOMPARE(failure,
             QStringLiteral("Cannot %1 file \"%2\". %3")
                 .arg(readable ? "create" : "open", CommandChannel::commandFilePath(m_host), SystemTexts::sharingViolation()));
    QCOMPARE(m_server->commandFile(), before);
    if (readable)
        QCOMPARE(WinFile::read(CommandChannel::commandFilePath(m_host)), before);
}

void TestSmbFile::refusesLargeFiles()
{
    m_server->writeFile("big.inf", QByteArray(WinFile::MaxFileSize + 1, '0'));
    m_server->writeFile("limit.inf", QByteArray(WinFile::MaxFileSize, '0'));
    QCOMPARE(errorOf([&] { WinFile::read(unc(m_host, "C\\big.inf")); }),
             QStringLiteral("Cannot open file \"%1\". %2").arg(unc(m_host, "C\\big.inf"), SystemTexts::fileTooLarge()));
    QCOMPARE(WinFile::read(unc(m_host, "C\\limit.inf")).size(), WinFile::MaxFileSize);
}

void TestSmbFile::deadStationFailsWithinTheBound_data()
{
    // Each case has an address of its own: a failed station is remembered for a second.
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("host");
    QTest::newRow("accepts and never answers") << "silent"
                                               << "127.0.0.4";
    QTest::newRow("connects dropped") << "dropped"
                                      << "127.0.0.5";
    QTest::newRow("nothing listening") << "refused"
                                       << "127.0.0.6";
}

void TestSmbFile::deadStationFailsWithinTheBound()
{
    QFETCH(QString, kind);
    QFETCH(QString, host);
    std::unique_ptr<SilentStation> station;
    if (kind != "refused")
        station = std::make_unique<SilentStation>(host, kind == "dropped");
    const QString probe = CommandChannel::probeFilePath(host);

    QElapsedTimer clock;
    clock.start();
    QVERIFY(errorOf([&] { WinFile::read(probe); }).endsWith(SystemTexts::networkPathNotFound()));
    QVERIFY2(clock.elapsed() < 1600, qPrintable(QString::number(clock.elapsed())));
    // The ticks of the same second do not dial it again.
    clock.restart();
    QVERIFY_THROWS_EXCEPTION(AppError, WinFile::write(CommandChannel::commandFilePath(host), "1"));
    QVERIFY_THROWS_EXCEPTION(AppError, WinFile::read(probe));
    QVERIFY2(clock.elapsed() < 100, qPrintable(QString::number(clock.elapsed())));
}

void TestSmbFile::credentialsFile_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("reason"); // empty: the read succeeds
    const QByteArray right = "username = nobody\npassword = quorvel-test\ndomain = WORKGROUP\n";
    const QByteArray wrong = "username = nobody\npassword = not-the-secret\n";
    // The wrong password first: a session once made for the user is reused.
    QTest::newRow("wrong password is no guest") << wrong << 0600 << "Access is denied";
    QTest::newRow("owner only") << right << 0600 << QString();
    QTest::newRow("readable by the group") << right << 0640 << "يستطيع مستخدمون آخرون قراءته";
    QTest::newRow("readable by all") << right << 0644 << "يستطيع مستخدمون آخرون قراءته";
}

void TestSmbFile::credentialsFile()
{
    QFETCH(QByteArray, text);
    QFETCH(int, mode);
    QFETCH(QString, reason);
    m_server->addStation();
    QFile file(m_prefix->root() + "/smb-credentials");
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(text) == text.size());
    file.close();
    QCOMPARE(::chmod(QFile::encodeName(file.fileName()).constData(), mode_t(mode)), 0);

    const QString failure = errorOf([&] { WinFile::read(CommandChannel::probeFilePath(m_host)); });
    if (reason.isEmpty()) {
        QCOMPARE(failure, QStringLiteral("<no error>"));
        QVERIFY(!WinFile::remoteAccessProblem());
    } else {
        QVERIFY2(failure.contains(reason), qPrintable(failure));
    }
    QVERIFY(!failure.contains("quorvel-test") && !failure.contains("not-the-secret"));
    if (mode != 0600)
        QVERIFY(WinFile::remoteAccessProblem().value_or(QString()).contains(m_prefix->root() + "/smb-credentials"));
}

// Any thread may reach any station: a silent station holds up only the thread that asks it, and
// two threads writing one station's file are served one after another, each text whole.
void TestSmbFile::threadsReachStationsAtOnce()
{
    SilentStation silent("127.0.0.11", false);
    m_server->addStation();
    const QString file = CommandChannel::commandFilePath(m_host);
    const QByteArray texts[] = {QByteArray(300, 'a'), QByteArray(200, 'b')};
    std::atomic<int> failures{0};
    std::atomic<qint64> silentMs{-1};
    QElapsedTimer clock;
    clock.start();
    std::thread waiting([&] {
        if (errorOf([&] { WinFile::read(CommandChannel::probeFilePath("127.0.0.11")); }) == QStringLiteral("<no error>"))
            ++failures;
        silentMs = clock.elapsed();
    });
    std::vector<std::thread> writers;
    for (const QByteArray& text : texts) {
        writers.emplace_back([&, text] {
            for (int i = 0; i < 20; ++i) {
                if (errorOf([&] { WinFile::write(file, text); }) != QStringLiteral("<no error>"))
                    ++failures;
            }
        });
    }
    for (std::thread& writer : writers)
        writer.join();
    const qint64 writersMs = clock.elapsed();
    waiting.join();
    QCOMPARE(failures.load(), 0);
    QVERIFY2(silentMs >= 900, qPrintable(QString::number(silentMs)));
    QVERIFY2(writersMs < silentMs, qPrintable(QStringLiteral("%1 / %2").arg(writersMs).arg(silentMs)));
    QVERIFY(m_server->commandFile() == texts[0] || m_server->commandFile() == texts[1]);
}

// An agent that ended (killed, crashed) is started again by the next request, which succeeds.
void TestSmbFile::anEndedAgentIsStartedAgain()
{
    m_server->writeFile("Dir/x.inf", "abc");
    const QString path = unc(m_host, "C\\Dir\\x.inf");
    QCOMPARE(WinFile::read(path), QByteArray("abc"));
    int ended = 0;
    for (const QString& pid : QDir("/proc").entryList(QDir::Dirs)) {
        QFile stat("/proc/" + pid + "/stat");
        if (!stat.open(QIODevice::ReadOnly))
            continue;
        // pid (comm) state ppid ...
        const QByteArray line = stat.readAll();
        const QList<QByteArray> rest = line.mid(line.lastIndexOf(')') + 2).split(' ');
        if (line.contains("(quorvel-smb-age") && rest.size() > 1 && rest.at(1).toLongLong() == ::getpid()) {
            ::kill(pid.toInt(), SIGKILL);
            ++ended;
        }
    }
    QVERIFY(ended > 0);
    QCOMPARE(WinFile::read(path), QByteArray("abc"));
}

QTEST_GUILESS_MAIN(TestSmbFile)
#include "tst_smbfile.moc"
