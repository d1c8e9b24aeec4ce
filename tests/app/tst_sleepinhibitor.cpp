#include "app/SleepInhibitor.h"

#include <QElapsedTimer>
#include <QRegularExpression>
#include <QtTest>

// A machine without a login manager (no system bus here) keeps counting: the console goes on
// without the inhibitor, says so once in the log, and never waits long for an answer.
class TestSleepInhibitor : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase() { qputenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/quorvel-test-bus"); }
    void withoutALoginManagerItGoesOnAndSaysSoOnce();
};

void TestSleepInhibitor::withoutALoginManagerItGoesOnAndSaysSoOnce()
{
    SleepInhibitor inhibitor;
    QTest::ignoreMessage(QtWarningMsg,
                         QRegularExpression("^" + QRegularExpression::escape(SleepInhibitor::unavailableMessage())));
    QElapsedTimer clock;
    clock.start();
    inhibitor.setHeld(true);
    QVERIFY(!inhibitor.held());
    inhibitor.setHeld(false);
    // Sessions that count again, in this or another row's tools, are not told again.
    QTest::failOnWarning(QRegularExpression("."));
    SleepInhibitor other;
    inhibitor.setHeld(true);
    other.setHeld(true);
    QVERIFY(!other.held());
    QVERIFY2(clock.elapsed() < 3000, qPrintable(QString::number(clock.elapsed())));
}

QTEST_APPLESS_MAIN(TestSleepInhibitor)
#include "tst_sleepinhibitor.moc"
