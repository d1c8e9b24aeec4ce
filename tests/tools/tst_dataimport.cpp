#include "install/Audit.h"
#include "install/InstallPaths.h"
#include "platform/files/WinPath.h"
#include "platform/store/Sqlite.h"
#include "platform/store/TableStore.h"
#include "support/FileBytes.h"
#include "support/HeldFile.h"
#include "support/HotJournal.h"
#include "support/ParadoxWriter.h"
#include "support/TestPrefix.h"
#include "tools/DataImport.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <functional>
#include <limits>
#include <optional>
#include <sys/stat.h>
extern "C" {
#include <paradox.h>
}

namespace {

using Status = DataImport::Result::Status;
using Rows = QList<QList<QVariant>>;

// Where the old program kept its tables, spelt in other cases than this install's.
const QStringList OldPaths = {QStringLiteral("DATA/control/SUMDAYS.DB"), QStringLiteral("DATA/control/detaildays.db"),
                              QStringLiteral("DATA/CARD/card.DB"), QStringLiteral("DATA/TempCard/CARD1.DB")};

const QString Games = QStringLiteral("ألعاب");
const QString Internet = QStringLiteral("أنترنيت");
const QString Unused = QStringLiteral("غير مستخدم");

// The old café's four tables: Arabic text, blank numbers and strings, serials with gaps, and a
// card counter above the highest card left.
QList<ParadoxWriter::Table> oldTables()
{
    ParadoxWriter::Table days = ParadoxWriter::ledgerDays();
    days.rows = {
        {QStringLiteral("01/01/2024"), 12.5}, {QStringLiteral("02/01/2024"), QVariant()}, {QStringLiteral("03/01/2024"), 0.0}};
    ParadoxWriter::Table entries = ParadoxWriter::ledgerEntries();
    entries.rows = {{1, QStringLiteral("01/01/2024"), QStringLiteral("10:15:00"), 15, Games, 7.5, QStringLiteral("PC01")},
                    {2, QStringLiteral("01/01/2024"), QStringLiteral("11:00:00"), 10, Internet, 5.0, QStringLiteral("جهاز 3")},
                    {5, QStringLiteral("03/01/2024"), QStringLiteral("09:00:00"), QVariant(), Games, QVariant(), QVariant()},
                    {9, QVariant(), QVariant(), 0, QVariant(), -2.25, QStringLiteral("PC12 بجانب الباب")}};
    ParadoxWriter::Table cards = ParadoxWriter::cards();
    cards.rows = {
        {3, QStringLiteral("3AB1234C1G"), 30, Unused, 30, 15.0, QVariant(), Games},
        {4, QStringLiteral("4XY9876Z2I"), 120, QStringLiteral("مستخدم"), 17, 60.0, QStringLiteral("05/01/2024"), Internet},
        {10, QStringLiteral("10QQ"), QVariant(), Unused, QVariant(), QVariant(), QVariant(), QVariant()}};
    cards.autoIncrement = 12;
    ParadoxWriter::Table tempCards = ParadoxWriter::cards();
    tempCards.rows = {{7, QStringLiteral("7AB1111C1G"), 15, Unused, 15, 7.5, QVariant(), Games}};
    tempCards.autoIncrement = 0;
    return {days, entries, cards, tempCards};
}

// The rows of a table file as SQLite holds them, in key order, with SQLite's own types.
Rows storedRows(const Tables::Table& table)
{
    Sqlite::Connection db = Sqlite::open(WinPath::resolve(table.windowsPath()).localPath, SQLITE_OPEN_READONLY);
    const QByteArray sql = QStringLiteral("SELECT * FROM \"%1\" ORDER BY 1").arg(table.name).toUtf8();
    sqlite3_stmt* st = nullptr;
    sqlite3_prepare_v2(db.get(), sql.constData(), -1, &st, nullptr);
    Rows rows;
    while (sqlite3_step(st) == SQLITE_ROW) {
        QList<QVariant> row;
        for (int c = 0; c < sqlite3_column_count(st); ++c) {
            switch (sqlite3_column_type(st, c)) {
            case SQLITE_NULL:
                row.append(QVariant());
                break;
            case SQLITE_INTEGER:
                row.append(qint64(sqlite3_column_int64(st, c)));
                break;
            case SQLITE_FLOAT:
                row.append(sqlite3_column_double(st, c));
                break;
            default:
                row.append(QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(st, c))));
            }
        }
        rows.append(row);
    }
    sqlite3_finalize(st);
    return rows;
}

