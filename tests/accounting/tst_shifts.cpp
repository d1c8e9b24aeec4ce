#include "accounting/Ledger.h"
#include "accounting/ShiftSlip.h"
#include "accounting/Shifts.h"
#include "install/Audit.h"
#include "install/SessionKind.h"
#include "platform/AppError.h"
#include "platform/Clock.h"
#include "platform/Regional.h"
#include "support/TestPrefix.h"

#include <QtTest>
#include <functional>

// Shifts counted against the ledger's bills, and what they leave in the audit record.
class TestShifts : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void expectedCashIsTheShiftsBillsAcrossMidnight();
    void aRestartedConsoleGoesOnWithTheOpenShift();
    void handOverClosesAndOpensInOneStep();
    void refusalsChangeNothing_data();
    void refusalsChangeNothing();
    void slipIsOnePageWithTheChainsHead();

private:
    void at(int day, const QTime& time) { Clock::setFixed(QDateTime(QDate(2026, 12, day), time)); }
    void bill(const QString& minutes, bool games, const QString& station = QStringLiteral("PC01"))
    {
        Ledger ledger;
        ledger.recordSession({minutes, station, games, games ? QStringLiteral("0.5") : QStringLiteral("0.25")});
    }
    QStringList events()
    {
        QStringList words;
        for (const Audit::Row& row : Audit::rows())
            words << row.event.event + QLatin1Char('/') + row.operatorName;
        return words;
    }

    std::unique_ptr<TestPrefix> m_prefix;
};

void TestShifts::init()
{
    m_prefix = std::make_unique<TestPrefix>();
    m_prefix->makeTables();
    QVERIFY(Audit::create());
    Regional::setOverride(Regional::Formats{"dd/MM/yyyy", "hh:mm:ss", '.'});
    Audit::setOperatorName(QString());
}

void TestShifts::cleanup()
{
    Audit::setOperatorName(QString());
    Regional::setOverride(std::nullopt);
    Clock::setFixed({});
    m_prefix.reset();
}

void TestShifts::expectedCashIsTheShiftsBillsAcrossMidnight()
{
    at(10, QTime(21, 0));
    bill("60", true); // before the shift: not its money
    at(10, QTime(23, 30));
    const Shifts::Opened opened = Shifts::open(QStringLiteral("  سامي  "), 50);
    QVERIFY(!opened.auditProblem);
    QCOMPARE(opened.shift.operatorName, QStringLiteral("سامي"));
    at(10, QTime(23, 50));
    bill("30", true); // 15
    at(11, QTime(0, 20));
    bill("40", false); // 10
    bill("10", true);  // 5
    at(11, QTime(1, 0));
    const Shifts::Closed closed = Shifts::close(82.5);
    QVERIFY(!closed.auditProblem);
    const Shifts::Closing& c = closed.closing;
    QCOMPARE(c.tally.sessions, 3);
    QCOMPARE(c.tally.minutes, 80);
    QCOMPARE(c.tally.takings, 30.0);
    QCOMPARE(c.expected, 80.0);
    QCOMPARE(c.difference(), 2.5);
    QCOMPARE(c.tally.kinds.size(), 2);
    QCOMPARE(c.tally.kinds.at(0).kind, SessionKind::GamesWord);
    QCOMPARE(c.tally.kinds.at(0).takings, 20.0);
    QCOMPARE(c.tally.kinds.at(1).minutes, 40);

    // A bill after the close belongs to no closed shift, and the shift's figures stay as they were.
    bill("100", true);
    QCOMPARE(Shifts::closing(Shifts::history().first()).expected, 80.0);
    QVERIFY(!Shifts::current());
    QCOMPARE(events(), (QStringList{"shift-open/سامي", "shift-close/سامي"}));
    const QList<Audit::Row> rows = Audit::rows();
    QCOMPARE(rows.at(0).event.amount, 50.0);
    QCOMPARE(rows.at(1).event.amount, 82.5);
    QCOMPARE(rows.at(1).event.oldValue, QStringLiteral("80"));
    QCOMPARE(rows.at(1).event.minutes, 80);
    QVERIFY(Audit::verify().whole);
}

void TestShifts::aRestartedConsoleGoesOnWithTheOpenShift()
{
    at(10, QTime(22, 0));
    Shifts::open(QStringLiteral("Hana"), 20);
    bill("20", true);
    // The process ends; a new one knows nothing but the files.
    Audit::setOperatorName(QString());
    at(11, QTime(8, 0));
    QVERIFY(!Shifts::restoreOperator());
    Audit::record({Audit::Events::ConsoleStart, {}, {}, {}, {}, {}, {}, {}});
    bill("20", false);
    QCOMPARE(Shifts::current()->operatorName, QStringLiteral("Hana"));
    const Shifts::Closed closed = Shifts::close(35);
    QCOMPARE(closed.closing.tally.sessions, 2);
    QCOMPARE(closed.closing.expected, 35.0);
    QCOMPARE(closed.closing.difference(), 0.0);
    QCOMPARE(events(), (QStringList{"shift-open/Hana", "console-start/Hana", "shift-close/Hana"}));
    // Rows after the close name nobody.
    Audit::record({Audit::Events::ConsoleExit, {}, {}, {}, {}, {}, {}, {}});
    QCOMPARE(Audit::rows().last().operatorName, QString());
}

