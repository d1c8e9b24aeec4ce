#include "install/InstallPaths.h"
#include "install/Installer.h"
#include "platform/store/TableStore.h"
#include "support/FileBytes.h"
#include "support/TestPrefix.h"

#include <QDateTime>
#include <QDirIterator>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QString describe(const QList<TableStore::Field>& fields)
{
    QStringList parts;
    for (const TableStore::Field& f : fields) {
        switch (f.kind) {
        case TableStore::FieldKind::String:
            parts.append(QStringLiteral("%1 string %2").arg(f.name).arg(f.size));
            break;
        case TableStore::FieldKind::SmallInt:
            parts.append(f.name + QStringLiteral(" smallint"));
            break;
        case TableStore::FieldKind::Integer:
            parts.append(f.name + QStringLiteral(" integer"));
            break;
        case TableStore::FieldKind::Float:
            parts.append(f.name + QStringLiteral(" float"));
            break;
        case TableStore::FieldKind::AutoInc:
            parts.append(f.name + QStringLiteral(" autoinc"));
            break;
        }
    }
    return parts.join(QStringLiteral(", "));
}

// Every file below the prefix with its content and modification time.
QMap<QString, QPair<QByteArray, QDateTime>> snapshot(const QString& root)
{
    QMap<QString, QPair<QByteArray, QDateTime>> files;
    QDirIterator it(root, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        QFile file(path);
        file.open(QIODevice::ReadOnly);
        files.insert(path, {file.readAll(), QFileInfo(path).lastModified()});
    }
    return files;
}

} // namespace

class TestInstaller : public QObject
{
    Q_OBJECT
private slots:
    void warnsOfFoldersThatShadowStations();
    void createsTheFourTables_data();
    void createsTheFourTables();
    void secondRunChangesNothing();
    void existingTableFileIsKept_data();
    void existingTableFileIsKept();
    void linksTheProgramsIntoTheInstallDirectory();
};

void TestInstaller::warnsOfFoldersThatShadowStations()
{
    TestPrefix prefix;
    // The demo's stations stay behind; the roster now names real ones, two of them the same.
    QVERIFY(Installer({true, {}}).run());
    prefix.writeFile(InstallPaths::InstallRoot + "\\" + InstallPaths::RosterFile, "pc01\r\nKASSE\r\nPC05");
    Installer installer({});
    QVERIFY(installer.run());
    const QStringList warnings = installer.report().filter("warning:");
    QCOMPARE(warnings.size(), 2);
    QVERIFY2(warnings.at(0).contains("station pc01 is the local folder " + prefix.root() + "/unc/PC01"),
             qPrintable(warnings.at(0)));
    QVERIFY2(warnings.at(1).contains("station PC05 "), qPrintable(warnings.at(1)));
    // The demo itself is what makes them: no warning there.
    Installer demo({true, {}});
    QVERIFY(demo.run());
    QVERIFY(demo.report().filter("warning:").isEmpty());
}

void TestInstaller::createsTheFourTables_data()
{
    QTest::addColumn<QString>("directory");
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QString>("index");
    QTest::addColumn<QString>("fields");

    const QString card = QStringLiteral("Auto autoinc, Num string 20, Time1 smallint, Used string 15, ReminTime smallint, "
                                        "Cost float, UseFirstTime string 20, Kind string 10");
    QTest::newRow("days") << InstallPaths::LedgerDir << "SumDays.DB" << QString() << "DateDay string 15, SumDay float";
    QTest::newRow("entries") << InstallPaths::LedgerDir << "DetailDays.DB"
                             << "DateDayIndex"
                             << "Auto autoinc, DateDay2 string 15, StartOperation string 15, TimeOperation smallint, "
                                "KandOperation string 15, Cost float, Computer string 35";
    QTest::newRow("main cards") << InstallPaths::CardDir << "Card.db" << QString() << card;
    QTest::newRow("main cards as the report names it") << InstallPaths::CardDir << "Card.DB" << QString() << card;
    QTest::newRow("temporary cards") << InstallPaths::TempCardDir << "Card1.db" << QString() << card;
}

void TestInstaller::createsTheFourTables()
{
    QFETCH(QString, directory);
    QFETCH(QString, fileName);
    QFETCH(QString, index);
    QFETCH(QString, fields);

    TestPrefix prefix;
    Installer installer({});
    QVERIFY2(installer.run(), qPrintable(installer.report().join(u'\n')));
    QVERIFY(installer.report().contains(
        QStringLiteral("created table %1").arg(prefix.local(directory + QLatin1Char('\\') + fileName))));

    TableStore table;
    table.setIndexName(index);
    table.OpenTable(directory, fileName);
    QCOMPARE(describe(table.fields()), fields);
    QVERIFY(table.AtEnd());
    QVERIFY(!table.FindByKey(QStringLiteral("1")));
}

void TestInstaller::secondRunChangesNothing()
{
    TestPrefix prefix;
    QVERIFY(Installer({}).run());
    const auto before = snapshot(prefix.root());
    QCOMPARE(before.size(), 8); // two tariff files, the roster, the four tables and the audit record

    Installer again({});
    QVERIFY(again.run());
    QCOMPARE(snapshot(prefix.root()), before);
    QCOMPARE(again.report().filter(QStringLiteral("created")), QStringList());
}

void TestInstaller::existingTableFileIsKept_data()
{
    QTest::addColumn<QString>("existing");
    QTest::newRow("same name") << "Card.db";
    QTest::newRow("other case") << "cARD.DB";
}

// Whatever lies under a table's name, even something that is no table, stays as it is.
void TestInstaller::existingTableFileIsKept()
{
    QFETCH(QString, existing);
    TestPrefix prefix;
    prefix.writeFile(InstallPaths::CardDir + QLatin1Char('\\') + existing, "not a table");

    Installer installer({});
    QVERIFY(installer.run());
    const QStringList cardFiles = QDir(prefix.local(InstallPaths::CardDir)).entryList(QDir::Files | QDir::Hidden);
    QCOMPARE(cardFiles, QStringList{existing});
    QCOMPARE(prefix.readFile(InstallPaths::CardDir + QStringLiteral("\\Card.db")), QByteArray("not a table"));
    QVERIFY(installer.report().contains(
        QStringLiteral("kept %1").arg(prefix.local(InstallPaths::CardDir + QStringLiteral("\\Card.db")))));
}

void TestInstaller::linksTheProgramsIntoTheInstallDirectory()
{
    TestPrefix prefix;
    QTemporaryDir built;
    const QStringList programs = {"QuorvelServer",  "Card.exe",       "quorvel-import",
                                  "quorvel-export", "quorvel-report", "quorvel-audit"};
    for (const QString& name : programs)
        FileBytes::write(built.filePath(name), name.toUtf8());
    Installer::Options options;
    options.programDir = built.path();
    QVERIFY(Installer(options).run());
    for (const QString& name : programs) {
        const QFileInfo link(prefix.installDir() + QLatin1Char('/') + name);
        QVERIFY2(link.isSymLink(), qPrintable(name));
        QCOMPARE(link.symLinkTarget(), built.filePath(name));
    }
}

QTEST_GUILESS_MAIN(TestInstaller)

#include "tst_installer.moc"
