#include "accounting/Ledger.h"
#include "install/InstallPaths.h"
#include "platform/AppError.h"
#include "platform/Clock.h"
#include "platform/Regional.h"
#include "support/TestPrefix.h"

#include <QtTest>
#include <sqlite3.h>

namespace {

struct Entry
{
    QString day;
    double cost;
};

// Runs SQL straight on a ledger file, beside the store (fixtures and fault injection).
void execOn(const TestPrefix& prefix, const QString& file, const QString& sql)
{
    sqlite3* db = nullptr;
    QVERIFY(sqlite3_open(QFile::encodeName(prefix.local(InstallPaths::LedgerDir + "\\" + file)).constData(), &db) == SQLITE_OK);
    char* error = nullptr;
    const int rc = sqlite3_exec(db, sql.toUtf8().constData(), nullptr, nullptr, &error);
    QVERIFY2(rc == SQLITE_OK, error);
    sqlite3_close(db);
}

QStringList daysWithTotals(Ledger& ledger)
{
    QStringList out;
    ledger.open();
    ledger.days().MoveFirst();
    while (!ledger.days().AtEnd()) {
        out << ledger.days().GetFieldText("DateDay") + "=" + ledger.days().GetFieldText("SumDay");
        ledger.days().MoveNext();
    }
    return out;
}

} // namespace

class TestLedger : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void recomputesDailyTotals();
    void storeErrorKeepsEveryTotal();
    void recomputeOnClosedTablesFails();
    void billsSessions_data();
    void billsSessions();
    void sameDateSharesOneDay();
    void midnightBeginsANewDay();
    void failuresKeepWhatWasStored_data();
    void failuresKeepWhatWasStored();
    void aDayThatFailsLeavesNoEntry();
    void missingTablesFailToOpen();
    void unusableEntriesTableIsRefusedByName();

private:
    void addDays(const QStringList& days);
    void addEntries(const QList<Entry>& entries);

    std::unique_ptr<TestPrefix> m_prefix;
};

void TestLedger::init()
{
    m_prefix = std::make_unique<TestPrefix>();
    m_prefix->makeTables();
    Regional::setOverride(Regional::Formats{"dd/MM/yyyy", "hh:mm:ss", '.'});
    Clock::setFixed(QDateTime(QDate(2026, 12, 9), QTime(10, 30, 0)));
}

void TestLedger::cleanup()
{
    Clock::setFixed({});
    Regional::setOverride(std::nullopt);
    m_prefix.reset();
}

void TestLedger::addDays(const QStringList& days)
{
    for (const QString& day : days)
        execOn(*m_prefix, "SumDays.DB", QStringLiteral("INSERT INTO SumDays (DateDay) VALUES ('%1')").arg(day));
}

void TestLedger::addEntries(const QList<Entry>& entries)
{
    for (const Entry& e : entries)
        execOn(*m_prefix, "DetailDays.DB",
               QStringLiteral("INSERT INTO DetailDays (DateDay2, Cost) VALUES ('%1', %2)").arg(e.day).arg(e.cost));
}

void TestLedger::recomputesDailyTotals()
{
    addDays({"01/12/2026", "02/12/2026", "03/12/2026"});
    // An entry of a day that is not in the days table counts nowhere.
    addEntries({{"01/12/2026", 7.5}, {"01/12/2026", 15}, {"02/12/2026", 30}, {"04/12/2026", 99}});
    Ledger ledger;
    ledger.open();
    ledger.recompute();
    const QStringList expected{"01/12/2026=22.5", "02/12/2026=30", "03/12/2026=0"};
    QCOMPARE(daysWithTotals(ledger), expected);
    ledger.recompute();
    QCOMPARE(daysWithTotals(ledger), expected);
}

void TestLedger::storeErrorKeepsEveryTotal()
{
    addDays({"01/12/2026", "02/12/2026"});
    addEntries({{"01/12/2026", 5}, {"02/12/2026", 6}});
    execOn(*m_prefix, "SumDays.DB",
           "CREATE TRIGGER refuse BEFORE UPDATE ON SumDays WHEN old.DateDay = '02/12/2026' "
           "BEGIN SELECT RAISE(ABORT, 'disk refused'); END");
    Ledger ledger;
    ledger.open();
    QVERIFY_THROWS_EXCEPTION(AppError, ledger.recompute());
    ledger.close();
    // The totals are one unit: the day rewritten before the failure is undone too.
    QCOMPARE(daysWithTotals(ledger), (QStringList{"01/12/2026=", "02/12/2026="}));
}

