#include "accounting/Takings.h"
#include "accounting/TakingsReport.h"
#include "install/InstallPaths.h"
#include "install/SessionKind.h"
#include "install/Tables.h"
#include "platform/AppError.h"
#include "platform/Regional.h"
#include "support/SampleLedger.h"
#include "support/TestPrefix.h"

#include <QtTest>

namespace {

const QDate Today(2026, 12, 11);
const QString Games = SessionKind::GamesWord;
const QString Internet = SessionKind::InternetWord;

using SampleLedger::Entry;
using SampleLedger::entryOf;

void storeLedger(const QList<Entry>& entries, const QStringList& days)
{
    SampleLedger::store(entries, days.isEmpty() ? SampleLedger::daysOf(entries) : days);
}

// Sums added in another order may differ in their last bits.
bool near(double a, double b)
{
    return std::abs(a - b) <= 1e-9 * std::max(1.0, std::abs(b));
}

double totalOf(const QList<Takings::Sums>& sums)
{
    double total = 0;
    for (const Takings::Sums& s : sums)
        total += s.total;
    return total;
}

qint64 sessionsOf(const QList<Takings::Sums>& sums)
{
    qint64 n = 0;
    for (const Takings::Sums& s : sums)
        n += s.sessions;
    return n;
}

} // namespace

class TestTakings : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void everyTableSumsTheEntries_data();
    void everyTableSumsTheEntries();
    void comparesWithThePreviousPeriod();
    void bucketsHoursAtTheDaysEdges_data();
    void bucketsHoursAtTheDaysEdges();
    void figuresTheBusiestHourTheTopStationAndTheUse();
    void presetsCoverTheirDays_data();
    void presetsCoverTheirDays();
    void aMissingLedgerFailsByName();
    void csvIsSafeForSpreadsheets();

private:
    std::optional<TestPrefix> m_prefix;
};

void TestTakings::init()
{
    m_prefix.emplace();
    m_prefix->makeTables();
    Regional::setOverride(Regional::Formats{QStringLiteral("dd/MM/yyyy"), QStringLiteral("hh:mm:ss"), u'.'});
}

void TestTakings::cleanup()
{
    Regional::setOverride(std::nullopt);
    m_prefix.reset();
}

void TestTakings::everyTableSumsTheEntries_data()
{
    QTest::addColumn<QStringList>("entries");
    QTest::addColumn<QStringList>("days"); // empty: each day stored with its entries' total
    QTest::addColumn<QDate>("from");
    QTest::addColumn<QDate>("to");
    QTest::addColumn<int>("staleDays");

    const QDate from(2026, 12, 1), to(2026, 12, 11);
    QTest::newRow("empty ledger") << QStringList{} << QStringList{} << from << to << 0;
    QTest::newRow("entries outside the period only")
        << QStringList{"30/11/2026|10:00:00|30|g|15|PC01", "12/12/2026|10:00:00|30|g|15|PC01"} << QStringList{} << from << to
        << 0;
    QTest::newRow("one day") << QStringList{"05/12/2026|10:00:00|30|g|15|PC01", "05/12/2026|11:30:00|60|i|30|PC02"}
                             << QStringList{} << from << to << 0;
    QStringList year;
    for (QDate d(2026, 1, 1); d.year() == 2026; d = d.addDays(1)) {
        for (int e = 0; e < 3; ++e)
            year << QStringLiteral("%1|%2:15:00|%3|%4|%5|PC0%6")
                        .arg(d.toString("dd/MM/yyyy"))
                        .arg(9 + 5 * e, 2, 10, QLatin1Char('0'))
                        .arg(15 * (e + 1))
                        .arg(e == 1 ? "i" : "g")
                        .arg(0.5 * (e + 1) * (d.day() % 5 + 1))
                        .arg(e + 1);
    }
    QTest::newRow("a year") << year << QStringList{} << QDate(2026, 1, 1) << QDate(2026, 12, 31) << 0;
    QTest::newRow("a day unreadable in the current format")
        << QStringList{"05/12/2026|10:00:00|30|g|15|PC01", "2026-12-06|10:00:00|60|g|30|PC01", "2026-12-06|12:00:00|10|i|5|PC02"}
        << QStringList{} << from << to << 0;
    QTest::newRow("a day whose stored total is stale")
        << QStringList{"05/12/2026|10:00:00|30|g|15|PC01", "06/12/2026|10:00:00|30|g|7.5|PC01",
                       "07/12/2026|10:00:00|30|g|7.5|PC01"}
        << QStringList{"05/12/2026=15", "06/12/2026=99", "07/12/2026"} << from << to << 2;
    QTest::newRow("entries of one station only")
        << QStringList{"05/12/2026|10:00:00|30|g|15|PC03", "06/12/2026|23:59:59|20|i|10|PC03"} << QStringList{} << from << to
        << 0;
    QTest::newRow("both kinds and an unknown word")
        << QStringList{"05/12/2026|10:00:00|30|g|15|PC01", "05/12/2026|10:00:00|30|i|12|PC01", "05/12/2026|10:00:00|5|x|1|PC01"}
        << QStringList{} << from << to << 0;
    QTest::newRow("a start time that cannot be read")
        << QStringList{"05/12/2026|10h00|30|g|15|PC01", "05/12/2026|10:00:00|30|g|15|PC01"} << QStringList{} << from << to << 0;
}