// The rows as the old table was written, with the types SQLite gives back.
Rows expectedRows(const ParadoxWriter::Table& old)
{
    Rows rows;
    for (const QList<QVariant>& row : old.rows) {
        QList<QVariant> out;
        for (int f = 0; f < row.size(); ++f) {
            const QVariant& v = row.at(f);
            out.append(v.isNull() ? QVariant() : v.typeId() == QMetaType::Int ? QVariant(qint64(v.toInt())) : v);
        }
        rows.append(out);
    }
    std::sort(rows.begin(), rows.end(),
              [](const QList<QVariant>& a, const QList<QVariant>& b) { return QVariant::compare(a.first(), b.first()) < 0; });
    return rows;
}

struct Fixture
{
    TestPrefix prefix;
    QTemporaryDir old;
    QList<ParadoxWriter::Table> tables = oldTables();

    Fixture() { prefix.makeTables(); }
    QString oldPath(int table) const { return old.filePath(OldPaths.at(table)); }
    void writeOld()
    {
        for (int i = 0; i < tables.size(); ++i) {
            QDir().mkpath(QFileInfo(oldPath(i)).absolutePath());
            ParadoxWriter::write(oldPath(i), tables.at(i));
        }
    }
    QString target(int table) const { return WinPath::resolve(Tables::all().at(table).windowsPath()).localPath; }
    QList<QByteArray> targetBytes() const
    {
        QList<QByteArray> bytes;
        for (int i = 0; i < 4; ++i)
            bytes.append(FileBytes::read(target(i)));
        return bytes;
    }
};

QString describeAll(const QList<DataImport::Result>& results)
{
    QStringList lines;
    for (const DataImport::Result& r : results)
        lines.append(DataImport::describe(r));
    return lines.join(u'\n');
}

// A new row stored the way the console stores one; returns its serial.
QString storeNewRow(const Tables::Table& table)
{
    TableStore store;
    store.OpenTable(table.directory, table.fileName);
    store.InsertRow();
    store.PostRow();
    return store.GetFieldText(QStringLiteral("Auto"));
}

QString program(const QString& name)
{
    const QString dir = qEnvironmentVariable("QUORVEL_TEST_BINARY_DIR", QCoreApplication::applicationDirPath());
    return dir + QLatin1Char('/') + name;
}

// Comma-separated values as RFC 4180 has them, after a UTF-8 byte-order mark.
QList<QStringList> parseCsv(const QByteArray& bytes)
{
    if (!bytes.startsWith("\xEF\xBB\xBF"))
        return {};
    const QString text = QString::fromUtf8(bytes.mid(3));
    QList<QStringList> records;
    QStringList record;
    QString field;
    bool quoted = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (quoted) {
            if (c == u'"' && i + 1 < text.size() && text.at(i + 1) == u'"')
                field += text.at(++i);
            else if (c == u'"')
                quoted = false;
            else
                field += c;
        } else if (c == u'"') {
            quoted = true;
        } else if (c == u',') {
            record.append(std::exchange(field, QString()));
        } else if (c == u'\r' && i + 1 < text.size() && text.at(i + 1) == u'\n') {
            record.append(std::exchange(field, QString()));
            records.append(std::exchange(record, QStringList()));
            ++i;
        } else {
            field += c;
        }
    }
    return records;
}

} // namespace

class TestDataImport : public QObject
{
    Q_OBJECT
private slots:
    void importsEveryFieldOfTheFourTables();
    void otherCodePageIsReadAsArabicAndNoted();
    void nextRowsContinueAfterTheSerials();
    void emptyOldTableKeepsItsCounter();
    void refusalLeavesTheTableAsItWas_data();
    void refusalLeavesTheTableAsItWas();
    void checkWritesNothing();
    void oldDirectoryWithoutData();
    void programsImportAndExport();
    void unsafeOldDataIsRefusedByName_data();
    void unsafeOldDataIsRefusedByName();
    void anInterruptedImportCanRunAgain();
};

