#include "platform/AppError.h"
#include "platform/Clock.h"
#include "platform/files/LineBuffer.h"
#include "sessions/Countdown.h"
#include "stations/CommandChannel.h"
#include "support/HeldFile.h"
#include "support/TestPrefix.h"

#include <QDir>
#include <QtTest>
#include <optional>

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

    // Runs ticks a second apart while the timer runs; returns false when one failed (the lamp
    // would turn red).
    bool ticks(int count)
    {
        bool written = true;
        for (int i = 0; i < count && state.timerEnabled; ++i) {
            Clock::advanceMonotonicForTests(1000);
            written = Countdown::tick(state, scratch, Station) != Countdown::Outcome::Failed && written;
        }
        return written;
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
    // The clock moves only as each test says.
    void initTestCase() { Clock::holdMonotonicForTests(true); }
    void followsTheTenMinuteTimeline_data();
    void followsTheTenMinuteTimeline();
    void oneMinuteEndsOnTick61();
    void zeroMinutesCountsOnUntilStopped();
    void failedWritesKeepCountingAndCatchUp_data();
    void failedWritesKeepCountingAndCatchUp();
    void backoffDoublesUpToAMinute();
    void anEndIsTriedAtOnceAndThenEveryFewSeconds();
    void blockedSecondsAreDeducted_data();
    void blockedSecondsAreDeducted();
    void minuteDueDoesNotCarryIntoAReopenedSession();
    void reopeningACountingRow();
    void shortCommandFileCountsOnAndStaysUntouched();
    void resumingShowsTheTimeLeft_data();
    void resumingShowsTheTimeLeft();
    void stopping_data();
    void stopping();
    void stopWhileUnreachableOwesTheZero();
    void stopResetsMinuteDue();
};

