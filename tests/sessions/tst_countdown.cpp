#include "platform/AppError.h"
#include "platform/LineBuffer.h"
#include "sessions/Countdown.h"
#include "stations/CommandChannel.h"
#include "support/TestPrefix.h"

#include <QDir>
#include <QtTest>

namespace {

const QString Station = QStringLiteral("PC1");
const QByteArray EightZeros = "0\r\n0\r\n0\r\n0\r\n0\r\n0\r\n0\r\n0";

// A reachable station whose countdown the test drives tick by tick.
class Session
{
public:
    explicit Session(TestPrefix& prefix, const QByteArray& commandFile = EightZeros)
        : m_prefix(prefix)
    {
        prefix.addStation(Station, commandFile);
    }

    void open(int minutes)
    {
        Countdown::start(state, minutes);
        CommandWrite(scratch, Station, CommandChannel::SessionFlagLine, QStringLiteral("1"));
    }

    // Runs ticks; returns false when one failed (the caller's lamp would turn red).
    bool ticks(int count)
    {
        for (int i = 0; i < count; ++i) {
            if (!state.timerEnabled)
                return true;
            try {
                Countdown::tick(state, scratch, Station);
            } catch (const AppError&) {
                state.timerEnabled = false;
                return false;
            }
        }
        return true;
    }

    QStringList lines567() const
    {
        const LineBuffer file(m_prefix.commandFile(Station));
        return {file.line(5), file.line(6), file.line(7)};
    }

    void setReachable(bool reachable)
    {
        const QString on = m_prefix.root() + "/unc/" + Station;
        const QString off = m_prefix.root() + "/unc-off";
        QVERIFY(reachable ? QDir().rename(off, on) : QDir().rename(on, off));
    }

    CountdownState state;
    LineBuffer scratch;

private:
    TestPrefix& m_prefix;
};

} // namespace

class TestCountdown : public QObject
{
    Q_OBJECT
private slots:
    void followsTheTenMinuteTimeline_data();
    void followsTheTenMinuteTimeline();
    void oneMinuteEndsOnTick61();
    void zeroMinutesCountsOnUntilStopped();
    void unreachableMidSessionHalts();
    void unreachableOnTheEndingTick();
    void minuteDueCarriesIntoAReopenedSession();
    void reopeningACountingRow();
    void shortCommandFileHaltsAndStaysUntouched();
    void stopping_data();
    void stopping();
    void stopWhileUnreachableKeepsTheFirstSteps();
    void stopResetsMinuteDue();
};

void TestCountdown::followsTheTenMinuteTimeline_data()
{
    QTest::addColumn<int>("tick");
    QTest::addColumn<QString>("minutes");
    QTest::addColumn<QString>("seconds");
    QTest::addColumn<bool>("minuteDue");
    QTest::addColumn<QStringList>("file");

    QTest::newRow("after opening") << 0 << "9" << "60" << false << QStringList{"1", "0", "0"};
    QTest::newRow("tick 1") << 1 << "9" << "59" << false << QStringList{"1", "59", "9"};
    QTest::newRow("tick 2") << 2 << "9" << "58" << false << QStringList{"1", "58", "9"};
    QTest::newRow("tick 59") << 59 << "9" << "1" << false << QStringList{"1", "1", "9"};
    QTest::newRow("tick 60") << 60 << "9" << "0" << true << QStringList{"1", "0", "9"};
    QTest::newRow("tick 61") << 61 << "8" << "59" << false << QStringList{"1", "59", "8"};
    QTest::newRow("tick 120") << 120 << "8" << "0" << true << QStringList{"1", "0", "8"};
    QTest::newRow("tick 121") << 121 << "7" << "59" << false << QStringList{"1", "59", "7"};
    QTest::newRow("tick 541") << 541 << "0" << "59" << false << QStringList{"1", "59", "0"};
    QTest::newRow("tick 600") << 600 << "0" << "0" << true << QStringList{"1", "0", "0"};
    QTest::newRow("tick 601") << 601 << "--" << "--" << false << QStringList{"0", "--", "--"};
}