void TestDataImport::importsEveryFieldOfTheFourTables()
{
    Fixture f;
    f.writeOld();
    const QList<QByteArray> sources = {FileBytes::read(f.oldPath(0)), FileBytes::read(f.oldPath(1)),
                                       FileBytes::read(f.oldPath(2)), FileBytes::read(f.oldPath(3))};
    const QList<DataImport::Result> results = DataImport::importAll(f.old.path(), false);
    QCOMPARE(results.size(), 4);
    for (int i = 0; i < 4; ++i) {
        QVERIFY2(results.at(i).status == Status::Imported, qPrintable(describeAll(results)));
        QCOMPARE(results.at(i).source, f.oldPath(i));
        QCOMPARE(results.at(i).rows, f.tables.at(i).rows.size());
        QCOMPARE(storedRows(Tables::all().at(i)), expectedRows(f.tables.at(i)));
        QCOMPARE(FileBytes::read(f.oldPath(i)), sources.at(i));
    }
    QCOMPARE(DataImport::describe(results.at(2)),
             QStringLiteral("Card.db: read 3 rows from %1, wrote 3 rows into %2; the next serial is 13")
                 .arg(f.oldPath(2), f.target(2)));
    QCOMPARE(DataImport::describe(results.at(0)),
             QStringLiteral("SumDays.DB: read 3 rows from %1, wrote 3 rows into %2").arg(f.oldPath(0), f.target(0)));

    // The console reads them as its own: a blank number is empty, not 0, and text is as written.
    TableStore cards;
    cards.OpenTable(InstallPaths::CardDir, QStringLiteral("Card.db"));
    QVERIFY(cards.FindByKey(QStringLiteral("10")));
    QCOMPARE(cards.GetFieldText(QStringLiteral("Cost")), QString());
    QCOMPARE(cards.GetFieldText(QStringLiteral("Used")), Unused);
}

void TestDataImport::otherCodePageIsReadAsArabicAndNoted()
{
    Fixture f;
    f.tables[3].codePage = 1252; // what pxlib's writer, and some old drivers, put there
    f.writeOld();
    const DataImport::Result result = DataImport::importAll(f.old.path(), false).at(3);
    QCOMPARE(storedRows(Tables::all().at(3)), expectedRows(f.tables.at(3)));
    QVERIFY2(DataImport::describe(result).endsWith(QStringLiteral("; the next serial is 8; text read as Windows Arabic (1256) "
                                                                  "though the header names code page 1252")),
             qPrintable(DataImport::describe(result)));
}

void TestDataImport::nextRowsContinueAfterTheSerials()
{
    Fixture f;
    f.writeOld();
    DataImport::importAll(f.old.path(), false);
    // Entries: after the highest serial 9. Main cards: after the counter 12, above the highest card
    // 10, so a deleted card's serial is never given again. Temporary cards: after the highest, 7.
    QCOMPARE(storeNewRow(Tables::all().at(1)), QStringLiteral("10"));
    QCOMPARE(storeNewRow(Tables::all().at(2)), QStringLiteral("13"));
    QCOMPARE(storeNewRow(Tables::all().at(3)), QStringLiteral("8"));
}

void TestDataImport::emptyOldTableKeepsItsCounter()
{
    // A temporary table emptied by hand: no rows, but its serials were given.
    Fixture f;
    f.tables[3].rows.clear();
    f.tables[3].autoIncrement = 40;
    f.writeOld();
    const DataImport::Result result = DataImport::importAll(f.old.path(), false).at(3);
    QCOMPARE(result.status, Status::Imported);
    QCOMPARE(result.rows, 0);
    QCOMPARE(storeNewRow(Tables::all().at(3)), QStringLiteral("41"));
}

