#include "platform/RegionalReader.h"

#include <QtTest>

class TestRegionalReader : public QObject
{
    Q_OBJECT
private slots:
    void readsDates_data();
    void readsDates();
    void readsTimes_data();
    void readsTimes();
    void readsBackWhatTheFormatWrote_data();
    void readsBackWhatTheFormatWrote();
};

void TestRegionalReader::readsDates_data()
{
    QTest::addColumn<QString>("format");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QDate>("today");
    QTest::addColumn<QDate>("date"); // invalid: not read

    const QDate today(2026, 12, 11);
    QTest::newRow("day first") << "dd/MM/yyyy"
                               << "05/01/2026" << today << QDate(2026, 1, 5);
    QTest::newRow("month first, no zeros") << "M/d/yyyy"
                                           << "1/5/2026" << today << QDate(2026, 1, 5);
    QTest::newRow("blanks around") << "yyyy-MM-dd"
                                   << " 2026-01-05 " << today << QDate(2026, 1, 5);
    QTest::newRow("two-digit year, this century") << "dd/MM/yy"
                                                  << "05/01/30" << today << QDate(2030, 1, 5);
    QTest::newRow("two-digit year, last century") << "dd/MM/yy"
                                                  << "05/01/99" << today << QDate(1999, 1, 5);
    QTest::newRow("two-digit year, fifty years on") << "dd/MM/yy"
                                                    << "05/01/76" << today << QDate(2076, 1, 5);
    QTest::newRow("two-digit year, past fifty years on") << "dd/MM/yy"
                                                         << "05/01/77" << today << QDate(1977, 1, 5);
    QTest::newRow("two-digit year near a century's end") << "dd/MM/yy"
                                                         << "05/01/01" << QDate(2098, 6, 1) << QDate(2101, 1, 5);
    QTest::newRow("29 February of 2000 in two digits") << "dd/MM/yy"
                                                       << "29/02/00" << today << QDate(2000, 2, 29);
    QTest::newRow("29 February of a common year") << "dd/MM/yyyy"
                                                  << "29/02/2025" << today << QDate();
    QTest::newRow("month 13") << "dd/MM/yyyy"
                              << "05/13/2026" << today << QDate();
    QTest::newRow("another format's text") << "dd/MM/yyyy"
                                           << "2026-01-05" << today << QDate();
    QTest::newRow("text after the date") << "dd/MM/yyyy"
                                         << "05/01/2026x" << today << QDate();
    QTest::newRow("short year where four are asked") << "dd/MM/yyyy"
                                                     << "05/01/26" << today << QDate();
    QTest::newRow("empty") << "dd/MM/yyyy"
                           << "" << today << QDate();
    QTest::newRow("month name") << "dd-MMM-yyyy"
                                << "05-Jan-2026" << today << QDate(2026, 1, 5);
    QTest::newRow("day name and quoted text") << "dddd 'the' d MMMM yyyy"
                                              << "Monday the 5 January 2026" << today << QDate(2026, 1, 5);
    QTest::newRow("Arabic-Indic digits") << "dd/MM/yyyy" << QString::fromUtf8("٠٥/٠١/٢٠٢٦") << today << QDate();
}

void TestRegionalReader::readsDates()
{
    QFETCH(QString, format);
    QFETCH(QString, text);
    QFETCH(QDate, today);
    QFETCH(QDate, date);
    const std::optional<QDate> read = Regional::FormatReader(format).date(text, today);
    QCOMPARE(read.value_or(QDate()), date);
}

void TestRegionalReader::readsTimes_data()
{
    QTest::addColumn<QString>("format");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("seconds"); // -1: not read

    QTest::newRow("midnight") << "hh:mm:ss"
                              << "00:00:00" << 0;
    QTest::newRow("last second") << "hh:mm:ss"
                                 << "23:59:59" << 86399;
    QTest::newRow("no leading zero") << "h:mm:ss"
                                     << "9:05:07" << 9 * 3600 + 5 * 60 + 7;
    QTest::newRow("12 AM is midnight") << "h:mm:ss AP"
                                       << "12:00:00 AM" << 0;
    QTest::newRow("12 PM is noon") << "h:mm:ss AP"
                                   << "12:00:00 PM" << 12 * 3600;
    QTest::newRow("11:59:59 PM") << "h:mm:ss AP"
                                 << "11:59:59 PM" << 86399;
    QTest::newRow("lower-case period") << "h:mm:ss ap"
                                       << "1:00:00 pm" << 13 * 3600;
    QTest::newRow("Arabic evening") << "h:mm:ss AP" << QString::fromUtf8("1:00:00 م") << 13 * 3600;
    QTest::newRow("Arabic morning") << "h:mm:ss AP" << QString::fromUtf8("1:00:00 ص") << 3600;
    QTest::newRow("13 with a period") << "h:mm:ss AP"
                                      << "13:00:00 PM" << -1;
    QTest::newRow("hour 24") << "HH:mm:ss"
                             << "24:00:00" << -1;
    QTest::newRow("minute 60") << "HH:mm:ss"
                               << "10:60:00" << -1;
    QTest::newRow("period missing") << "h:mm:ss AP"
                                    << "1:00:00" << -1;
    QTest::newRow("another separator") << "hh:mm:ss"
                                       << "10.00.00" << -1;
}

void TestRegionalReader::readsTimes()
{
    QFETCH(QString, format);
    QFETCH(QString, text);
    QFETCH(int, seconds);
    QCOMPARE(Regional::FormatReader(format).secondsOfDay(text).value_or(-1), seconds);
}

void TestRegionalReader::readsBackWhatTheFormatWrote_data()
{
    QTest::addColumn<QString>("dateFormat");
    QTest::addColumn<QString>("timeFormat");
    QTest::newRow("day first") << "dd/MM/yyyy"
                               << "hh:mm:ss";
    QTest::newRow("month first, 12-hour clock") << "M/d/yy"
                                                << "h:mm:ss AP";
    QTest::newRow("year first") << "yyyy-MM-dd"
                                << "HH:mm:ss";
    QTest::newRow("dots, no zeros") << "d.M.yyyy"
                                    << "H:mm:ss";
    QTest::newRow("names") << "ddd d MMM yy"
                           << "hh:mm:ss a";
}

void TestRegionalReader::readsBackWhatTheFormatWrote()
{
    QFETCH(QString, dateFormat);
    QFETCH(QString, timeFormat);
    const QDate today(2026, 12, 11);
    const Regional::FormatReader dates(dateFormat), times(timeFormat);
    for (QDate d = today.addYears(-3); d <= today.addYears(3); d = d.addDays(13))
        QCOMPARE(dates.date(QLocale::c().toString(d, dateFormat), today).value_or(QDate()), d);
    for (int s = 0; s < 86400; s += 641)
        QCOMPARE(times.secondsOfDay(QLocale::c().toString(QTime(0, 0).addSecs(s), timeFormat)).value_or(-1), s);
}

QTEST_APPLESS_MAIN(TestRegionalReader)

#include "tst_regionalreader.moc"
