#include "sessions/SessionJournal.h"

#include <QtTest>

// The journal is read back after a crash or a power cut, possibly cut short or edited: whatever
// is not a whole record is passed over, every whole record is kept.
class TestJournal : public QObject
{
    Q_OBJECT
private slots:
    void recordsRoundTrip();
    void damagedLinesArePassedOver_data();
    void damagedLinesArePassedOver();
};

void TestJournal::recordsRoundTrip()
{
    const QList<JournalRecord> records{
        {"PC01", QDateTime(QDate(2026, 12, 9), QTime(23, 59, 59), Qt::UTC), 15, false},
        {"محطة", QDateTime(QDate(2027, 1, 1), QTime(0, 0, 1), Qt::UTC), 32767, true},
    };
    QCOMPARE(SessionJournal::parse(SessionJournal::format(records)), records);
    QVERIFY(SessionJournal::parse(SessionJournal::format({})).isEmpty());
    // A paid end given in local time is kept as the same moment.
    const QDateTime local(QDate(2026, 12, 9), QTime(10, 0), Qt::OffsetFromUTC, 3 * 3600);
    const QList<JournalRecord> back = SessionJournal::parse(SessionJournal::format({{"PC02", local, 10, false}}));
    QCOMPARE(back.size(), 1);
    QCOMPARE(back.at(0).paidEndUtc, local);
    QCOMPARE(back.at(0).paidEndUtc.timeSpec(), Qt::UTC);
}

void TestJournal::damagedLinesArePassedOver_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::newRow("cut short") << QByteArray("PC02\t2026-12-09T10:");
    QTest::newRow("no station") << QByteArray("\t2026-12-09T10:00:00Z\t15\t0");
    QTest::newRow("a date that is none") << QByteArray("PC02\t2026-13-45T10:00:00Z\t15\t0");
    QTest::newRow("minutes not a number") << QByteArray("PC02\t2026-12-09T10:00:00Z\tx\t0");
    QTest::newRow("owed neither 0 nor 1") << QByteArray("PC02\t2026-12-09T10:00:00Z\t15\t2");
    QTest::newRow("a field too many") << QByteArray("PC02\t2026-12-09T10:00:00Z\t15\t0\t1");
    QTest::newRow("NUL bytes") << QByteArray("PC02\0\t2026", 11);
}

void TestJournal::damagedLinesArePassedOver()
{
    QFETCH(QByteArray, line);
    const QByteArray whole = "PC01\t2026-12-09T10:00:00Z\t15\t1";
    const QList<JournalRecord> read = SessionJournal::parse(whole + "\r\n" + line + "\n" + whole + "\r");
    QCOMPARE(read.size(), 2);
    QCOMPARE(read.at(0).station, QStringLiteral("PC01"));
    QVERIFY(read.at(0).owesZero);
    QCOMPARE(read.at(0).minutes, 15);
}

QTEST_APPLESS_MAIN(TestJournal)
#include "tst_journal.moc"