void TestDataImport::refusalLeavesTheTableAsItWas_data()
{
    QTest::addColumn<int>("table");
    QTest::addColumn<std::function<void(Fixture&)>>("spoil");
    QTest::addColumn<QString>("reason");
    using Spoil = std::function<void(Fixture&)>;

    QTest::newRow("target holds a row") << 2 << Spoil([](Fixture& f) {
        f.writeOld();
        storeNewRow(Tables::all().at(2));
    }) << "this install's table already holds 1 rows; nothing was imported";
    QTest::newRow("damaged source") << 3 << Spoil([](Fixture& f) {
        f.writeOld();
        QByteArray bytes = FileBytes::read(f.oldPath(3));
        bytes.chop(100);
        FileBytes::write(f.oldPath(3), bytes);
    }) << "ends before its 1 data blocks";
    QTest::newRow("text longer than the field") << 1 << Spoil([](Fixture& f) {
        f.tables[1].fields[6].size = 40;
        f.tables[1].rows[3][6] = QStringLiteral("%1").arg(QString(40, u'ب'));
        f.writeOld();
    }) << "row 4: \"Computer\" holds 40 bytes, more than the 35 of this install's field";
    QTest::newRow("repeated serial, last row") << 2 << Spoil([](Fixture& f) {
        f.tables[2].rows.append(f.tables[2].rows.first());
        f.writeOld();
    }) << "row 4 breaks a rule of this install's table (UNIQUE constraint failed: Card.Auto)";
    QTest::newRow("blank serial") << 3 << Spoil([](Fixture& f) {
        f.tables[3].rows[0][0] = QVariant();
        f.writeOld();
    }) << "row 1 has no serial";
    QTest::newRow("blank day") << 0 << Spoil([](Fixture& f) {
        f.tables[0].rows[2][0] = QVariant();
        f.writeOld();
    }) << "NOT NULL constraint failed";
    QTest::newRow("missing field") << 2 << Spoil([](Fixture& f) {
        f.tables[2].fields.removeLast();
        f.writeOld();
    }) << "the old table has no field \"Kind\"";
    QTest::newRow("extra field") << 0 << Spoil([](Fixture& f) {
        f.tables[0].fields.append({"Note", pxfAlpha, 10});
        f.writeOld();
    }) << "the old table has a field \"Note\" that this install's table lacks";
    QTest::newRow("field of another type") << 2 << Spoil([](Fixture& f) {
        f.tables[2].fields[2] = {"Time1", pxfNumber, 8};
        f.writeOld();
    }) << "the old table's field \"Time1\" is number, where this install keeps a small integer";
    QTest::newRow("two files differing in case") << 2 << Spoil([](Fixture& f) {
        f.writeOld();
        QFile::copy(f.oldPath(2), QFileInfo(f.oldPath(2)).absolutePath() + QStringLiteral("/CARD.DB"));
    }) << "both";
    QTest::newRow("a pipe in the table's place") << 3 << Spoil([](Fixture& f) {
        f.writeOld();
        QFile::remove(f.oldPath(3));
        QCOMPARE(mkfifo(QFile::encodeName(f.oldPath(3)).constData(), 0600), 0);
    }) << "it is not a regular file";
    QTest::newRow("no table in this install") << 1 << Spoil([](Fixture& f) {
        f.writeOld();
        QFile::remove(f.target(1));
    }) << "quorvel-setup creates it";
}

void TestDataImport::refusalLeavesTheTableAsItWas()
{
    QFETCH(int, table);
    QFETCH(std::function<void(Fixture&)>, spoil);
    QFETCH(QString, reason);
    Fixture f;
    spoil(f);
    const QList<QByteArray> before = f.targetBytes();
    const QByteArray source = FileBytes::read(f.oldPath(table));

    const QList<DataImport::Result> results = DataImport::importAll(f.old.path(), false);
    const DataImport::Result& refused = results.at(table);
    QCOMPARE(refused.status, Status::Refused);
    QVERIFY2(refused.reason.contains(reason), qPrintable(refused.reason));
    QVERIFY(DataImport::describe(refused).startsWith(Tables::all().at(table).fileName + QStringLiteral(": refused: ")));
    QCOMPARE(f.targetBytes().at(table), before.at(table));
    QVERIFY(!QFileInfo::exists(f.target(table) + QStringLiteral("-journal")));
    QCOMPARE(FileBytes::read(f.oldPath(table)), source);
    // The other tables are imported all the same.
    for (int i = 0; i < 4; ++i)
        if (i != table)
            QVERIFY2(results.at(i).status == Status::Imported, qPrintable(describeAll(results)));
}

