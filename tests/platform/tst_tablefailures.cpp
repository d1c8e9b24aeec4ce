#include "install/InstallPaths.h"
#include "install/Tables.h"
#include "platform/AppError.h"
#include "platform/store/Sqlite.h"
#include "platform/store/TableStore.h"
#include "support/Immutable.h"
#include "support/SmallDisk.h"
#include "support/TestPrefix.h"

#include <QFile>
#include <QtTest>

namespace {

const QString FullDisk = QStringLiteral("القرص ممتلئ");
const QString DaysPath = InstallPaths::LedgerDir + QStringLiteral("\\SumDays.DB");

QString errorText(const std::function<void()>& action)
{
    try {
        action();
    } catch (const AppError& error) {
        return error.text();
    }
    return QStringLiteral("<no error>");
}

} // namespace

// What the operator reads when the ledger's folder is on a disk that is full or may not be
// written: Arabic, the file or folder named, and viewing goes on where only writing cannot.
class TestTableFailures : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void aFullDiskIsCalledAFullDisk_data();
    void aFullDiskIsCalledAFullDisk();
    void aReadOnlyFolderIsViewedAndNamedWhenWritten();
    void aReadOnlyIndexFileIsNamed();

private:
    std::unique_ptr<TestPrefix> m_prefix;
    std::unique_ptr<SmallDisk> m_disk;

    void openDays(TableStore& days) const { days.OpenTable(InstallPaths::LedgerDir, Tables::ledgerDays().fileName); }
    void storeDay(const QString& date) const
    {
        TableStore days;
        openDays(days);
        days.InsertRow();
        days.SetFieldText(Tables::DayField::Date, date);
        days.PostRow();
    }
};

void TestTableFailures::init()
{
    m_prefix = std::make_unique<TestPrefix>();
    m_prefix->makeInstallTree();
    QString whyNot;
    m_disk = SmallDisk::mount(m_prefix->local(InstallPaths::LedgerDir), 256 * 1024, whyNot);
    if (!m_disk)
        QSKIP(qPrintable(whyNot));
    Tables::create(Tables::ledgerDays());
    storeDay(QStringLiteral("01/12/2026"));
}

void TestTableFailures::cleanup()
{
    m_disk.reset();
    m_prefix.reset();
}

void TestTableFailures::aFullDiskIsCalledAFullDisk_data()
{
    QTest::addColumn<bool>("fullBeforeOpening");
    // The log index cannot be made: SQLite says "disk I/O error".
    QTest::newRow("full when the table opens") << true;
    // The log cannot grow: SQLite says "database or disk is full".
    QTest::newRow("full when a row is stored") << false;
}

void TestTableFailures::aFullDiskIsCalledAFullDisk()
{
    QFETCH(bool, fullBeforeOpening);
    if (fullBeforeOpening)
        m_disk->fill();
    const QString text = errorText([&] {
        TableStore days;
        openDays(days);
        m_disk->fill();
        for (int i = 0; i < 1000; ++i) {
            days.InsertRow();
            days.SetFieldText(Tables::DayField::Date, QStringLiteral("%1/12/2026").arg(i));
            days.PostRow();
        }
    });
    QVERIFY2(text.contains(FullDisk) && text.contains(DaysPath), qPrintable(text));

    // Room again: the table holds what it held before, whatever was refused.
    QVERIFY(QFile::remove(m_prefix->local(InstallPaths::LedgerDir) + "/.filler"));
    TableStore days;
    openDays(days);
    QVERIFY(days.FindByKey(QStringLiteral("01/12/2026")));
}

void TestTableFailures::aReadOnlyFolderIsViewedAndNamedWhenWritten()
{
    QVERIFY(m_disk->makeReadOnly());
    TableStore days;
    openDays(days);
    QVERIFY(days.FindByKey(QStringLiteral("01/12/2026")));
    QVERIFY(days.writeProblem());
    const QString problem = *days.writeProblem();
    QVERIFY2(problem.contains('"' + InstallPaths::LedgerDir + '"') && problem.contains(DaysPath), qPrintable(problem));
    QCOMPARE(errorText([&] { days.InsertRow(); }), problem);
    QCOMPARE(errorText([&] { days.EditRow(); }), problem);

    // The programs beside the console (the takings report, the export) read it as well.
    const Sqlite::Connection reader = Tables::openForReading(Tables::ledgerDays());
    Sqlite::Statement count(reader.get(), QStringLiteral("SELECT count(*) FROM SumDays"));
    QVERIFY(count.step());
    QCOMPARE(count.int64(0), 1);
}

void TestTableFailures::aReadOnlyIndexFileIsNamed()
{
    // Another reader holds the table: its log index stays beside it, here one that may not be written.
    const QString local = m_prefix->local(DaysPath);
    Sqlite::Connection other = Sqlite::open(local, SQLITE_OPEN_READONLY);
    Sqlite::exec(other.get(), QStringLiteral("SELECT count(*) FROM SumDays"));
    const ImmutableFile index(local + "-shm");
    if (!index.held())
        QSKIP("this file system cannot make a file immutable");
    TableStore days;
    openDays(days);
    QVERIFY(days.FindByKey(QStringLiteral("01/12/2026")));
    const QString text = errorText([&] { days.InsertRow(); });
    QVERIFY2(text.contains(DaysPath + "-shm"), qPrintable(text));
}

QTEST_MAIN(TestTableFailures)
#include "tst_tablefailures.moc"