void TestCountdown::followsTheTenMinuteTimeline_data()
{
    QTest::addColumn<int>("tick");
    QTest::addColumn<QString>("minutes");
    QTest::addColumn<QString>("seconds");
    QTest::addColumn<bool>("minuteDue");
    QTest::addColumn<QStringList>("file");

    QTest::newRow("after opening") << 0 << "9"
                                   << "60" << false << QStringList{"1", "0", "0"};
    QTest::newRow("tick 1") << 1 << "9"
                            << "59" << false << QStringList{"1", "59", "9"};
    QTest::newRow("tick 2") << 2 << "9"
                            << "58" << false << QStringList{"1", "58", "9"};
    QTest::newRow("tick 59") << 59 << "9"
                             << "1" << false << QStringList{"1", "1", "9"};
    QTest::newRow("tick 60") << 60 << "9"
                             << "0" << true << QStringList{"1", "0", "9"};
    QTest::newRow("tick 61") << 61 << "8"
                             << "59" << false << QStringList{"1", "59", "8"};
    QTest::newRow("tick 120") << 120 << "8"
                              << "0" << true << QStringList{"1", "0", "8"};
    QTest::newRow("tick 121") << 121 << "7"
                              << "59" << false << QStringList{"1", "59", "7"};
    QTest::newRow("tick 541") << 541 << "0"
                              << "59" << false << QStringList{"1", "59", "0"};
    QTest::newRow("tick 600") << 600 << "0"
                              << "0" << true << QStringList{"1", "0", "0"};
    QTest::newRow("tick 601") << 601 << "--"
                              << "--" << false << QStringList{"0", "--", "--"};
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

void TestCountdown::failedWritesKeepCountingAndCatchUp_data()
{
    QTest::addColumn<bool>("held"); // the client holds the file; otherwise the station is away
    QTest::addColumn<QString>("phase");
    for (const bool held : {false, true}) {
        for (const char* phase : {"mid-session", "ending tick", "stop"})
            QTest::newRow(qPrintable(QStringLiteral("%1, %2").arg(held ? "held" : "away", phase))) << held << QString(phase);
    }
}

void TestCountdown::failedWritesKeepCountingAndCatchUp()
{
    QFETCH(bool, held);
    QFETCH(QString, phase);
    TestPrefix prefix;
    Session session(prefix);
    session.open(1);
    QVERIFY(session.ticks(phase == "ending tick" ? 60 : 5));
    const QStringList before = session.lines567();
    std::optional<HeldFile> hold;
    if (held)
        hold.emplace(prefix.local(CommandChannel::commandFilePath(Station)), true);
    else
        session.setReachable(false);

    if (phase == "stop")
        QCOMPARE(Countdown::stop(session.state, session.scratch, Station), Countdown::Outcome::Failed);
    else
        QVERIFY(!session.ticks(1));
    // The count goes on, or the end is owed: either way the timer runs and the lamp is red.
    QVERIFY(session.state.timerEnabled);
    QCOMPARE(session.state.counting, phase == "mid-session");
    QCOMPARE(session.state.owesZero(), phase != "mid-session");
    // Within the backoff the station is not tried again.
    QCOMPARE(Countdown::tick(session.state, session.scratch, Station), Countdown::Outcome::Waiting);

    hold.reset();
    if (!held)
        session.setReachable(true);
    QCOMPARE(session.lines567(), before);
    // The next try, ten seconds on, brings the file up to date.
    Clock::advanceMonotonicForTests(10'000);
    QCOMPARE(Countdown::tick(session.state, session.scratch, Station), Countdown::Outcome::Written);
    if (phase == "mid-session") {
        QVERIFY(session.state.timerEnabled);
        // Sixteen seconds after the opening: six ticks, then the ten of the backoff.
        QCOMPARE(session.state.seconds, QStringLiteral("44"));
        QCOMPARE(session.lines567(), (QStringList{"1", session.state.seconds, session.state.minutes}));
    } else {
        QVERIFY(!session.state.timerEnabled);
        QCOMPARE(session.lines567(),
                 (phase == "stop" ? QStringList{"0", before.at(1), before.at(2)} : QStringList{"0", "--", "--"}));
    }
}

void TestCountdown::backoffDoublesUpToAMinute()
{
    TestPrefix prefix;
    Session session(prefix);
    session.open(10);
    session.setReachable(false);
    QList<int> waits;
    for (int i = 0; i < 6; ++i) {
        QCOMPARE(Countdown::tick(session.state, session.scratch, Station), Countdown::Outcome::Failed);
        waits << session.state.retryDelaySeconds;
        Clock::advanceMonotonicForTests(qint64(session.state.retryDelaySeconds) * 1000);
    }
    QCOMPARE(waits, (QList<int>{10, 20, 40, 60, 60, 60}));
    // A refresh that finds the station tries at once, whatever the wait.
    session.setReachable(true);
    QCOMPARE(Countdown::deliver(session.state, session.scratch, Station), Countdown::Outcome::Written);
    QCOMPARE(session.state.retryDelaySeconds, 0);
    QCOMPARE(session.lines567(), (QStringList{"1", session.state.seconds, session.state.minutes}));
}

void TestCountdown::anEndIsTriedAtOnceAndThenEveryFewSeconds()
{
    TestPrefix prefix;
    Session session(prefix);
    session.open(2);
    session.setReachable(false);
    // Four failed writes of the counters: the next try would be a minute away.
    for (int wait : {10, 20, 40, 60}) {
        QCOMPARE(Countdown::tick(session.state, session.scratch, Station), Countdown::Outcome::Failed);
        QCOMPARE(session.state.retryDelaySeconds, wait);
        Clock::advanceMonotonicForTests(qint64(wait) * 1000);
        if (wait == 40)
            break;
    }
    QCOMPARE(Countdown::tick(session.state, session.scratch, Station), Countdown::Outcome::Failed);
    QCOMPARE(session.state.retryDelaySeconds, 60);
    // The station is back, and the session ends (its 121st second) well before that minute is
    // out: its "0" goes at once.
    session.setReachable(true);
    Clock::advanceMonotonicForTests(51'000);
    QCOMPARE(Countdown::tick(session.state, session.scratch, Station), Countdown::Outcome::Written);
    QCOMPARE(session.lines567(), (QStringList{"0", "--", "--"}));
    QVERIFY(!session.state.timerEnabled);

    // A closing "0" the station does not take is tried again every five seconds, however often.
    session.open(10);
    session.setReachable(false);
    QCOMPARE(Countdown::stop(session.state, session.scratch, Station), Countdown::Outcome::Failed);
    for (int i = 0; i < 3; ++i) {
        QCOMPARE(session.state.retryDelaySeconds, 5);
        Clock::advanceMonotonicForTests(4'999);
        QCOMPARE(Countdown::tick(session.state, session.scratch, Station), Countdown::Outcome::Waiting);
        Clock::advanceMonotonicForTests(1);
        QCOMPARE(Countdown::tick(session.state, session.scratch, Station), Countdown::Outcome::Failed);
    }
    session.setReachable(true);
    Clock::advanceMonotonicForTests(5'000);
    QCOMPARE(Countdown::tick(session.state, session.scratch, Station), Countdown::Outcome::Written);
    QCOMPARE(session.lines567().at(0), QStringLiteral("0"));
    QVERIFY(!session.state.timerEnabled);
}

void TestCountdown::blockedSecondsAreDeducted_data()
{
    QTest::addColumn<int>("firstMs");  // the first tick of a 10-minute session, after the opening
    QTest::addColumn<int>("secondMs"); // the second
    QTest::addColumn<QString>("firstSeconds");
    QTest::addColumn<QStringList>("file");
    QTest::newRow("on time") << 1'000 << 2'000 << "59" << QStringList{"1", "58", "9"};
    // A tick that comes before its second has passed takes nothing; the next one takes what is due.
    QTest::newRow("early, then on time") << 999 << 2'000 << "60" << QStringList{"1", "58", "9"};
    QTest::newRow("late, then early") << 1'500 << 2'999 << "59" << QStringList{"1", "58", "9"};
    QTest::newRow("twice in one second") << 1'000 << 1'999 << "59" << QStringList{"1", "59", "9"};
    // Ticks merged while the window waited come as one: it deducts all the seconds that passed.
    QTest::newRow("5 s") << 1'000 << 5'000 << "59" << QStringList{"1", "55", "9"};
    QTest::newRow("a minute") << 1'000 << 60'000 << "59" << QStringList{"1", "0", "9"};
    QTest::newRow("61 s") << 1'000 << 61'000 << "59" << QStringList{"1", "59", "8"};
    QTest::newRow("to the last second") << 1'000 << 600'000 << "59" << QStringList{"1", "0", "0"};
    QTest::newRow("past the end") << 1'000 << 601'000 << "59" << QStringList{"0", "--", "--"};
    QTest::newRow("an hour") << 1'000 << 3'600'000 << "59" << QStringList{"0", "--", "--"};
}

void TestCountdown::blockedSecondsAreDeducted()
{
    QFETCH(int, firstMs);
    QFETCH(int, secondMs);
    QFETCH(QString, firstSeconds);
    QFETCH(QStringList, file);
    TestPrefix prefix;
    Session session(prefix);
    session.open(10);
    Clock::advanceMonotonicForTests(firstMs);
    QCOMPARE(Countdown::tick(session.state, session.scratch, Station), Countdown::Outcome::Written);
    QCOMPARE(session.state.seconds, firstSeconds);
    Clock::advanceMonotonicForTests(secondMs - firstMs);
    QCOMPARE(Countdown::tick(session.state, session.scratch, Station), Countdown::Outcome::Written);
    QCOMPARE(session.lines567(), file);
    QCOMPARE(session.state.timerEnabled, file.at(0) == "1");
}

void TestCountdown::minuteDueDoesNotCarryIntoAReopenedSession()
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
    QCOMPARE(session.state.minutes, QStringLiteral("14"));
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

void TestCountdown::shortCommandFileCountsOnAndStaysUntouched()
{
    // Six lines: the flag has its line, the counters have none.
    TestPrefix prefix;
    Session session(prefix, "0\r\n0\r\n0\r\n0\r\n0\r\n0");
    session.open(1);
    const QByteArray flagged = "0\r\n0\r\n0\r\n0\r\n0\r\n1";
    QCOMPARE(prefix.commandFile(Station), flagged);
    QVERIFY(!session.ticks(1));
    QVERIFY(session.state.timerEnabled);
    QCOMPARE(session.state.minutes, QStringLiteral("0"));
    QCOMPARE(session.state.seconds, QStringLiteral("59"));
    QCOMPARE(prefix.commandFile(Station), flagged);

    // Five lines with LF breaks: neither the flag nor the stop has its line; not even the breaks
    // are rewritten.
    prefix.addStation(Station, "0\n0\n0\n0\n0");
    QVERIFY_THROWS_EXCEPTION(AppError, session.open(1));
    QCOMPARE(Countdown::stop(session.state, session.scratch, Station), Countdown::Outcome::Failed);
    QCOMPARE(prefix.commandFile(Station), QByteArray("0\n0\n0\n0\n0"));
}

void TestCountdown::resumingShowsTheTimeLeft_data()
{
    QTest::addColumn<int>("secondsLeft");
    QTest::addColumn<QStringList>("afterOneTick"); // the file's lines 5 to 7
    QTest::newRow("14:30") << 14 * 60 + 30 << QStringList{"0", "29", "14"};
    QTest::newRow("a whole minute") << 120 << QStringList{"0", "59", "1"};
    QTest::newRow("one second") << 1 << QStringList{"0", "0", "0"};
}

void TestCountdown::resumingShowsTheTimeLeft()
{
    QFETCH(int, secondsLeft);
    QFETCH(QStringList, afterOneTick);
    TestPrefix prefix;
    Session session(prefix);
    Countdown::resume(session.state, secondsLeft, 15, QDateTime::currentDateTimeUtc().addSecs(secondsLeft));
    QCOMPARE(Countdown::remainingSeconds(session.state.minutes, session.state.seconds), qint64(secondsLeft));
    QVERIFY(session.state.timerEnabled);
    QVERIFY(session.ticks(1));
    // The flag is not raised again: the station kept it.
    QCOMPARE(session.lines567(), afterOneTick);
    // As a session opened for that time would, it ends one tick after showing 0 and 0.
    QVERIFY(session.ticks(secondsLeft - 1));
    QVERIFY(session.state.timerEnabled);
    QVERIFY(session.ticks(1));
    QVERIFY(!session.state.timerEnabled);
    QCOMPARE(session.lines567(), (QStringList{"0", "--", "--"}));
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

void TestCountdown::stopWhileUnreachableOwesTheZero()
{
    TestPrefix prefix;
    Session session(prefix);
    session.open(10);
    QVERIFY(session.ticks(60));
    QVERIFY(session.state.minuteDue);
    session.setReachable(false);
    QCOMPARE(Countdown::stop(session.state, session.scratch, Station), Countdown::Outcome::Failed);
    QVERIFY(!session.state.counting);
    QVERIFY(session.state.owesZero());
    QVERIFY(!session.state.minuteDue);
    QCOMPARE(session.state.seconds, QStringLiteral("--"));
    session.setReachable(true);
    QCOMPARE(session.lines567(), (QStringList{"1", "0", "9"}));
    // A new opening clears the "0" still owed: the new session's flag stands.
    session.open(5);
    QVERIFY(!session.state.owesZero());
    QVERIFY(session.ticks(1));
    QCOMPARE(session.lines567(), (QStringList{"1", "59", "4"}));
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