void TestDataImport::checkWritesNothing()
{
    Fixture f;
    f.writeOld();
    const QList<QByteArray> before = f.targetBytes();
    const QList<DataImport::Result> results = DataImport::importAll(f.old.path(), true);
    for (const DataImport::Result& r : results)
        QVERIFY2(r.status == Status::Checked, qPrintable(describeAll(results)));
    QCOMPARE(results.at(1).nextSerial, 10);
    QCOMPARE(results.at(2).nextSerial, 13);
    QCOMPARE(f.targetBytes(), before);

    // A check finds what the import would refuse, keys included.
    f.tables[1].rows.append(f.tables[1].rows.at(1));
    f.writeOld();
    QCOMPARE(DataImport::importAll(f.old.path(), true).at(1).status, Status::Refused);
}

void TestDataImport::oldDirectoryWithoutData()
{
    Fixture f;
    QVERIFY_THROWS_EXCEPTION(AppError, DataImport::importAll(f.old.path(), false));
    // With Data but none of the tables, each is reported missing.
    QDir().mkpath(f.old.filePath(QStringLiteral("data")));
    const QList<DataImport::Result> results = DataImport::importAll(f.old.path(), false);
    QCOMPARE(results.size(), 4);
    QCOMPARE(DataImport::describe(results.at(0)),
             QStringLiteral("SumDays.DB: not in the old data (no Data\\Control\\SumDays.DB)"));
}

void TestDataImport::programsImportAndExport()
{
    Fixture f;
    f.writeOld();
    QProcess run;
    const QList<QByteArray> before = f.targetBytes();
    run.start(program(QStringLiteral("quorvel-import")), {QStringLiteral("--check"), f.old.path()});
    QVERIFY(run.waitForFinished(60000));
    QCOMPARE(run.exitCode(), 0);
    QCOMPARE(QString::fromUtf8(run.readAllStandardOutput()).count(QStringLiteral("(checked only, nothing written)")), 4);
    QCOMPARE(f.targetBytes(), before);

    run.start(program(QStringLiteral("quorvel-import")), {f.old.path()});
    QVERIFY(run.waitForFinished(60000));
    QCOMPARE(run.exitCode(), 0);
    QVERIFY(QString::fromUtf8(run.readAllStandardOutput()).contains(QStringLiteral("Card1.db: read 1 rows from ")));

    // Again: every table now holds rows, so each is refused and the program says so.
    run.start(program(QStringLiteral("quorvel-import")), {f.old.path()});
    QVERIFY(run.waitForFinished(60000));
    QCOMPARE(run.exitCode(), 1);
    QCOMPARE(QString::fromUtf8(run.readAllStandardError()).count(QStringLiteral("already holds")), 4);

    // The cards come back out with their Arabic, blanks and serials.
    const QString csv = f.old.filePath(QStringLiteral("cards.csv"));
    run.start(program(QStringLiteral("quorvel-export")), {QStringLiteral("card"), csv});
    QVERIFY(run.waitForFinished(60000));
    QCOMPARE(run.exitCode(), 0);
    const QList<QStringList> records = parseCsv(FileBytes::read(csv));
    QCOMPARE(records.value(0), QStringList({"Auto", "Num", "Time1", "Used", "ReminTime", "Cost", "UseFirstTime", "Kind"}));
    QCOMPARE(records.value(1), QStringList({"3", "3AB1234C1G", "30", Unused, "30", "15", "", Games}));
    QCOMPARE(records.value(3), QStringList({"10", "10QQ", "", Unused, "", "", "", ""}));
    QCOMPARE(records.size(), 4);

    run.start(program(QStringLiteral("quorvel-export")), {QStringLiteral("Card")});
    QVERIFY(run.waitForFinished(60000));
    QCOMPARE(run.readAllStandardOutput(), FileBytes::read(csv));
    run.start(program(QStringLiteral("quorvel-export")), {QStringLiteral("Cards"), csv});
    QVERIFY(run.waitForFinished(60000));
    QCOMPARE(run.exitCode(), 2);
    QCOMPARE(parseCsv(FileBytes::read(csv)).size(), 4);

    // The import that wrote rows and the two exports are in the audit record, each by its program;
    // the check, the refused import and the refused export are not.
    QStringList recorded;
    for (const Audit::Row& row : Audit::rows())
        recorded.append(QStringList{row.program, row.event.event, row.event.oldValue, row.event.newValue}.join(u'|'));
    QCOMPARE(recorded,
             (QStringList{"quorvel-import|import|" + QDir(f.old.path()).absolutePath() + "|11",
                          "quorvel-export|export|Card|" + QFileInfo(csv).absoluteFilePath(),
                          "quorvel-export|export|Card|standard output"}));
    QVERIFY2(Audit::rows().at(0).event.text.contains(QStringLiteral("Card1.db: 1 rows")),
             qPrintable(Audit::rows().at(0).event.text));
}

