#include "accounting/Ledger.h"
#include "install/InstallPaths.h"
#include "platform/Clock.h"
#include "platform/Regional.h"
#include "platform/files/LineBuffer.h"
#include "sessions/SessionSteps.h"
#include "stations/CommandChannel.h"
#include "support/HeldFile.h"
#include "support/Immutable.h"
#include "support/TestPrefix.h"

#include <QDir>
#include <QtTest>
#include <optional>
#include <sqlite3.h>

// The session commands of a row, run on the core alone: a real install tree with its ledger
// tables, a real station share, no window.
namespace {

const QString Station = QStringLiteral("PC0");
const QByteArray EightZeros = "0\r\n0\r\n0\r\n0\r\n0\r\n0\r\n0\r\n0";
const QString Games = QStringLiteral("ألعاب");
const QString Internet = QStringLiteral("أنترنيت");

struct Bill
{
    qint64 days = 0;
    qint64 entries = 0;
    QString minutes;
    QString kind;
    double cost = 0;
    QString station;
    QString day;
};

// Another program writing a ledger table, holding it until destroyed.
class LedgerHold
{
public:
    explicit LedgerHold(const QString& file)
    {
        if (sqlite3_open(QFile::encodeName(file).constData(), &m_db) != SQLITE_OK
            || sqlite3_exec(m_db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr) != SQLITE_OK)
            qFatal("cannot hold %s", qPrintable(file));
    }
    ~LedgerHold() { sqlite3_close(m_db); }
    LedgerHold(const LedgerHold&) = delete;
    LedgerHold& operator=(const LedgerHold&) = delete;

private:
    sqlite3* m_db = nullptr;
};

} // namespace

Q_DECLARE_METATYPE(SessionSteps::OpenResult)

class TestSessionSteps : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void opening_data();
    void opening();
    void refusedOpenings_data();
    void refusedOpenings();
    void reopeningRestartsAndBillsAgain();
    void failedReopeningKeepsTheSessionThatRuns_data();
    void failedReopeningKeepsTheSessionThatRuns();
    void failedBillOfANewSessionLowersTheFlag_data();
    void failedBillOfANewSessionLowersTheFlag();
    void ticking_data();
    void ticking();
    void stopping_data();
    void stopping();

private:
    Bill bill()
    {
        // A ledger of its own, so the one under test is not moved.
        Ledger probe;
        probe.open();
        Bill out;
        out.days = probe.days().rowCount();
        probe.days().MoveLast();
        out.entries = probe.entries().rowCount();
        if (out.entries > 0) {
            probe.entries().MoveLast();
            out.minutes = probe.entries().GetFieldText("TimeOperation");
            out.kind = probe.entries().GetFieldText("KandOperation");
            out.cost = probe.entries().GetFieldFloat("Cost");
            out.station = probe.entries().GetFieldText("Computer");
            out.day = probe.entries().GetFieldText("DateDay2");
        }
        return out;
    }
    QStringList lines567() const
    {
        const LineBuffer file(m_prefix->commandFile(Station));
        return {file.line(5), file.line(6), file.line(7)};
    }
    static CountdownState countingFrom(const QStringList& before, bool counting)
    {
        CountdownState state;
        state.minutes = before.at(0);
        state.seconds = before.at(1);
        state.minuteDue = !before.at(2).isEmpty();
        state.counting = state.timerEnabled = counting;
        // Counting for a second by the next tick.
        state.startedAtMs = Clock::monotonicMs() - 1000;
        return state;
    }
    void setReachable(bool reachable)
    {
        const QString on = m_prefix->root() + "/unc/" + Station;
        const QString off = m_prefix->root() + "/off-" + Station;
        QVERIFY(reachable ? QDir().rename(off, on) : QDir().rename(on, off));
    }

    std::unique_ptr<TestPrefix> m_prefix;
    std::unique_ptr<Ledger> m_ledger;
    LineBuffer m_scratch;
};

void TestSessionSteps::init()
{
    m_prefix = std::make_unique<TestPrefix>();
    m_prefix->makeTables();
    m_prefix->addStation(Station);
    Regional::setOverride(Regional::Formats{"dd/MM/yyyy", "hh:mm:ss", '.'});
    Clock::setFixed(QDateTime(QDate(2026, 12, 9), QTime(10, 0, 0)));
    m_ledger = std::make_unique<Ledger>();
}

void TestSessionSteps::cleanup()
{
    m_ledger.reset();
    Clock::setFixed({});
    Regional::setOverride(std::nullopt);
    m_prefix.reset();
}