void TestCountdown::followsTheTenMinuteTimeline()
{
    QFETCH(int, tick);
    QFETCH(QString, minutes);
    QFETCH(QString, seconds);
    QFETCH(bool, minuteDue);
    QFETCH(QStringList, file);
    TestPrefix prefix;
    Session session(prefix);
    session.open(10);
    QVERIFY(session.ticks(tick));
    QCOMPARE(session.state.minutes, minutes);
    QCOMPARE(session.state.seconds, seconds);
    QCOMPARE(session.state.minuteDue, minuteDue);
    QCOMPARE(session.state.timerEnabled, tick < 601);
    QCOMPARE(session.lines567(), file);
}

void TestCountdown::oneMinuteEndsOnTick61()
{
    TestPrefix prefix;
    Session session(prefix);
    session.open(1);
    QCOMPARE(session.state.minutes, QStringLiteral("0"));
    QVERIFY(session.ticks(60));
    QVERIFY(session.state.timerEnabled);
    QCOMPARE(session.lines567(), (QStringList{"1", "0", "0"}));
    QVERIFY(session.ticks(1));
    QVERIFY(!session.state.timerEnabled);
    QCOMPARE(session.lines567(), (QStringList{"0", "--", "--"}));
}

void TestCountdown::zeroMinutesCountsOnUntilStopped()
{
    TestPrefix prefix;
    Session session(prefix);
    session.open(0);
    QCOMPARE(session.state.minutes, QStringLiteral("-1"));
    QVERIFY(session.ticks(61));
    QCOMPARE(session.state.minutes, QStringLiteral("-2"));
    QCOMPARE(session.lines567(), (QStringList{"1", "59", "-2"}));
    QVERIFY(session.ticks(600));
    QVERIFY(session.state.timerEnabled);
    QCOMPARE(session.state.minutes, QStringLiteral("-12"));
    Countdown::stop(session.state, session.scratch, Station);
    QCOMPARE(session.lines567(), (QStringList{"0", "59", "-12"}));
}

void TestCountdown::unreachableMidSessionHalts()
{
    TestPrefix prefix;
    Session session(prefix);
    session.open(10);
    QVERIFY(session.ticks(5));
    session.setReachable(false);
    QVERIFY(!session.ticks(1));
    // The captions are one tick ahead of the file, which keeps the flag.
    QCOMPARE(session.state.seconds, QStringLiteral("54"));
    session.setReachable(true);
    QCOMPARE(session.lines567(), (QStringList{"1", "55", "9"}));
}

void TestCountdown::unreachableOnTheEndingTick()
{
    TestPrefix prefix;
    Session session(prefix);
    session.open(1);
    QVERIFY(session.ticks(60));
    session.setReachable(false);
    QVERIFY(!session.ticks(1));
    QCOMPARE(session.state.minutes, QStringLiteral("--"));
    QCOMPARE(session.state.seconds, QStringLiteral("--"));
    QVERIFY(!session.state.timerEnabled);
    session.setReachable(true);
    QCOMPARE(session.lines567(), (QStringList{"1", "0", "0"}));
}

void TestCountdown::minuteDueCarriesIntoAReopenedSession()
{
    TestPrefix prefix;
    Session session(prefix);
    session.open(10);
    QVERIFY(session.ticks(59));
    session.setReachable(false);
    QVERIFY(!session.ticks(1)); // the tick that brought the seconds to 0 failed
    QVERIFY(session.state.minuteDue);
    session.setReachable(true);
    session.open(15);
    QCOMPARE(session.state.minutes, QStringLiteral("14"));
    QCOMPARE(session.state.seconds, QStringLiteral("60"));
    QVERIFY(session.ticks(1));
    QCOMPARE(session.state.minutes, QStringLiteral("13"));
    QCOMPARE(session.state.seconds, QStringLiteral("59"));
}