void TestLedger::recomputeOnClosedTablesFails()
{
    Ledger ledger;
    try {
        ledger.recompute();
        QFAIL("no error");
    } catch (const AppError& e) {
        QVERIFY2(e.text().contains("SumDays.DB"), qPrintable(e.text()));
    }
}

void TestLedger::billsSessions_data()
{
    QTest::addColumn<QString>("minutes");
    QTest::addColumn<bool>("games");
    QTest::addColumn<QString>("tariff");
    QTest::addColumn<double>("cost");
    QTest::addColumn<QString>("kind");

    QTest::newRow("15 games at 0.5") << "15" << true << "0.5" << 7.5 << "ألعاب";
    QTest::newRow("120 internet at 0.25") << "120" << false << "0.25" << 30.0 << "أنترنيت";
    QTest::newRow("45 typed") << "45" << true << "0.5" << 22.5 << "ألعاب";
    QTest::newRow("zero minutes") << "0" << true << "0.5" << 0.0 << "ألعاب";
    QTest::newRow("negative minutes") << "-5" << false << "0.1" << -0.5 << "أنترنيت";
    QTest::newRow("no rounding") << "7" << true << "0.1" << 7 * 0.1 << "ألعاب";
}

void TestLedger::billsSessions()
{
    QFETCH(QString, minutes);
    QFETCH(bool, games);
    QFETCH(QString, tariff);
    QFETCH(double, cost);
    QFETCH(QString, kind);
    Ledger ledger;
    ledger.recordSession({minutes, "PC01", games, tariff});
    QVERIFY(!ledger.days().isOpen());
    QVERIFY(!ledger.entries().isOpen());

    ledger.open();
    QCOMPARE(ledger.days().GetFieldText("DateDay"), QStringLiteral("09/12/2026"));
    QCOMPARE(ledger.days().GetFieldText("SumDay"), QString());
    TableStore& e = ledger.entries();
    QCOMPARE(e.rowCount(), 1);
    QCOMPARE(e.GetFieldText("DateDay2"), QStringLiteral("09/12/2026"));
    QCOMPARE(e.GetFieldText("StartOperation"), QStringLiteral("10:30:00"));
    QCOMPARE(e.GetFieldText("TimeOperation"), minutes);
    QCOMPARE(e.GetFieldText("KandOperation"), kind);
    QCOMPARE(e.GetFieldFloat("Cost"), cost);
    QCOMPARE(e.GetFieldText("Computer"), QStringLiteral("PC01"));
}

void TestLedger::sameDateSharesOneDay()
{
    Ledger ledger;
    ledger.recordSession({"15", "PC02", true, "0.5"});
    Clock::setFixed(QDateTime(QDate(2026, 12, 9), QTime(11, 0, 0)));
    ledger.recordSession({"30", "PC01", false, "0.5"});
    // A name longer than the field is cut to its 35 bytes.
    ledger.recordSession({"10", QString(40, 'N'), true, "0.5"});
    ledger.open();
    QCOMPARE(ledger.days().rowCount(), 1);
    QCOMPARE(ledger.entries().rowCount(), 3);
    ledger.entries().MoveLast();
    QCOMPARE(ledger.entries().GetFieldText("Computer"), QString(35, 'N'));
}

void TestLedger::midnightBeginsANewDay()
{
    Ledger ledger;
    Clock::setFixed(QDateTime(QDate(2026, 12, 9), QTime(23, 59, 59)));
    ledger.recordSession({"15", "PC01", true, "0.5"});
    Clock::setFixed(QDateTime(QDate(2026, 12, 10), QTime(0, 0, 1)));
    ledger.recordSession({"15", "PC01", true, "0.5"});
    // A new date format on the same date begins another day under the new text.
    Regional::setOverride(Regional::Formats{"yyyy-MM-dd", "hh:mm:ss", '.'});
    ledger.recordSession({"15", "PC01", true, "0.5"});
    ledger.open();
    QCOMPARE(daysWithTotals(ledger), (QStringList{"09/12/2026=", "10/12/2026=", "2026-12-10="}));
    ledger.days().MoveFirst();
    QCOMPARE(ledger.entries().rowCount(), 1);
    QCOMPARE(ledger.entries().GetFieldText("StartOperation"), QStringLiteral("23:59:59"));
}

void TestLedger::failuresKeepWhatWasStored_data()
{
    QTest::addColumn<QString>("minutes");
    QTest::addColumn<QString>("tariff");
    QTest::newRow("40000 minutes") << "40000"
                                   << "0.5";
    QTest::newRow("letters as tariff") << "15"
                                       << "abc";
    QTest::newRow("empty tariff") << "15"
                                  << "";
}

