#include "install/InstallPaths.h"
#include "install/SettingFiles.h"
#include "platform/AppError.h"
#include "platform/files/LineBuffer.h"
#include "support/TestPrefix.h"

#include <QDir>
#include <QtTest>

class TestSettingFiles : public QObject
{
    Q_OBJECT
private slots:
    void tariffSaveKeepsLaterLines_data();
    void tariffSaveKeepsLaterLines();
    void failedLoadLeavesPlaceholdersAndSaveMakesTwoLines();
    void missingTariffFileNamesItsWindowsPath();
    void rosterIsRelativeToCurrentDirectory();
};

void TestSettingFiles::tariffSaveKeepsLaterLines_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("games");
    QTest::addColumn<QString>("internet");
    QTest::addColumn<QByteArray>("saved");

    QTest::newRow("three lines keep the third") << QByteArray("0.5\r\n0.5\r\nnote") << "0.5"
                                                << "0.5" << QByteArray("1\r\n2\r\nnote");
    QTest::newRow("LF file") << QByteArray("0.5\n0.25\n") << "0.5"
                             << "0.25" << QByteArray("1\r\n2\r\n");
    QTest::newRow("one line gets the internet tariff") << QByteArray("0.5") << "0.5"
                                                       << "" << QByteArray("1\r\n2");
    QTest::newRow("empty file gets both") << QByteArray() << ""
                                          << "" << QByteArray("1\r\n2");
}

void TestSettingFiles::tariffSaveKeepsLaterLines()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, games);
    QFETCH(QString, internet);
    QFETCH(QByteArray, saved);
    TestPrefix prefix;
    prefix.makeInstallTree();
    prefix.writeFile(InstallPaths::TariffFile, file);

    LineBuffer memo("Memo1\r\n");
    const SettingFiles::Tariffs loaded = SettingFiles::loadTariffs(memo);
    QCOMPARE(loaded.games, games);
    QCOMPARE(loaded.internet, internet);
    SettingFiles::saveTariffs(memo, {QStringLiteral("1"), QStringLiteral("2")});
    QCOMPARE(prefix.readFile(InstallPaths::TariffFile), saved);
}

void TestSettingFiles::failedLoadLeavesPlaceholdersAndSaveMakesTwoLines()
{
    TestPrefix prefix;
    prefix.makeInstallTree();
    LineBuffer memo("Memo1\r\n");
    QVERIFY_THROWS_EXCEPTION(AppError, SettingFiles::loadTariffs(memo));
    SettingFiles::saveTariffs(memo, {QStringLiteral("0.5"), QStringLiteral("0.25")});
    QCOMPARE(prefix.readFile(InstallPaths::TariffFile), QByteArray("0.5\r\n0.25"));
}

void TestSettingFiles::missingTariffFileNamesItsWindowsPath()
{
    TestPrefix prefix;
    LineBuffer memo;
    try {
        SettingFiles::loadTariffs(memo);
        QFAIL("no error");
    } catch (const AppError& e) {
        QCOMPARE(
            e.text(),
            QStringLiteral("Cannot open file \"C:\\Program Files\\Kelvarin\\QuorvelServer\\commandServer\\costControl.inf\". "
                           "No such file or directory"));
    }
}

void TestSettingFiles::rosterIsRelativeToCurrentDirectory()
{
    TestPrefix prefix;
    prefix.makeInstallTree();
    prefix.writeFile(InstallPaths::InstallRoot + "\\commandServer\\ComputersConect.inf", "PC1\nPC2");
    LineBuffer roster;
    try {
        prefix.writeFile("C:\\other.inf", "");
        QDir::setCurrent(prefix.root() + "/drive_c");
        SettingFiles::loadRoster(roster);
        QFAIL("no error");
    } catch (const AppError& e) {
        QVERIFY2(e.text().startsWith("Cannot open file \"C:\\commandServer\\ComputersConect.inf\"."), qPrintable(e.text()));
    }
    QDir::setCurrent(prefix.installDir());
    SettingFiles::loadRoster(roster);
    QCOMPARE(roster.line(0), QStringLiteral("PC1"));
    QCOMPARE(roster.line(1), QStringLiteral("PC2"));

    // Started elsewhere, the roster is looked for below that directory.
    QTemporaryDir elsewhere;
    QDir::setCurrent(elsewhere.path());
    try {
        SettingFiles::loadRoster(roster);
        QFAIL("no error");
    } catch (const AppError& e) {
        QString where = "Z:" + QDir::currentPath() + "/commandServer/ComputersConect.inf";
        where.replace('/', '\\');
        QVERIFY2(e.text().startsWith("Cannot open file \"" + where + "\"."), qPrintable(e.text()));
    }
}

QTEST_APPLESS_MAIN(TestSettingFiles)
#include "tst_settingfiles.moc"