void TestSessionSteps::opening_data()
{
    QTest::addColumn<QString>("minutes");
    QTest::addColumn<bool>("games");
    QTest::addColumn<QString>("internetTariff");
    QTest::addColumn<QStringList>("captions"); // minutes, seconds
    QTest::addColumn<QString>("kind");
    QTest::addColumn<double>("cost");

    // The games tariff is 0.5 throughout.
    QTest::newRow("15 games") << "15" << true << "0.25" << QStringList{"14", "60"} << Games << 7.5;
    QTest::newRow("120 internet") << "120" << false << "0.25" << QStringList{"119", "60"} << Internet << 30.0;
    QTest::newRow("45, not in the list") << "45" << true << "0.25" << QStringList{"44", "60"} << Games << 22.5;
    QTest::newRow("1 minute") << "1" << true << "0.25" << QStringList{"0", "60"} << Games << 0.5;
    QTest::newRow("the field's most") << "32767" << false << "0" << QStringList{"32766", "60"} << Internet << 0.0;
    QTest::newRow("other kind's bad tariff unused") << "10" << true << "abc" << QStringList{"9", "60"} << Games << 5.0;
}

void TestSessionSteps::opening()
{
    QFETCH(QString, minutes);
    QFETCH(bool, games);
    QFETCH(QString, internetTariff);
    QFETCH(QStringList, captions);
    QFETCH(QString, kind);
    QFETCH(double, cost);

    CountdownState countdown;
    countdown.minuteDue = true; // left from the row's last session: a countdown that starts clears it
    QCOMPARE(SessionSteps::open(countdown, m_scratch, *m_ledger, {minutes, Station, games, "0.5", internetTariff}).result,
             SessionSteps::OpenResult::Opened);
    QCOMPARE((QStringList{countdown.minutes, countdown.seconds}), captions);
    QVERIFY(countdown.timerEnabled);
    QVERIFY(!countdown.minuteDue);
    QVERIFY(!m_ledger->days().isOpen());
    QVERIFY(!m_ledger->entries().isOpen());
    QCOMPARE(lines567().at(0), QStringLiteral("1"));

    const Bill stored = bill();
    QCOMPARE(stored.days, 1);
    QCOMPARE(stored.entries, 1);
    QCOMPARE(stored.minutes, minutes);
    QCOMPARE(stored.kind, kind);
    QCOMPARE(stored.cost, cost);
    QCOMPARE(stored.station, Station);
    QCOMPARE(stored.day, QStringLiteral("09/12/2026"));
}

void TestSessionSteps::refusedOpenings_data()
{
    using R = SessionSteps::OpenResult;
    QTest::addColumn<QString>("minutes");
    QTest::addColumn<QString>("internetTariff"); // the kind chosen is internet
    QTest::addColumn<QByteArray>("commandFile");
    QTest::addColumn<QString>("fault"); // "away", "no ledger", "ledger held" or none
    QTest::addColumn<R>("result");

    QTest::newRow("letters") << "abc"
                             << "0.25" << EightZeros << "" << R::BadEntry;
    QTest::newRow("empty minutes") << ""
                                   << "0.25" << EightZeros << "" << R::BadEntry;
    QTest::newRow("0 minutes") << "0"
                               << "0.25" << EightZeros << "" << R::BadEntry;
    QTest::newRow("-5 minutes") << "-5"
                                << "0.25" << EightZeros << "" << R::BadEntry;
    QTest::newRow("40000 minutes") << "40000"
                                   << "0.25" << EightZeros << "" << R::BadEntry;
    QTest::newRow("tariff abc") << "10"
                                << "abc" << EightZeros << "" << R::BadEntry;
    QTest::newRow("tariff empty") << "10"
                                  << "" << EightZeros << "" << R::BadEntry;
    QTest::newRow("tariff negative") << "10"
                                     << "-0.5" << EightZeros << "" << R::BadEntry;
    QTest::newRow("5-line file") << "10"
                                 << "0.25" << QByteArray("0\r\n0\r\n0\r\n0\r\n0") << "" << R::StationFailed;
    QTest::newRow("6-line file") << "10"
                                 << "0.25" << QByteArray("0\r\n0\r\n0\r\n0\r\n0\r\n0") << "" << R::StationFailed;
    QTest::newRow("7-line file") << "10"
                                 << "0.25" << QByteArray("0\r\n0\r\n0\r\n0\r\n0\r\n0\r\n0") << "" << R::StationFailed;
    QTest::newRow("station away") << "10"
                                  << "0.25" << EightZeros << "away" << R::StationFailed;
    QTest::newRow("ledger missing") << "10"
                                    << "0.25" << EightZeros << "no ledger" << R::LedgerFailed;
    QTest::newRow("ledger held by another writer") << "10"
                                                   << "0.25" << EightZeros << "ledger held" << R::LedgerFailed;
    // It can be read, so the check alone would pass: the bill could not be stored.
    QTest::newRow("ledger read-only") << "10"
                                      << "0.25" << EightZeros << "ledger read-only" << R::LedgerFailed;
}