void TestTakings::everyTableSumsTheEntries()
{
    QFETCH(QStringList, entries);
    QFETCH(QStringList, days);
    QFETCH(QDate, from);
    QFETCH(QDate, to);
    QFETCH(int, staleDays);
    QList<Entry> stored;
    for (const QString& line : entries)
        stored << entryOf(line);
    storeLedger(stored, days);

    // What the entries say, read independently.
    double inPeriod = 0, unreadable = 0, games = 0, internet = 0;
    qint64 sessions = 0, minutes = 0, unreadableSessions = 0;
    for (const Entry& e : stored) {
        const QDate d = QDate::fromString(e.day, QStringLiteral("dd/MM/yyyy"));
        if (!d.isValid()) {
            unreadable += e.cost;
            ++unreadableSessions;
        } else if (d >= from && d <= to) {
            inPeriod += e.cost;
            ++sessions;
            minutes += e.minutes;
            games += e.kind == Games ? e.cost : 0;
            internet += e.kind == Internet ? e.cost : 0;
        }
    }

    const Takings::Result r = Takings::compute({from, to}, Today, QStringList{"PC01", "PC02"});
    QVERIFY(near(r.current.sums.total, inPeriod));
    QCOMPARE(r.current.sums.sessions, sessions);
    QCOMPARE(r.current.sums.minutes, minutes);
    QVERIFY(near(r.current.sums.games, games));
    QVERIFY(near(r.current.sums.internet, internet));
    QList<Takings::Sums> perDay, perStation, perHour, perKind, perUnreadable;
    int stale = 0;
    for (const Takings::DayRow& d : r.days) {
        perDay << d.sums;
        stale += d.stale;
        QVERIFY(d.date >= from && d.date <= to);
    }
    for (const Takings::StationRow& s : r.stations)
        perStation << s.sums;
    for (const Takings::HourRow& h : r.hours)
        perHour << h.sums;
    for (const Takings::KindRow& k : r.kinds)
        perKind << k.sums;
    for (const Takings::DayRow& d : r.unreadable)
        perUnreadable << d.sums;
    for (const QList<Takings::Sums>& table : {perDay, perStation, perHour, perKind}) {
        QVERIFY(near(totalOf(table), inPeriod));
        QCOMPARE(sessionsOf(table), sessions);
    }
    QVERIFY(near(totalOf(perUnreadable), unreadable));
    QCOMPARE(sessionsOf(perUnreadable), unreadableSessions);
    QVERIFY(near(r.unreadableSums.total, unreadable));
    QCOMPARE(stale, staleDays);
    QCOMPARE(r.hours.size() >= 24, true);
    // The roster's stations are listed even when they took nothing.
    for (const QString name : {"PC01", "PC02"})
        QVERIFY(
            std::any_of(r.stations.cbegin(), r.stations.cend(), [&](const Takings::StationRow& s) { return s.station == name; }));
    // The printed day table and its CSV carry the same rows: the period's, then the unreadable ones.
    const QList<QByteArray> csv = TakingsReport::csv(r, TakingsReport::Table::Day).split('\n');
    QCOMPARE(csv.size() - 2, r.days.size() + r.unreadable.size());
}

