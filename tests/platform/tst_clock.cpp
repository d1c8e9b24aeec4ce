#include "platform/Clock.h"

#include <QtTest>

#include <time.h>

namespace {
qint64 readMs(clockid_t clock)
{
    timespec t{};
    clock_gettime(clock, &t);
    return qint64(t.tv_sec) * 1000 + t.tv_nsec / 1'000'000;
}
} // namespace

// Session time is measured on the clock that goes on through a suspend: a counter PC that sleeps
// for 45 minutes must not give its customers 45 minutes.
class TestClock : public QObject
{
    Q_OBJECT
private slots:
    void sessionTimeIsTheBootTimeClock();
    void aHeldClockMovesOnlyWhenTold();
    void theBootIsNamed();
};

void TestClock::sessionTimeIsTheBootTimeClock()
{
    for (int i = 0; i < 100; ++i) {
        const qint64 before = readMs(CLOCK_BOOTTIME);
        const qint64 read = Clock::monotonicMs();
        const qint64 after = readMs(CLOCK_BOOTTIME);
        QVERIFY2(before <= read && read <= after, qPrintable(QStringLiteral("%1 %2 %3").arg(before).arg(read).arg(after)));
    }
    // On a machine that has slept the monotonic clock lags behind by the time asleep; the two are
    // told apart when they differ at all.
    const qint64 asleep = readMs(CLOCK_BOOTTIME) - readMs(CLOCK_MONOTONIC);
    if (asleep > 50)
        QVERIFY(Clock::monotonicMs() - readMs(CLOCK_MONOTONIC) >= asleep - 50);
}

void TestClock::aHeldClockMovesOnlyWhenTold()
{
    Clock::holdMonotonicForTests(true);
    const qint64 held = Clock::monotonicMs();
    QTest::qSleep(30);
    QCOMPARE(Clock::monotonicMs(), held);
    Clock::advanceMonotonicForTests(1000);
    QCOMPARE(Clock::monotonicMs(), held + 1000);
    // Let go, it runs on from where it stood, never back.
    Clock::holdMonotonicForTests(false);
    const qint64 released = Clock::monotonicMs();
    QVERIFY(released >= held + 1000 && released < held + 1100);
    QTest::qSleep(30);
    QVERIFY(Clock::monotonicMs() >= released + 25);
}

void TestClock::theBootIsNamed()
{
    QFile file("/proc/sys/kernel/random/boot_id");
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(Clock::bootId(), file.readAll().trimmed());
    QVERIFY(!Clock::bootId().isEmpty());
}

QTEST_APPLESS_MAIN(TestClock)
#include "tst_clock.moc"