void TestSessionSteps::refusedOpenings()
{
    QFETCH(QString, minutes);
    QFETCH(QString, internetTariff);
    QFETCH(QByteArray, commandFile);
    QFETCH(QString, fault);
    QFETCH(SessionSteps::OpenResult, result);

    m_prefix->addStation(Station, commandFile);
    if (fault == "away")
        setReachable(false);
    if (fault == "no ledger")
        QVERIFY(QFile::remove(m_prefix->local(InstallPaths::LedgerDir + "\\SumDays.DB")));
    std::optional<LedgerHold> hold;
    if (fault == "ledger held")
        hold.emplace(m_prefix->local(InstallPaths::LedgerDir + "\\SumDays.DB"));
    std::optional<ImmutableFile> readOnly;
    if (fault == "ledger read-only" && !readOnly.emplace(m_prefix->local(InstallPaths::LedgerDir + "\\SumDays.DB")).held())
        QSKIP("this file system cannot make a file immutable");

    CountdownState countdown;
    countdown.minuteDue = true;
    const SessionSteps::OpenOutcome outcome = SessionSteps::open(countdown, m_scratch, *m_ledger,
                                                                 {minutes, Station, false, "0.5", internetTariff});
    QCOMPARE(outcome.result, result);
    // The ledger's own words reach the operator.
    QCOMPARE(outcome.text.isEmpty(), result != SessionSteps::OpenResult::LedgerFailed);
    if (fault == "ledger read-only")
        QVERIFY2(outcome.text.contains(InstallPaths::LedgerDir + "\\SumDays.DB"), qPrintable(outcome.text));
    // Nothing changed: no countdown, no flag, no entry, no day.
    QCOMPARE((QStringList{countdown.minutes, countdown.seconds}), (QStringList{"00", "00"}));
    QVERIFY(!countdown.timerEnabled);
    QVERIFY(countdown.minuteDue);
    QVERIFY(!m_ledger->days().isOpen());
    QVERIFY(!m_ledger->entries().isOpen());
    hold.reset();
    readOnly.reset();
    if (fault == "away")
        setReachable(true);
    QCOMPARE(m_prefix->commandFile(Station), commandFile); // not even the breaks rewritten
    if (fault != "no ledger") {
        const Bill stored = bill();
        QCOMPARE(stored.entries, 0);
        QCOMPARE(stored.days, 0);
    }
}

void TestSessionSteps::reopeningRestartsAndBillsAgain()
{
    CountdownState countdown;
    QCOMPARE(SessionSteps::open(countdown, m_scratch, *m_ledger, {"10", Station, true, "0.5", "0.25"}).result,
             SessionSteps::OpenResult::Opened);
    for (int i = 0; i < 30; ++i)
        QCOMPARE(SessionSteps::tick(countdown, m_scratch, Station), Countdown::Outcome::Written);
    QCOMPARE(SessionSteps::open(countdown, m_scratch, *m_ledger, {"20", Station, false, "0.5", "0.25"}).result,
             SessionSteps::OpenResult::Opened);
    QCOMPARE((QStringList{countdown.minutes, countdown.seconds}), (QStringList{"19", "60"}));
    // The same date: one day, a second entry; nothing of the first session is refunded.
    const Bill stored = bill();
    QCOMPARE(stored.days, 1);
    QCOMPARE(stored.entries, 2);
    QCOMPARE(stored.cost, 5.0);
}

void TestSessionSteps::failedReopeningKeepsTheSessionThatRuns_data()
{
    QTest::addColumn<bool>("flagRefused"); // else the bill fails
    QTest::newRow("flag refused") << true;
    QTest::newRow("bill refused") << false;
}