void TestTakings::comparesWithThePreviousPeriod()
{
    // Three days against the three before them; the day before those is in neither.
    storeLedger({entryOf("04/12/2026|10:00:00|60|g|100|PC01"), entryOf("05/12/2026|10:00:00|30|g|40|PC01"),
                 entryOf("07/12/2026|10:00:00|30|i|40|PC02"), entryOf("08/12/2026|10:00:00|60|g|60|PC01"),
                 entryOf("10/12/2026|10:00:00|60|i|60|PC02"), entryOf("10/12/2026|11:00:00|30|g|30|PC02")},
                {});
    const Takings::Result r = Takings::compute({QDate(2026, 12, 8), QDate(2026, 12, 10)}, Today, std::nullopt);
    QCOMPARE(r.period.previous(), (Takings::Period{QDate(2026, 12, 5), QDate(2026, 12, 7)}));
    QCOMPARE(r.current.sums.total, 150.0);
    QCOMPARE(r.previous.sums.total, 80.0);
    QCOMPARE(r.previous.sums.sessions, 2);
    QCOMPARE(r.current.perDay(), 50.0);
    QCOMPARE(r.previous.perSession(), 40.0);
    const QList<QStringList> figures = TakingsReport::figureRows(r);
    const auto row = std::find_if(figures.cbegin(), figures.cend(),
                                  [](const QStringList& f) { return f.first() == "مجموع الإيراد"; });
    QVERIFY(row != figures.cend());
    QCOMPARE(*row, (QStringList{"مجموع الإيراد", "150", "80", "+70 (+87.5%)"}));
    const auto sessions = std::find_if(figures.cbegin(), figures.cend(),
                                       [](const QStringList& f) { return f.first() == "الجلسات"; });
    QCOMPARE(sessions->at(3), QStringLiteral("+1 (+50%)"));
}

void TestTakings::bucketsHoursAtTheDaysEdges_data()
{
    QTest::addColumn<QString>("timeFormat");
    QTest::addColumn<QString>("start");
    QTest::addColumn<int>("hour");
    QTest::newRow("00:00:00") << "hh:mm:ss"
                              << "00:00:00" << 0;
    QTest::newRow("00:59:59") << "hh:mm:ss"
                              << "00:59:59" << 0;
    QTest::newRow("23:59:59") << "hh:mm:ss"
                              << "23:59:59" << 23;
    QTest::newRow("12:00:00 AM") << "h:mm:ss AP"
                                 << "12:00:00 AM" << 0;
    QTest::newRow("11:59:59 PM") << "h:mm:ss AP"
                                 << "11:59:59 PM" << 23;
    QTest::newRow("unreadable") << "hh:mm:ss"
                                << "25:00:00" << -1;
}

void TestTakings::bucketsHoursAtTheDaysEdges()
{
    QFETCH(QString, timeFormat);
    QFETCH(QString, start);
    QFETCH(int, hour);
    Regional::setOverride(Regional::Formats{QStringLiteral("dd/MM/yyyy"), timeFormat, u'.'});
    storeLedger({{"05/12/2026", start, 10, Games, 5, "PC01"}}, {});
    const Takings::Result r = Takings::compute({QDate(2026, 12, 5), QDate(2026, 12, 5)}, Today, std::nullopt);
    for (const Takings::HourRow& h : r.hours)
        QCOMPARE(h.sums.total, h.hour == hour ? 5.0 : 0.0);
    QCOMPARE(r.hours.size(), hour < 0 ? 25 : 24);
}