void TestLedger::failuresKeepWhatWasStored()
{
    QFETCH(QString, minutes);
    QFETCH(QString, tariff);
    Ledger ledger;
    ledger.recordSession({"15", "PC01", true, "0.5"});
    QVERIFY_THROWS_EXCEPTION(AppError, ledger.recordSession({minutes, "PC02", true, tariff}));
    // The begun entry is dropped with the tables' closing, so no later move can store it.
    QVERIFY(!ledger.days().isOpen());
    QVERIFY(!ledger.entries().isOpen());
    ledger.recordSession({"15", "PC03", true, "0.5"});
    ledger.open();
    QCOMPARE(ledger.days().rowCount(), 1);
    QCOMPARE(ledger.entries().rowCount(), 2);
    ledger.entries().MoveLast();
    QCOMPARE(ledger.entries().GetFieldText("Computer"), QStringLiteral("PC03"));
}

void TestLedger::aDayThatFailsLeavesNoEntry()
{
    // The day is stored before its entry: when the day fails, no entry names a day that does not
    // exist, and the session billed again is billed once.
    execOn(*m_prefix, "SumDays.DB", "CREATE TRIGGER refuse BEFORE INSERT ON SumDays BEGIN SELECT RAISE(ABORT, 'disk full'); END");
    Ledger ledger;
    QVERIFY_THROWS_EXCEPTION(AppError, ledger.recordSession({"15", "PC01", true, "0.5"}));
    execOn(*m_prefix, "SumDays.DB", "DROP TRIGGER refuse");
    ledger.open();
    QCOMPARE(ledger.days().rowCount(), 0);
    QCOMPARE(ledger.entries().rowCount(), 0);
    ledger.close();

    ledger.recordSession({"15", "PC01", true, "0.5"});
    ledger.open();
    QCOMPARE(ledger.days().rowCount(), 1);
    QCOMPARE(ledger.entries().rowCount(), 1);
    ledger.close();

    // A failing entry may leave its new day behind, empty: it totals 0.
    Clock::setFixed(Clock::now().addDays(1));
    execOn(*m_prefix, "DetailDays.DB",
           "CREATE TRIGGER refuse BEFORE INSERT ON DetailDays BEGIN SELECT RAISE(ABORT, 'disk full'); END");
    QVERIFY_THROWS_EXCEPTION(AppError, ledger.recordSession({"15", "PC01", true, "0.5"}));
    ledger.open();
    QCOMPARE(ledger.days().rowCount(), 2);
    ledger.days().MoveLast();
    QCOMPARE(ledger.entries().rowCount(), 0); // the new day's entries
    ledger.close();
}

void TestLedger::missingTablesFailToOpen()
{
    QFile::remove(m_prefix->local(InstallPaths::LedgerDir + "\\DetailDays.DB"));
    Ledger ledger;
    QVERIFY_THROWS_EXCEPTION(AppError, ledger.recordSession({"15", "PC01", true, "0.5"}));
    QVERIFY(!ledger.entries().isOpen());
    // No row was written to the days table either.
    ledger.days().OpenTable();
    QCOMPARE(ledger.days().rowCount(), 0);
}

void TestLedger::unusableEntriesTableIsRefusedByName()
{
    // An entries table without the price: the first session would otherwise begin its day.
    const QString file = m_prefix->local(InstallPaths::LedgerDir + "\\DetailDays.DB");
    QVERIFY(QFile::remove(file));
    m_prefix->writeFile(InstallPaths::LedgerDir + "\\DetailDays.DB", {});
    execOn(*m_prefix, "DetailDays.DB",
           "CREATE TABLE DetailDays (Auto INTEGER PRIMARY KEY AUTOINCREMENT, DateDay2 VARCHAR(15), "
           "StartOperation VARCHAR(15), TimeOperation SMALLINT, KandOperation VARCHAR(15), Computer VARCHAR(35));"
           "CREATE INDEX DateDayIndex ON DetailDays (DateDay2)");
    Ledger ledger;
    try {
        ledger.recordSession({"15", "PC01", true, "0.5"});
        QFAIL("the session was billed");
    } catch (const AppError& e) {
        QCOMPARE(e.text(),
                 QStringLiteral("Table \"C:\\Program Files\\Kelvarin\\QuorvelServer\\Data\\Control\\DetailDays.DB\" "
                                "has no field \"Cost\""));
    }
    ledger.days().OpenTable();
    QCOMPARE(ledger.days().rowCount(), 0);
}

QTEST_GUILESS_MAIN(TestLedger)
#include "tst_ledger.moc"