void TestSessionSteps::failedReopeningKeepsTheSessionThatRuns()
{
    QFETCH(bool, flagRefused);
    CountdownState countdown;
    QCOMPARE(SessionSteps::open(countdown, m_scratch, *m_ledger, {"10", Station, true, "0.5", "0.25"}).result,
             SessionSteps::OpenResult::Opened);
    for (int i = 0; i < 30; ++i)
        SessionSteps::tick(countdown, m_scratch, Station);
    const CountdownState running = countdown;
    {
        // The client reading its file lets the check read it too, but refuses the write.
        std::optional<HeldFile> reading;
        std::optional<LedgerHold> hold;
        if (flagRefused)
            reading.emplace(m_prefix->local(CommandChannel::commandFilePath(Station)), false);
        else
            hold.emplace(m_prefix->local(InstallPaths::LedgerDir + "\\DetailDays.DB"));
        QCOMPARE(SessionSteps::open(countdown, m_scratch, *m_ledger, {"60", Station, true, "0.5", "0.25"}).result,
                 flagRefused ? SessionSteps::OpenResult::StationFailed : SessionSteps::OpenResult::LedgerFailed);
    }
    // The old session counts on, billed once; its flag stays raised.
    QCOMPARE((QStringList{countdown.minutes, countdown.seconds}), (QStringList{running.minutes, running.seconds}));
    QVERIFY(countdown.counting);
    QVERIFY(!countdown.owesZero());
    QCOMPARE(countdown.paidEndUtc, running.paidEndUtc);
    QCOMPARE(bill().entries, 1);
    QCOMPARE(lines567().at(0), QStringLiteral("1"));
    QCOMPARE(SessionSteps::tick(countdown, m_scratch, Station), Countdown::Outcome::Written);
    QCOMPARE(lines567(), (QStringList{"1", countdown.seconds, "9"}));
}

void TestSessionSteps::failedBillOfANewSessionLowersTheFlag_data()
{
    QTest::addColumn<QString>("flagBefore");
    QTest::newRow("raised by the opening") << "0";
    // Raised by something other than this row (another console, an earlier run): not ours to lower.
    QTest::newRow("standing already") << "1";
}

void TestSessionSteps::failedBillOfANewSessionLowersTheFlag()
{
    // An empty day may stay; the flag raised for the session that was never billed comes down.
    QFETCH(QString, flagBefore);
    m_prefix->addStation(Station, "0\r\n0\r\n0\r\n0\r\n0\r\n" + flagBefore.toLatin1() + "\r\n0\r\n0");
    LedgerHold hold(m_prefix->local(InstallPaths::LedgerDir + "\\DetailDays.DB"));
    CountdownState countdown;
    QCOMPARE(SessionSteps::open(countdown, m_scratch, *m_ledger, {"10", Station, true, "0.5", "0.25"}).result,
             SessionSteps::OpenResult::LedgerFailed);
    QVERIFY(!countdown.timerEnabled);
    QVERIFY(!countdown.owesZero());
    QCOMPARE((QStringList{countdown.minutes, countdown.seconds}), (QStringList{"00", "00"}));
    QCOMPARE(lines567().at(0), flagBefore);
}

void TestSessionSteps::ticking_data()
{
    QTest::addColumn<QStringList>("before");     // minutes, seconds, minuteDue ("1")
    QTest::addColumn<QByteArray>("commandFile"); // empty: the station is unreachable
    QTest::addColumn<bool>("lamp");
    QTest::addColumn<QStringList>("after");
    QTest::addColumn<bool>("counting");
    QTest::addColumn<QStringList>("file"); // lines 5 to 7 afterwards

    const QByteArray open = "0\r\n0\r\n0\r\n0\r\n0\r\n1\r\n5\r\n9";
    QTest::newRow("a second") << QStringList{"9", "6", ""} << open << true << QStringList{"9", "5", ""} << true
                              << QStringList{"1", "5", "9"};
    QTest::newRow("seconds reach 0") << QStringList{"9", "1", ""} << open << true << QStringList{"9", "0", "1"} << true
                                     << QStringList{"1", "0", "9"};
    QTest::newRow("a minute deducted") << QStringList{"9", "0", "1"} << open << true << QStringList{"8", "59", ""} << true
                                       << QStringList{"1", "59", "8"};
    QTest::newRow("the ending tick") << QStringList{"0", "0", "1"} << open << true << QStringList{"--", "--", ""} << false
                                     << QStringList{"0", "--", "--"};
    QTest::newRow("below zero counts on") << QStringList{"-1", "0", "1"} << open << true << QStringList{"-2", "59", ""} << true
                                          << QStringList{"1", "59", "-2"};
    // A failed write turns the lamp red and the count goes on; the file keeps the last tick.
    QTest::newRow("unreachable") << QStringList{"9", "6", ""} << QByteArray() << false << QStringList{"9", "5", ""} << true
                                 << QStringList{"1", "5", "9"};
    QTest::newRow("unreachable on the ending tick") << QStringList{"0", "0", "1"} << QByteArray() << false
                                                    << QStringList{"--", "--", ""} << false << QStringList{"1", "5", "9"};
    QTest::newRow("unreachable as seconds reach 0")
        << QStringList{"9", "1", ""} << QByteArray() << false << QStringList{"9", "0", "1"} << true << QStringList{"1", "5", "9"};
    // Captions that are not a count cannot be counted on: that alone stops the count.
    QTest::newRow("ended captions") << QStringList{"--", "--", ""} << open << false << QStringList{"--", "--", ""} << false
                                    << QStringList{"1", "5", "9"};
    QTest::newRow("no lines for the counters") << QStringList{"9", "6", ""} << QByteArray("0\r\n0\r\n0\r\n0\r\n0\r\n1") << false
                                               << QStringList{"9", "5", ""} << true << QStringList{"1", "", ""};
}

