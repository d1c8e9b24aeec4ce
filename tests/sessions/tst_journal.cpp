#include "platform/Clock.h"
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
    void oneRecordPerStationWhateverTheLineBreaks_data();
    void oneRecordPerStationWhateverTheLineBreaks();
    void timeLeftNeverExceedsWhatWasBought_data();
    void timeLeftNeverExceedsWhatWasBought();
};

void TestJournal::recordsRoundTrip()
{
    const QList<JournalRecord> records{
        {"PC01", QDateTime(QDate(2026, 12, 9), QTime(23, 59, 59), Qt::UTC), 15, false},
        {"محطة", QDateTime(QDate(2027, 1, 1), QTime(0, 0, 1), Qt::UTC), 32767, true},
        {"PC03", QDateTime(QDate(2027, 1, 1), QTime(0, 0, 1), Qt::UTC), 15, false, "0d1e2f3a-4b5c-6d7e-8f90-a1b2c3d4e5f6",
         -123456789012},
        // Opened, its counters not yet written to the station.
        {"PC04", QDateTime(QDate(2027, 1, 1), QTime(0, 0, 1), Qt::UTC), 15, false, "0d1e2f3a", 5000, false},
        {"PC05", QDateTime(QDate(2027, 1, 1), QTime(0, 0, 1), Qt::UTC), 15, false, {}, 0, false},
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
    QTest::newRow("a boot without its clock") << QByteArray("PC02\t2026-12-09T10:00:00Z\t15\t0\tboot");
    QTest::newRow("counters written neither 0 nor 1") << QByteArray("PC02\t2026-12-09T10:00:00Z\t15\t0\tboot\t5\tyes");
}

void TestJournal::damagedLinesArePassedOver()
{
    QFETCH(QByteArray, line);
    const QByteArray whole = "PC01\t2026-12-09T10:00:00Z\t15\t1";
    const QList<JournalRecord> read = SessionJournal::parse(whole + "\r\n" + line + "\n" + "PC03" + whole.mid(4) + "\r");
    QCOMPARE(read.size(), 2);
    QCOMPARE(read.at(0).station, QStringLiteral("PC01"));
    QVERIFY(read.at(0).owesZero);
    QCOMPARE(read.at(0).minutes, 15);
    // An older console's record: its counters were written, as that console always did at once.
    QVERIFY(read.at(0).countersWritten);
}

void TestJournal::oneRecordPerStationWhateverTheLineBreaks_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QStringList>("kept"); // station, paid end's hour, owed "0" ("1"), one per record

    const QByteArray pc01 = "PC01\t2026-12-09T10:00:00Z\t15\t0";
    const QByteArray pc02 = "PC02\t2026-12-09T11:00:00Z\t15\t0";
    for (const char* brk : {"\r\n", "\n", "\r"})
        QTest::addRow("line break %s", QByteArray(brk).toPercentEncoding().constData())
            << pc01 + brk + pc02 + brk << QStringList{"PC01 10 0", "PC02 11 0"};
    QTest::newRow("mixed breaks, blank lines") << "\r\r\n" + pc01 + "\n\n\r" + pc02 << QStringList{"PC01 10 0", "PC02 11 0"};
    // Two records of one station never bring a stopped session back: the earlier paid end is kept.
    QTest::newRow("the later one first, another case")
        << "pc01\t2026-12-09T12:00:00Z\t15\t0\n" + pc02 + "\n" + pc01 << QStringList{"PC01 10 0", "PC02 11 0"};
    QTest::newRow("the earlier one first") << pc01 + "\r" + "Pc01\t2026-12-09T12:00:00Z\t15\t0" << QStringList{"PC01 10 0"};
    QTest::newRow("same end, the owed 0 kept")
        << pc01 + "\n" + "PC01\t2026-12-09T10:00:00Z\t15\t1\n" + pc01 << QStringList{"PC01 10 1"};
}

void TestJournal::oneRecordPerStationWhateverTheLineBreaks()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QStringList, kept);
    QStringList read;
    for (const JournalRecord& r : SessionJournal::parse(bytes))
        read.append(QStringLiteral("%1 %2 %3").arg(r.station).arg(r.paidEndUtc.time().hour()).arg(int(r.owesZero)));
    QCOMPARE(read, kept);
}

void TestJournal::timeLeftNeverExceedsWhatWasBought_data()
{
    QTest::addColumn<QString>("boot");     // "this", "other" or "none" (an older console's record)
    QTest::addColumn<qint64>("openedAgo"); // seconds, on the boot-time clock
    QTest::addColumn<qint64>("paidEndIn"); // seconds from now on the wall clock
    QTest::addColumn<int>("minutes");
    QTest::addColumn<qint64>("left");
    const qint64 decade = 10LL * 365 * 86400;
    QTest::newRow("this boot, wall clock agrees") << "this" << 60LL << 540LL << 10 << 540LL;
    QTest::newRow("this boot, wall clock set back") << "this" << 60LL << decade << 10 << 540LL;
    QTest::newRow("this boot, wall clock set ahead") << "this" << 60LL << -decade << 10 << 540LL;
    QTest::newRow("this boot, time up") << "this" << 601LL << 0LL << 10 << 0LL;
    QTest::newRow("another boot, clock set back") << "other" << 60LL << decade << 10 << 600LL;
    QTest::newRow("another boot, wall clock") << "other" << 60LL << 300LL << 10 << 300LL;
    QTest::newRow("another boot, time up") << "other" << 0LL << -5LL << 10 << 0LL;
    QTest::newRow("older record, clock set back") << "none" << 0LL << decade << 15 << 900LL;
    // A paid end 72 years ahead, as a clock set far back makes it: the minutes bought cap it.
    QTest::newRow("another boot, paid end 72 years ahead") << "other" << 0LL << 72 * 365 * 86400LL << 32767 << 32767 * 60LL;
    QTest::newRow("older record") << "none" << 0LL << 299LL << 15 << 299LL;
    QTest::newRow("no minutes bought") << "none" << 0LL << 300LL << -3 << 0LL;
}

void TestJournal::timeLeftNeverExceedsWhatWasBought()
{
    QFETCH(QString, boot);
    QFETCH(qint64, openedAgo);
    QFETCH(qint64, paidEndIn);
    QFETCH(int, minutes);
    QFETCH(qint64, left);
    Clock::holdMonotonicForTests(true);
    const QDateTime now(QDate(2026, 12, 9), QTime(10, 0), Qt::UTC);
    Clock::setFixed(now);
    JournalRecord record{"PC01", now.addSecs(paidEndIn), minutes, false};
    if (boot != "none") {
        record.bootId = boot == "this" ? Clock::bootId() : QByteArray("another-boot");
        record.openedAtMs = Clock::monotonicMs() - openedAgo * 1000;
    }
    QCOMPARE(SessionJournal::secondsLeft(SessionJournal::parse(SessionJournal::format({record})).value(0)), left);
    // A part of a second is not given.
    if (boot == "this" && left > 0) {
        Clock::advanceMonotonicForTests(1);
        QCOMPARE(SessionJournal::secondsLeft(record), left - 1);
    }
    Clock::setFixed({});
    Clock::holdMonotonicForTests(false);
}

QTEST_APPLESS_MAIN(TestJournal)
#include "tst_journal.moc"
