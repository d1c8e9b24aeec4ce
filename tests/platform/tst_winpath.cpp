#include "platform/AppError.h"
#include "platform/files/SystemTexts.h"
#include "platform/files/WinFile.h"
#include "platform/files/WinPath.h"
#include "support/TestPrefix.h"

#include <QDir>
#include <QtTest>

#include <sys/stat.h>

class TestWinPath : public QObject
{
    Q_OBJECT
private slots:
    void resolves_data();
    void resolves();
    void matchesExistingComponentsRegardlessOfCase();
    void refusesUncEscapes_data();
    void refusesUncEscapes();
    void writeKeepsTheFileAndNeverCreatesOne();
    void refusesSymlinks_data();
    void refusesSymlinks();
    void stationDirectoryMayBeALink();
    void refusesLargeAndSpecialFiles_data();
    void refusesLargeAndSpecialFiles();
    void prefixFallsBackToXdg();
};

void TestWinPath::resolves_data()
{
    QTest::addColumn<QString>("windows");
    QTest::addColumn<QString>("relative"); // to the prefix; "@" stands for the current directory

    QTest::newRow("drive C") << "C:\\Program Files\\x.inf"
                             << "drive_c/Program Files/x.inf";
    QTest::newRow("lower-case drive") << "c:\\a"
                                      << "drive_c/a";
    QTest::newRow("root of the drive") << "\\a\\b"
                                       << "drive_c/a/b";
    QTest::newRow("dot dot stays on the drive") << "C:\\..\\..\\a"
                                                << "drive_c/a";
    QTest::newRow("relative") << "commandServer\\ComputersConect.inf"
                              << "@/commandServer/ComputersConect.inf";
    QTest::newRow("UNC on a mapped station") << "\\\\PC1\\C\\x\\y.inf"
                                             << "unc/PC1/C/x/y.inf";
}

void TestWinPath::resolves()
{
    QFETCH(QString, windows);
    QFETCH(QString, relative);
    TestPrefix prefix;
    QDir().mkpath(prefix.root() + "/unc/PC1");
    QString expected = relative.startsWith('@') ? QDir::currentPath() + relative.mid(1) : prefix.root() + '/' + relative;
    QCOMPARE(WinPath::resolve(windows).localPath, expected);
}

void TestWinPath::matchesExistingComponentsRegardlessOfCase()
{
    TestPrefix prefix;
    QDir().mkpath(prefix.root() + "/drive_c/Data/Card");
    prefix.writeFile("C:\\Data\\Card\\Card.db", "x");
    QCOMPARE(WinPath::resolve("C:\\DATA\\card\\CARD.DB").localPath, prefix.root() + "/drive_c/Data/Card/Card.db");
    QDir().mkpath(prefix.root() + "/unc/Station-1/C");
    QCOMPARE(WinPath::resolve("\\\\STATION-1\\c\\new.inf").localPath, prefix.root() + "/unc/Station-1/C/new.inf");
}

void TestWinPath::refusesUncEscapes_data()
{
    QTest::addColumn<QString>("windows");
    QTest::newRow("empty name") << "\\\\\\C\\x";
    QTest::newRow("dot dot name") << "\\\\..\\drive_c\\x";
    QTest::newRow("dot name") << "\\\\.\\unc\\x";
    QTest::newRow("slash in name") << "\\\\PC1/..\\x";
    QTest::newRow("dot dot in the share path") << "\\\\PC1\\C\\..\\..\\..\\drive_c\\x";
    QTest::newRow("unmapped station") << "\\\\PC2\\C\\x";
    QTest::newRow("no network host's name") << "\\\\guest@PC2:445\\C\\x";
}

void TestWinPath::refusesUncEscapes()
{
    QFETCH(QString, windows);
    TestPrefix prefix;
    QDir().mkpath(prefix.root() + "/unc/PC1/C");
    const WinPath::Resolved r = WinPath::resolve(windows);
    QVERIFY2(r.localPath.isEmpty(), qPrintable(r.localPath));
    QCOMPARE(r.error, SystemTexts::networkPathNotFound());
    QVERIFY_THROWS_EXCEPTION(AppError, WinFile::write(windows, "x"));
    QCOMPARE(QDir(prefix.root() + "/drive_c").entryList(QDir::Files), QStringList());
}