void TestSessionSteps::ticking()
{
    QFETCH(QStringList, before);
    QFETCH(QByteArray, commandFile);
    QFETCH(bool, lamp);
    QFETCH(QStringList, after);
    QFETCH(bool, counting);
    QFETCH(QStringList, file);

    m_prefix->addStation(Station, commandFile.isEmpty() ? QByteArray("0\r\n0\r\n0\r\n0\r\n0\r\n1\r\n5\r\n9") : commandFile);
    if (commandFile.isEmpty())
        setReachable(false);
    CountdownState countdown = countingFrom(before, true);
    QCOMPARE(SessionSteps::tick(countdown, m_scratch, Station) == Countdown::Outcome::Written, lamp);
    QCOMPARE((QStringList{countdown.minutes, countdown.seconds, countdown.minuteDue ? "1" : ""}), after);
    QCOMPARE(countdown.counting, counting);
    // The timer goes on while the session counts or the station is owed its end.
    const bool endOwed = QTest::currentDataTag() == QByteArray("unreachable on the ending tick");
    QCOMPARE(countdown.owesZero(), endOwed);
    QCOMPARE(countdown.timerEnabled, counting || endOwed);
    if (commandFile.isEmpty())
        setReachable(true);
    QCOMPARE(lines567(), file);
    QCOMPARE(bill().entries, 0); // the countdown never touches the ledger
}

void TestSessionSteps::stopping_data()
{
    QTest::addColumn<QStringList>("before"); // minutes, seconds, minuteDue ("1"), timer ("on")
    QTest::addColumn<bool>("reachable");
    QTest::addColumn<bool>("stopped");
    QTest::addColumn<QStringList>("file");

    QTest::newRow("counting at 7:23") << QStringList{"7", "23", "", "on"} << true << true << QStringList{"0", "23", "7"};
    QTest::newRow("seconds just reached 0") << QStringList{"9", "0", "1", "on"} << true << true << QStringList{"0", "23", "7"};
    QTest::newRow("never opened") << QStringList{"00", "00", "", ""} << true << true << QStringList{"0", "23", "7"};
    QTest::newRow("halted") << QStringList{"9", "5", "1", ""} << true << true << QStringList{"0", "23", "7"};
    QTest::newRow("unreachable") << QStringList{"7", "23", "1", "on"} << false << false << QStringList{"1", "23", "7"};
}

void TestSessionSteps::stopping()
{
    QFETCH(QStringList, before);
    QFETCH(bool, reachable);
    QFETCH(bool, stopped);
    QFETCH(QStringList, file);

    m_prefix->addStation(Station, "0\r\n0\r\n0\r\n0\r\n0\r\n1\r\n23\r\n7");
    if (!reachable)
        setReachable(false);
    CountdownState countdown = countingFrom(before, !before.at(3).isEmpty());
    QCOMPARE(SessionSteps::stop(countdown, m_scratch, Station) == Countdown::Outcome::Written, stopped);
    // Stopped whatever the station did: "--", MinuteDue reset; the timer runs on only to deliver
    // the "0" the station did not take.
    QCOMPARE((QStringList{countdown.minutes, countdown.seconds}), (QStringList{"--", "--"}));
    QVERIFY(!countdown.counting);
    QCOMPARE(countdown.timerEnabled, !stopped);
    QVERIFY(!countdown.minuteDue);
    if (!reachable)
        setReachable(true);
    QCOMPARE(lines567(), file);
    if (!stopped) {
        QCOMPARE(Countdown::deliver(countdown, m_scratch, Station), Countdown::Outcome::Written);
        QVERIFY(!countdown.timerEnabled);
        QCOMPARE(lines567(), (QStringList{"0", "23", "7"}));
    }
}

QTEST_GUILESS_MAIN(TestSessionSteps)
#include "tst_sessionsteps.moc"