void TestCountdown::reopeningACountingRow()
{
    TestPrefix prefix;
    Session session(prefix);
    session.open(10);
    QVERIFY(session.ticks(30));
    session.open(20);
    QCOMPARE(session.state.minutes, QStringLiteral("19"));
    QCOMPARE(session.state.seconds, QStringLiteral("60"));
    QVERIFY(session.ticks(1));
    QCOMPARE(session.lines567(), (QStringList{"1", "59", "19"}));
}

void TestCountdown::shortCommandFileHaltsAndStaysUntouched()
{
    // Six lines: the flag has its line, the counters have none.
    TestPrefix prefix;
    Session session(prefix, "0\r\n0\r\n0\r\n0\r\n0\r\n0");
    session.open(1);
    const QByteArray flagged = "0\r\n0\r\n0\r\n0\r\n0\r\n1";
    QCOMPARE(prefix.commandFile(Station), flagged);
    QVERIFY(!session.ticks(1));
    QVERIFY(!session.state.timerEnabled);
    QCOMPARE(session.state.minutes, QStringLiteral("0"));
    QCOMPARE(session.state.seconds, QStringLiteral("59"));
    QCOMPARE(prefix.commandFile(Station), flagged);

    // Five lines with LF breaks: neither the flag nor the stop has its line; not even the breaks
    // are rewritten.
    prefix.addStation(Station, "0\n0\n0\n0\n0");
    QVERIFY_THROWS_EXCEPTION(AppError, session.open(1));
    QVERIFY_THROWS_EXCEPTION(AppError, Countdown::stop(session.state, session.scratch, Station));
    QCOMPARE(prefix.commandFile(Station), QByteArray("0\n0\n0\n0\n0"));
}

void TestCountdown::stopping_data()
{
    QTest::addColumn<int>("ticks"); // -1: never opened
    QTest::addColumn<QStringList>("file");
    // 10 minutes opened; after 157 ticks the row shows 7 minutes and 23 seconds.
    QTest::newRow("counting at 7:23") << 157 << QStringList{"0", "23", "7"};
    QTest::newRow("never opened") << -1 << QStringList{"0", "0", "0"};
    QTest::newRow("already ended") << 601 << QStringList{"0", "--", "--"};
}

void TestCountdown::stopping()
{
    QFETCH(int, ticks);
    QFETCH(QStringList, file);
    TestPrefix prefix;
    Session session(prefix);
    if (ticks >= 0) {
        session.open(10);
        QVERIFY(session.ticks(ticks));
    }
    if (ticks == 157) {
        QCOMPARE(session.state.minutes, QStringLiteral("7"));
        QCOMPARE(session.state.seconds, QStringLiteral("23"));
    }
    Countdown::stop(session.state, session.scratch, Station);
    QVERIFY(!session.state.timerEnabled);
    QCOMPARE(session.state.minutes, QStringLiteral("--"));
    QCOMPARE(session.state.seconds, QStringLiteral("--"));
    QCOMPARE(session.lines567(), file);
}

void TestCountdown::stopWhileUnreachableKeepsTheFirstSteps()
{
    TestPrefix prefix;
    Session session(prefix);
    session.open(10);
    QVERIFY(session.ticks(60));
    QVERIFY(session.state.minuteDue);
    session.setReachable(false);
    QVERIFY_THROWS_EXCEPTION(AppError, Countdown::stop(session.state, session.scratch, Station));
    QVERIFY(!session.state.timerEnabled);
    QVERIFY(!session.state.minuteDue);
    QCOMPARE(session.state.seconds, QStringLiteral("--"));
    session.setReachable(true);
    QCOMPARE(session.lines567(), (QStringList{"1", "0", "9"}));
}

void TestCountdown::stopResetsMinuteDue()
{
    TestPrefix prefix;
    Session session(prefix);
    session.open(10);
    QVERIFY(session.ticks(60));
    Countdown::stop(session.state, session.scratch, Station);
    session.open(15);
    QVERIFY(session.ticks(1));
    QCOMPARE(session.state.minutes, QStringLiteral("14"));
    QCOMPARE(session.state.seconds, QStringLiteral("59"));
}

QTEST_APPLESS_MAIN(TestCountdown)
#include "tst_countdown.moc"
