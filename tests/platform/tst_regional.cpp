#include "platform/AppError.h"
#include "platform/Clock.h"
#include "platform/Regional.h"

#include <QtTest>

class TestRegional : public QObject
{
    Q_OBJECT
private slots:
    void cleanup() { Regional::setOverride(std::nullopt); }
    void parsesDecimals_data();
    void parsesDecimals();
    void parsesWholeNumbers_data();
    void parsesWholeNumbers();
    void formatsDatesWithAsciiDigits();
    void formatsGeneralNumbers_data();
    void formatsGeneralNumbers();
    void clockCanBeFixed();
};

void TestRegional::parsesDecimals_data()
{
    QTest::addColumn<QString>("separator");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<double>("value");

    QTest::newRow("point") << "."
                           << "0.5" << true << 0.5;
    QTest::newRow("whole") << "."
                           << "10" << true << 10.0;
    QTest::newRow("negative") << "."
                              << "-0.5" << true << -0.5;
    QTest::newRow("leading separator") << "."
                                       << ".25" << true << 0.25;
    QTest::newRow("exponent") << "."
                              << "1e2" << true << 100.0;
    QTest::newRow("blanks around") << "."
                                   << " 2.5 " << true << 2.5;
    QTest::newRow("comma region") << ","
                                  << "0,75" << true << 0.75;
    QTest::newRow("point in a comma region") << ","
                                             << "0.75" << false << 0.0;
    QTest::newRow("empty") << "."
                           << "" << false << 0.0;
    QTest::newRow("letters") << "."
                             << "abc" << false << 0.0;
    QTest::newRow("two separators") << "."
                                    << "1.2.3" << false << 0.0;
    QTest::newRow("Arabic-Indic digits") << "."
                                         << "٥" << false << 0.0;
    QTest::newRow("overflow") << "."
                              << "1e999" << false << 0.0;
    // Too small for a double: refused, not read as zero.
    QTest::newRow("underflow") << "."
                               << "6665e-66666" << false << 0.0;
}

void TestRegional::parsesDecimals()
{
    QFETCH(QString, separator);
    QFETCH(QString, text);
    QFETCH(bool, valid);
    QFETCH(double, value);
    Regional::setOverride(Regional::Formats{"dd/MM/yyyy", "hh:mm:ss", separator.at(0)});
    if (valid) {
        QCOMPARE(Regional::parseDecimal(text), value);
    } else {
        try {
            Regional::parseDecimal(text);
            QFAIL("accepted");
        } catch (const AppError& e) {
            QCOMPARE(e.text(), QStringLiteral("'%1' is not a valid floating point value").arg(text));
        }
    }
}

void TestRegional::parsesWholeNumbers_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<int>("value");

    QTest::newRow("15") << "15" << true << 15;
    QTest::newRow("zero") << "0" << true << 0;
    QTest::newRow("negative") << "-5" << true << -5;
    QTest::newRow("plus") << "+7" << true << 7;
    QTest::newRow("blanks") << " 45 " << true << 45;
    QTest::newRow("40000") << "40000" << true << 40000;
    QTest::newRow("fraction") << "1.5" << false << 0;
    QTest::newRow("letters") << "abc" << false << 0;
    QTest::newRow("empty") << "" << false << 0;
    QTest::newRow("beyond 32 bits") << "3000000000" << false << 0;
}

void TestRegional::parsesWholeNumbers()
{
    QFETCH(QString, text);
    QFETCH(bool, valid);
    QFETCH(int, value);
    if (valid)
        QCOMPARE(Regional::parseWholeNumber(text), value);
    else
        QVERIFY_THROWS_EXCEPTION(AppError, Regional::parseWholeNumber(text));
}

void TestRegional::formatsDatesWithAsciiDigits()
{
    Regional::setOverride(Regional::Formats{"dd/MM/yyyy", "hh:mm:ss", '.'});
    QCOMPARE(Regional::shortDate(QDate(2026, 12, 9)), QStringLiteral("09/12/2026"));
    QCOMPARE(Regional::longTime(QTime(23, 59, 59)), QStringLiteral("23:59:59"));
    Regional::setOverride(Regional::Formats{"yyyy-MM-dd", "h:mm:ss AP", '.'});
    QCOMPARE(Regional::shortDate(QDate(2026, 1, 2)), QStringLiteral("2026-01-02"));
    QCOMPARE(Regional::longTime(QTime(13, 5, 0)), QStringLiteral("1:05:00 PM"));
}

void TestRegional::formatsGeneralNumbers_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("separator");
    QTest::addColumn<QString>("text");
    QTest::newRow("7.5") << 7.5 << "."
                         << "7.5";
    QTest::newRow("whole") << 30.0 << "."
                           << "30";
    QTest::newRow("15 digits") << 0.1 + 0.2 << "."
                               << "0.3";
    QTest::newRow("comma") << 22.5 << ","
                           << "22,5";
}

void TestRegional::formatsGeneralNumbers()
{
    QFETCH(double, value);
    QFETCH(QString, separator);
    QFETCH(QString, text);
    Regional::setOverride(Regional::Formats{"dd/MM/yyyy", "hh:mm:ss", separator.at(0)});
    QCOMPARE(Regional::formatGeneral(value), text);
}

void TestRegional::clockCanBeFixed()
{
    const QDateTime moment(QDate(2026, 12, 9), QTime(23, 59, 59));
    Clock::setFixed(moment);
    QCOMPARE(Clock::now(), moment);
    Clock::setFixed(QDateTime());
    QVERIFY(qAbs(Clock::now().secsTo(QDateTime::currentDateTime())) < 5);
}

QTEST_APPLESS_MAIN(TestRegional)
#include "tst_regional.moc"