void TestShifts::handOverClosesAndOpensInOneStep()
{
    at(10, QTime(14, 0));
    Shifts::open(QStringLiteral("Ali"), 10);
    bill("20", true);
    at(10, QTime(18, 0));
    const Shifts::HandedOver done = Shifts::handOver(19, QStringLiteral("Mona"));
    QCOMPARE(done.closed.closing.expected, 20.0);
    QCOMPARE(done.closed.closing.difference(), -1.0);
    QCOMPARE(done.opened.shift.openingCash, 19.0);
    QCOMPARE(done.opened.shift.opened, done.closed.closing.shift.closed);
    bill("10", true);
    QCOMPARE(Shifts::current()->operatorName, QStringLiteral("Mona"));
    QCOMPARE(Shifts::tally(*Shifts::current()).takings, 5.0);
    QCOMPARE(events(), (QStringList{"shift-open/Ali", "shift-close/Ali", "shift-open/Mona"}));
    QCOMPARE(Shifts::operatorNames(), (QStringList{"Mona", "Ali"}));
}

void TestShifts::refusalsChangeNothing_data()
{
    QTest::addColumn<bool>("openFirst");
    QTest::addColumn<std::function<void()>>("action");
    QTest::addColumn<QString>("message");
    QTest::newRow("no name") << false << std::function<void()>([] { Shifts::open(QStringLiteral("  "), 0); })
                             << "operator's name";
    QTest::newRow("negative cash") << false << std::function<void()>([] { Shifts::open(QStringLiteral("A"), -1); })
                                   << "0 or more";
    QTest::newRow("cash that is no number") << false << std::function<void()>([] { Shifts::parseCash(QStringLiteral("12,5")); })
                                            << "12,5";
    QTest::newRow("a second shift") << true << std::function<void()>([] { Shifts::open(QStringLiteral("B"), 0); })
                                    << "still open";
    QTest::newRow("close with none open") << false << std::function<void()>([] { Shifts::close(5); }) << "No shift is open";
    QTest::newRow("negative count") << true << std::function<void()>([] { Shifts::close(-0.01); }) << "0 or more";
    QTest::newRow("hand-over to nobody") << true << std::function<void()>([] { Shifts::handOver(5, QString()); })
                                         << "operator's name";
    QTest::newRow("hand-over with none open")
        << false << std::function<void()>([] { Shifts::handOver(5, QStringLiteral("B")); }) << "No shift is open";
}

void TestShifts::refusalsChangeNothing()
{
    QFETCH(bool, openFirst);
    QFETCH(std::function<void()>, action);
    QFETCH(QString, message);
    if (openFirst)
        Shifts::open(QStringLiteral("A"), 5);
    const QList<Shifts::Shift> before = Shifts::history();
    const qsizetype rows = Audit::rows().size();
    try {
        action();
        QFAIL("not refused");
    } catch (const AppError& error) {
        QVERIFY2(error.text().contains(message), qPrintable(error.text()));
    }
    const QList<Shifts::Shift> after = Shifts::history();
    QCOMPARE(after.size(), before.size());
    if (openFirst)
        QVERIFY(!after.first().closed);
    QCOMPARE(Audit::rows().size(), rows);
}

void TestShifts::slipIsOnePageWithTheChainsHead()
{
    at(10, QTime(9, 0));
    Shifts::open(QStringLiteral("Ali"), 0);
    bill("30", true);
    bill("30", false);
    const Shifts::Closing c = Shifts::close(22).closing;
    QVERIFY(c.head);
    QCOMPARE(c.head->serial, Audit::verify().last->serial);
    QCOMPARE(c.head->hash, Audit::verify().last->hash);
    // Printed again from the list of shifts, the slip is the same.
    const Shifts::Closing again = Shifts::closing(Shifts::history().first());
    QCOMPARE(ShiftSlip::lines(again), ShiftSlip::lines(c));

    const QList<QPair<QString, QString>> lines = ShiftSlip::lines(c);
    auto valueOf = [&lines](const QString& caption) {
        for (const auto& line : lines)
            if (line.first.startsWith(caption))
                return line.second;
        return QStringLiteral("missing");
    };
    QCOMPARE(valueOf(QStringLiteral("المشغل")), QStringLiteral("Ali"));
    QCOMPARE(valueOf(QStringLiteral("النقد المتوقع")), QStringLiteral("22.50"));
    QCOMPARE(valueOf(QStringLiteral("الفرق")), QStringLiteral("-0.50"));
    QCOMPARE(valueOf(QStringLiteral("إيراد ") + SessionKind::GamesWord), QStringLiteral("15.00"));
    QVERIFY(valueOf(QStringLiteral("رأس سلسلة السجل")).contains(Audit::headText(*c.head)));

    const Report::Definition definition = ShiftSlip::definition();
    QCOMPARE(ShiftSlip::layOut(definition, c).size(), 1);
}

QTEST_GUILESS_MAIN(TestShifts)
#include "tst_shifts.moc"