void TestWinPath::writeKeepsTheFileAndNeverCreatesOne()
{
    TestPrefix prefix;
    const QString dir = prefix.root() + "/drive_c/dir";
    QDir().mkpath(dir);
    QVERIFY_THROWS_EXCEPTION(AppError, WinFile::write("C:\\DIR\\New.Inf", "abc"));
    QCOMPARE(QDir(dir).entryList(QDir::Files), QStringList());

    // Written over in place, matched regardless of case, and cut to the new text's length.
    QFile file(dir + "/New.Inf");
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write("a longer old text") > 0);
    file.close();
    WinFile::write("C:\\DIR\\new.inf", "abc");
    QCOMPARE(QDir(dir).entryList(QDir::Files), QStringList{"New.Inf"});
    QCOMPARE(WinFile::read("c:\\dir\\NEW.INF"), QByteArray("abc"));
    WinFile::write("C:\\DIR\\new.inf", "");
    QCOMPARE(WinFile::read("c:\\dir\\NEW.INF"), QByteArray());
}

void TestWinPath::refusesSymlinks_data()
{
    QTest::addColumn<QString>("linkAt");   // relative to the prefix
    QTest::addColumn<QString>("pointsTo"); // relative to the outside directory; empty: itself
    QTest::addColumn<QString>("windows");
    QTest::addColumn<bool>("walkFolders"); // as on kernels without openat2

    for (const bool walk : {false, true}) {
        const char* how = walk ? ", folder by folder" : "";
        QTest::addRow("station file%s", how) << "unc/PC1/C/cmd/command.inf"
                                             << "victim.txt"
                                             << "\\\\PC1\\C\\cmd\\command.inf" << walk;
        QTest::addRow("station folder%s", how) << "unc/PC1/C/cmd"
                                               << ""
                                               << "\\\\PC1\\C\\cmd\\victim.txt" << walk;
        QTest::addRow("station share%s", how) << "unc/PC1/C"
                                              << ""
                                              << "\\\\PC1\\C\\victim.txt" << walk;
        QTest::addRow("file on a drive%s", how) << "drive_c/cfg/costControl.inf"
                                                << "victim.txt"
                                                << "C:\\cfg\\costControl.inf" << walk;
        QTest::addRow("drive itself%s", how) << "drive_c"
                                             << ""
                                             << "C:\\victim.txt" << walk;
        QTest::addRow("relative folder%s", how) << "drive_c/Program Files/Kelvarin/QuorvelServer/commandServer"
                                                << ""
                                                << "commandServer\\victim.txt" << walk;
        QTest::addRow("link matched regardless of case%s", how) << "unc/PC1/C/cmd/Command.INF"
                                                                << "victim.txt"
                                                                << "\\\\pc1\\c\\CMD\\command.inf" << walk;
    }
}

void TestWinPath::refusesSymlinks()
{
    QFETCH(QString, linkAt);
    QFETCH(QString, pointsTo);
    QFETCH(QString, windows);
    QFETCH(bool, walkFolders);
    TestPrefix prefix;
    WinFile::setWalkFoldersForTests(walkFolders);
    const auto restore = qScopeGuard([] { WinFile::setWalkFoldersForTests(false); });
    // Walked or not, a file below real folders is reached.
    QVERIFY(QDir().mkpath(prefix.root() + "/unc/PC2/C/cmd"));
    QFile(prefix.root() + "/unc/PC2/C/cmd/command.inf").open(QIODevice::WriteOnly);
    WinFile::write("\\\\PC2\\C\\cmd\\command.inf", "ok");
    QCOMPARE(WinFile::read("\\\\pc2\\c\\CMD\\command.inf"), QByteArray("ok"));
    QTemporaryDir outside;
    const QByteArray secret = "0\r\n0\r\n0\r\n0\r\n0\r\n0\r\n0\r\n0";
    QFile victim(outside.path() + "/victim.txt");
    QVERIFY(victim.open(QIODevice::WriteOnly) && victim.write(secret) == secret.size());
    victim.close();
    const QString link = prefix.root() + '/' + linkAt;
    QDir().mkpath(QFileInfo(link).absolutePath());
    QDir().mkpath(prefix.root() + "/unc/PC1");
    QFile::remove(link);
    QDir(link).removeRecursively();
    QVERIFY(QFile::link(pointsTo.isEmpty() ? outside.path() : outside.path() + '/' + pointsTo, link));

    try {
        WinFile::read(windows);
        QFAIL("read through a link");
    } catch (const AppError& e) {
        QVERIFY2(e.text().startsWith("Cannot open file"), qPrintable(e.text()));
    }
    QVERIFY_THROWS_EXCEPTION(AppError, WinFile::write(windows, "1"));
    QCOMPARE(victim.open(QIODevice::ReadOnly) ? victim.readAll() : QByteArray("<gone>"), secret);
    QCOMPARE(QDir(outside.path()).entryList(QDir::Files), QStringList{"victim.txt"});
}