void TestDataImport::unsafeOldDataIsRefusedByName_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("reason");
    QTest::newRow("card table is a folder") << "folder"
                                            << "is a folder, not a table";
    QTest::newRow("card counter at the field's end") << "counter"
                                                     << "leaves no room";
    QTest::newRow("card serial at the field's end") << "serial"
                                                    << "leaves no room";
    QTest::newRow("a cost that is infinite") << "inf"
                                             << "not a finite number";
    QTest::newRow("the old program's lock file") << "lock file"
                                                 << "close the old program";
    QTest::newRow("a lock on the file") << "lock"
                                        << "close the old program";
    QTest::newRow("lock ignored when asked") << "lock ignored"
                                             << "";
}

void TestDataImport::unsafeOldDataIsRefusedByName()
{
    QFETCH(QString, fault);
    QFETCH(QString, reason);
    Fixture f;
    if (fault == "counter")
        f.tables[2].autoIncrement = 2147483647;
    if (fault == "serial")
        f.tables[2].rows[2][0] = 2147483647;
    if (fault == "inf")
        f.tables[2].rows[0][5] = std::numeric_limits<double>::infinity();
    f.writeOld();
    if (fault == "folder") {
        QVERIFY(QFile::remove(f.oldPath(2)));
        QVERIFY(QDir().mkpath(f.oldPath(2)));
    }
    if (fault == "lock file")
        QFile(QFileInfo(f.oldPath(2)).absolutePath() + "/PDOXUSRS.LCK").open(QIODevice::WriteOnly);
    std::optional<HeldFile> held;
    if (fault.startsWith("lock") && fault != "lock file")
        held.emplace(f.oldPath(2), true);

    const QList<QByteArray> before = f.targetBytes();
    const QList<DataImport::Result> results = DataImport::importAll(f.old.path(), false, fault == "lock ignored");
    const DataImport::Result& cards = results.at(2);
    if (reason.isEmpty()) {
        QCOMPARE(cards.status, Status::Imported);
        return;
    }
    // Never "not in the old data": the table is there, and the run fails saying why.
    QVERIFY2(cards.status == Status::Refused && cards.reason.contains(reason), qPrintable(describeAll(results)));
    QCOMPARE(f.targetBytes().at(2), before.at(2));
    QCOMPARE(results.at(0).status, Status::Imported);
}

void TestDataImport::anInterruptedImportCanRunAgain()
{
    // Killed halfway, the import left the card table whole but its journal hot: the next run
    // rolls it back and imports.
    Fixture f;
    f.writeOld();
    leaveHotJournal(f.target(2));
    QVERIFY(QFileInfo::exists(f.target(2) + "-journal"));
    const QList<DataImport::Result> results = DataImport::importAll(f.old.path(), false);
    QVERIFY2(results.at(2).status == Status::Imported, qPrintable(describeAll(results)));
    QCOMPARE(storedRows(Tables::all().at(2)), expectedRows(f.tables.at(2)));
}

QTEST_GUILESS_MAIN(TestDataImport)
#include "tst_dataimport.moc"
