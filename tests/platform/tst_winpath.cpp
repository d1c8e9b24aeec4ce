#include "platform/AppError.h"
#include "platform/WinFile.h"
#include "platform/WinPath.h"
#include "support/TestPrefix.h"

#include <QDir>
#include <QtTest>

class TestWinPath : public QObject
{
    Q_OBJECT
private slots:
    void resolves_data();
    void resolves();
    void matchesExistingComponentsRegardlessOfCase();
    void refusesUncEscapes_data();
    void refusesUncEscapes();
    void writeCreatesWithGivenCase();
    void prefixFallsBackToXdg();
};

void TestWinPath::resolves_data()
{
    QTest::addColumn<QString>("windows");
    QTest::addColumn<QString>("relative"); // to the prefix; "@" stands for the current directory

    QTest::newRow("drive C") << "C:\\Program Files\\x.inf" << "drive_c/Program Files/x.inf";
    QTest::newRow("lower-case drive") << "c:\\a" << "drive_c/a";
    QTest::newRow("root of the drive") << "\\a\\b" << "drive_c/a/b";
    QTest::newRow("dot dot stays on the drive") << "C:\\..\\..\\a" << "drive_c/a";
    QTest::newRow("relative") << "commandServer\\ComputersConect.inf" << "@/commandServer/ComputersConect.inf";
    QTest::newRow("UNC on a mapped station") << "\\\\PC1\\C\\x\\y.inf" << "unc/PC1/C/x/y.inf";
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
}

void TestWinPath::refusesUncEscapes()
{
    QFETCH(QString, windows);
    TestPrefix prefix;
    QDir().mkpath(prefix.root() + "/unc/PC1/C");
    const WinPath::Resolved r = WinPath::resolve(windows);
    QVERIFY2(r.localPath.isEmpty(), qPrintable(r.localPath));
    QCOMPARE(r.error, WinPath::networkPathNotFoundText());
    QVERIFY_THROWS_EXCEPTION(AppError, WinFile::write(windows, "x"));
    QCOMPARE(QDir(prefix.root() + "/drive_c").entryList(QDir::Files), QStringList());
}

void TestWinPath::writeCreatesWithGivenCase()
{
    TestPrefix prefix;
    QDir().mkpath(prefix.root() + "/drive_c/dir");
    WinFile::write("C:\\DIR\\New.Inf", "abc");
    QCOMPARE(QDir(prefix.root() + "/drive_c/dir").entryList(QDir::Files), QStringList{"New.Inf"});
    QCOMPARE(WinFile::read("c:\\dir\\new.inf"), QByteArray("abc"));
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