void TestWinPath::stationDirectoryMayBeALink()
{
    // A mounted share is linked in as the station's own directory; below it nothing is followed.
    TestPrefix prefix;
    QTemporaryDir mount;
    QDir().mkpath(mount.path() + "/C");
    QDir().mkpath(prefix.root() + "/unc");
    QVERIFY(QFile::link(mount.path(), prefix.root() + "/unc/PC1"));
    QFile(mount.path() + "/C/x.inf").open(QIODevice::WriteOnly);
    WinFile::write("\\\\PC1\\C\\x.inf", "abc");
    QCOMPARE(WinFile::read("\\\\pc1\\c\\X.INF"), QByteArray("abc"));
    QVERIFY(QFileInfo::exists(mount.path() + "/C/x.inf"));
}

void TestWinPath::refusesLargeAndSpecialFiles_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<bool>("readable");
    QTest::newRow("exactly the limit") << QString::number(WinFile::MaxFileSize) << true;
    QTest::newRow("one byte more") << QString::number(WinFile::MaxFileSize + 1) << false;
    QTest::newRow("pipe") << "fifo" << false;
    QTest::newRow("directory") << "dir" << false;
}

void TestWinPath::refusesLargeAndSpecialFiles()
{
    QFETCH(QString, kind);
    QFETCH(bool, readable);
    TestPrefix prefix;
    const QString windows = "\\\\PC1\\C\\command.inf";
    const QString local = prefix.root() + "/unc/PC1/C/command.inf";
    QDir().mkpath(prefix.root() + "/unc/PC1/C");
    QByteArray before;
    if (kind == "fifo") {
        QCOMPARE(::mkfifo(QFile::encodeName(local).constData(), 0600), 0);
    } else if (kind == "dir") {
        QDir().mkpath(local);
    } else {
        before = QByteArray(kind.toInt(), '0');
        prefix.writeFile(windows, before);
    }
    if (readable) {
        QCOMPARE(WinFile::read(windows).size(), before.size());
        return;
    }
    // Neither call may block on the pipe; the file keeps its bytes. The file was reached: it is
    // refused as a file, not as a station that failed.
    QVERIFY_THROWS_EXCEPTION(WinFile::Refused, WinFile::read(windows));
    QVERIFY_THROWS_EXCEPTION(WinFile::Refused, WinFile::write(windows, "1"));
    if (!before.isEmpty())
        QCOMPARE(prefix.readFile(windows).size(), before.size());
}

void TestWinPath::prefixFallsBackToXdg()
{
    const QByteArray old = qgetenv("QUORVEL_PREFIX");
    const QByteArray oldXdg = qgetenv("XDG_DATA_HOME");
    qunsetenv("QUORVEL_PREFIX");
    qputenv("XDG_DATA_HOME", "/tmp/xdg-test");
    QCOMPARE(WinPath::prefix(), QStringLiteral("/tmp/xdg-test/quorvel"));
    qunsetenv("XDG_DATA_HOME");
    QCOMPARE(WinPath::prefix(), QDir::homePath() + "/.local/share/quorvel");
    qputenv("QUORVEL_PREFIX", old);
    qputenv("XDG_DATA_HOME", oldXdg);
}

QTEST_APPLESS_MAIN(TestWinPath)
#include "tst_winpath.moc"
