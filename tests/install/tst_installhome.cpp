#include "install/InstallHome.h"
#include "support/TestPrefix.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

class TestInstallHome : public QObject
{
    Q_OBJECT
private slots:
    void entersTheInstallFromAnyFolder_data();
    void entersTheInstallFromAnyFolder();
    void withoutAnInstallStaysWhereItWas_data();
    void withoutAnInstallStaysWhereItWas();
};

void TestInstallHome::entersTheInstallFromAnyFolder_data()
{
    QTest::addColumn<QString>("startIn");     // below the prefix, or "elsewhere"
    QTest::addColumn<QString>("expectedCwd"); // below the prefix
    QTest::newRow("another folder") << "elsewhere"
                                    << "drive_c/Program Files/Kelvarin/QuorvelServer";
    QTest::newRow("a folder inside the install") << "drive_c/Program Files/Kelvarin/QuorvelServer/commandServer"
                                                 << "drive_c/Program Files/Kelvarin/QuorvelServer";
    QTest::newRow("the install itself") << "drive_c/Program Files/Kelvarin/QuorvelServer"
                                        << "drive_c/Program Files/Kelvarin/QuorvelServer";
    QTest::newRow("a link to the install") << "link"
                                           << "drive_c/Program Files/Kelvarin/QuorvelServer";
}

void TestInstallHome::entersTheInstallFromAnyFolder()
{
    QFETCH(QString, startIn);
    QFETCH(QString, expectedCwd);
    TestPrefix prefix;
    prefix.makeInstallTree();
    QTemporaryDir elsewhere;
    QVERIFY(QFile::link(prefix.installDir(), prefix.root() + QStringLiteral("/link")));
    const QString start = startIn == QLatin1String("elsewhere") ? elsewhere.path() : prefix.root() + QLatin1Char('/') + startIn;
    QVERIFY(QDir::setCurrent(start));

    QCOMPARE(InstallHome::directory(), prefix.installDir());
    QVERIFY(InstallHome::enter());
    QCOMPARE(QDir::currentPath(), QDir(prefix.root() + QLatin1Char('/') + expectedCwd).absolutePath());
}

void TestInstallHome::withoutAnInstallStaysWhereItWas_data()
{
    QTest::addColumn<QString>("inPlace"); // what stands where the install folder should be
    QTest::newRow("nothing, an empty prefix") << "nothing";
    QTest::newRow("no prefix at all") << "no prefix";
    QTest::newRow("a file") << "file";
}

void TestInstallHome::withoutAnInstallStaysWhereItWas()
{
    QFETCH(QString, inPlace);
    TestPrefix prefix;
    QTemporaryDir elsewhere;
    QVERIFY(QDir::setCurrent(elsewhere.path()));
    QVERIFY(QDir(prefix.root()).removeRecursively());
    if (inPlace == QLatin1String("nothing")) {
        QVERIFY(QDir().mkpath(prefix.root()));
    } else if (inPlace == QLatin1String("file")) {
        QVERIFY(QDir().mkpath(QFileInfo(prefix.installDir()).absolutePath()));
        QFile file(prefix.installDir());
        QVERIFY(file.open(QIODevice::WriteOnly));
    }

    QVERIFY(!InstallHome::enter());
    QCOMPARE(QDir::currentPath(), elsewhere.path());
}

QTEST_GUILESS_MAIN(TestInstallHome)
#include "tst_installhome.moc"