void TestTakings::figuresTheBusiestHourTheTopStationAndTheUse()
{
    // Two days: 10:00 to 12:00 open on the first, 20:00 to 20:30 on the second: 150 minutes open,
    // two stations in the roster, 150 minutes sold.
    storeLedger({entryOf("05/12/2026|10:00:00|60|g|10|PC01"), entryOf("05/12/2026|11:00:00|60|g|10|PC02"),
                 entryOf("06/12/2026|20:00:00|30|i|25|PC02")},
                {});
    const Takings::Result r = Takings::compute({QDate(2026, 12, 5), QDate(2026, 12, 6)}, Today, QStringList{"PC01", "PC02"});
    QCOMPARE(r.current.busiestHour, 20);
    QCOMPARE(r.current.topStation, QStringLiteral("PC02"));
    QCOMPARE(r.current.topStationTakings, 35.0);
    QVERIFY(r.current.use.has_value());
    QCOMPARE(*r.current.use, 150.0 / (2 * 150.0));
    QCOMPARE(r.stations.first().share, 35.0 / 45.0);
    // Without a roster the use is not known.
    QVERIFY(!Takings::compute({QDate(2026, 12, 5), QDate(2026, 12, 6)}, Today, std::nullopt).current.use);
}

void TestTakings::presetsCoverTheirDays_data()
{
    QTest::addColumn<int>("preset");
    QTest::addColumn<QDate>("from");
    QTest::addColumn<QDate>("to");
    // 11 December 2026 is a Friday; the week begins on Saturday.
    QTest::newRow("today") << int(Takings::Preset::Today) << Today << Today;
    QTest::newRow("yesterday") << int(Takings::Preset::Yesterday) << QDate(2026, 12, 10) << QDate(2026, 12, 10);
    QTest::newRow("this week") << int(Takings::Preset::ThisWeek) << QDate(2026, 12, 5) << Today;
    QTest::newRow("this month") << int(Takings::Preset::ThisMonth) << QDate(2026, 12, 1) << Today;
    QTest::newRow("last month") << int(Takings::Preset::LastMonth) << QDate(2026, 11, 1) << QDate(2026, 11, 30);
    QTest::newRow("this year") << int(Takings::Preset::ThisYear) << QDate(2026, 1, 1) << Today;
}

void TestTakings::presetsCoverTheirDays()
{
    QFETCH(int, preset);
    QFETCH(QDate, from);
    QFETCH(QDate, to);
    QCOMPARE(Takings::periodOf(Takings::Preset(preset), Today, Qt::Saturday), (Takings::Period{from, to}));
}

void TestTakings::aMissingLedgerFailsByName()
{
    QFile::remove(m_prefix->local(Tables::ledgerEntries().windowsPath()));
    try {
        Takings::compute({Today, Today}, Today, std::nullopt);
        QFAIL("no error");
    } catch (const AppError& e) {
        QVERIFY2(e.text().contains(Tables::ledgerEntries().fileName), qPrintable(e.text()));
    }
}

void TestTakings::csvIsSafeForSpreadsheets()
{
    Regional::setOverride(Regional::Formats{QStringLiteral("dd/MM/yyyy"), QStringLiteral("hh:mm:ss"), u','});
    storeLedger({entryOf("05/12/2026|10:00:00|30|g|7.5|=HYPERLINK(1)"), entryOf("=1+1|10:00:00|30|g|2|PC01")}, {});
    const Takings::Result r = Takings::compute({QDate(2026, 12, 5), QDate(2026, 12, 5)}, Today, std::nullopt);
    const QByteArray stations = TakingsReport::csv(r, TakingsReport::Table::Station);
    QVERIFY(stations.startsWith("\xEF\xBB\xBF"));
    QVERIFY2(stations.contains("'=HYPERLINK(1),1,30,7.5,100\r\n"), stations.constData());
    const QByteArray days = TakingsReport::csv(r, TakingsReport::Table::Day);
    QVERIFY2(days.contains("2026-12-05,1,30,7.5,0,7.5,"), days.constData());
    QVERIFY2(days.contains("'=1+1,1,30,2,0,2,"), days.constData());
    // The window's tables use the regional separator.
    QCOMPARE(TakingsReport::rows(r, TakingsReport::Table::Station).first().at(3), QStringLiteral("7,5"));
}

QTEST_APPLESS_MAIN(TestTakings)

#include "tst_takings.moc"
