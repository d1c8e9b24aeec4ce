#include "cards/CardBatch.h"
#include "cards/CardNumber.h"
#include "install/SettingFiles.h"
#include "platform/AppError.h"
#include "platform/Regional.h"

#include <QSet>
#include <QtTest>

class TestCardNumber : public QObject
{
    Q_OBJECT
private slots:
    void cleanup();

    void composition_data();
    void composition();
    void everyLetterInEveryPositionAndTheWholeNumberRange();
    void sameClockWordStillGivesDifferentCards();
    void gamesTariffRange_data();
    void gamesTariffRange();
    void countRange_data();
    void countRange();
    void notANumberIsAnError_data();
    void notANumberIsAnError();
};

void TestCardNumber::cleanup()
{
    Regional::setOverride(std::nullopt);
}

void TestCardNumber::composition_data()
{
    QTest::addColumn<qint64>("serial");
    QTest::addColumn<int>("letter1");
    QTest::addColumn<int>("letter2");
    QTest::addColumn<int>("number");
    QTest::addColumn<int>("letter3");
    QTest::addColumn<int>("category");
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("expected");

    // Letter indexes follow the keyboard row Q W E R T Y U I O P A S D F G H J K L Z X C V B N M.
    QTest::newRow("first and last letters, number 0") << qint64(37) << 0 << 25 << 0 << 12 << 2 << 0 << "37QM0D1G";
    QTest::newRow("no leading zeros in the number") << qint64(5) << 10 << 19 << 7 << 9 << 3 << 1 << "5AZ7P3I";
    QTest::newRow("four-digit number") << qint64(1) << 1 << 2 << 9999 << 3 << 0 << 0 << "1WE9999R4G";
    QTest::newRow("largest serial fits in Num")
        << qint64(2147483647) << 25 << 25 << 9999 << 25 << 1 << 1 << "2147483647MM9999M2I";
}

void TestCardNumber::composition()
{
    QFETCH(qint64, serial);
    QFETCH(int, letter1);
    QFETCH(int, letter2);
    QFETCH(int, number);
    QFETCH(int, letter3);
    QFETCH(int, category);
    QFETCH(int, kind);
    QFETCH(QString, expected);

    const QString num = Cards::numberHead(serial, {letter1, letter2, number, letter3})
        + Cards::numberTail(Cards::Categories[category], Cards::kinds()[kind]);
    QCOMPARE(num, expected);
    QVERIFY(num.size() <= 20);
}

void TestCardNumber::everyLetterInEveryPositionAndTheWholeNumberRange()
{
    Cards::CardRandom random;
    QSet<int> letters[3];
    QSet<int> numbers;
    // 250000 draws leave a given number out with a chance of about e^-25.
    for (int i = 0; i < 250000; ++i) {
        random.reseed();
        const Cards::Draw d = random.draw();
        letters[0].insert(d.letter1);
        letters[1].insert(d.letter2);
        letters[2].insert(d.letter3);
        numbers.insert(d.number);
    }
    for (const QSet<int>& position : letters) {
        QCOMPARE(position.size(), Cards::LetterCount);
        QCOMPARE(*std::min_element(position.begin(), position.end()), 0);
        QCOMPARE(*std::max_element(position.begin(), position.end()), Cards::LetterCount - 1);
    }
    QCOMPARE(numbers.size(), Cards::NumberLimit);
    QCOMPARE(*std::min_element(numbers.begin(), numbers.end()), 0);
    QCOMPARE(*std::max_element(numbers.begin(), numbers.end()), Cards::NumberLimit - 1);
}

void TestCardNumber::sameClockWordStillGivesDifferentCards()
{
    // Two card creators reseeding at the same clock reading must not print the same cards:
    // whoever knows when a card was made must not be able to work its number out.
    Cards::CardRandom a, b;
    QList<int> drawsA, drawsB;
    for (int i = 0; i < 16; ++i) {
        a.reseed(12345u);
        b.reseed(12345u);
        const Cards::Draw da = a.draw();
        const Cards::Draw db = b.draw();
        drawsA << da.letter1 << da.letter2 << da.number << da.letter3;
        drawsB << db.letter1 << db.letter2 << db.number << db.letter3;
    }
    QVERIFY(drawsA != drawsB);
}

void TestCardNumber::gamesTariffRange_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QChar>("separator");
    QTest::addColumn<bool>("accepted");

    QTest::newRow("0") << "0" << QChar('.') << true;
    QTest::newRow("10") << "10" << QChar('.') << true;
    QTest::newRow("10.01") << "10.01" << QChar('.') << false;
    QTest::newRow("negative") << "-0.5" << QChar('.') << false;
    QTest::newRow("regional comma") << "9,5" << QChar(',') << true;
    QTest::newRow("exponent above 10") << "1e2" << QChar('.') << false;
}

void TestCardNumber::gamesTariffRange()
{
    QFETCH(QString, text);
    QFETCH(QChar, separator);
    QFETCH(bool, accepted);
    Regional::setOverride(Regional::Formats{QStringLiteral("dd/MM/yyyy"), QStringLiteral("hh:mm:ss"), separator});
    QCOMPARE(SettingFiles::gamesTariffAccepted(text), accepted);
}

void TestCardNumber::countRange_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("count");

    QTest::newRow("0 refused") << "0" << 0;
    QTest::newRow("1") << "1" << 1;
    QTest::newRow("1000") << "1000" << 1000;
    QTest::newRow("1001 refused") << "1001" << 0;
    QTest::newRow("negative refused") << "-3" << 0;
}

void TestCardNumber::countRange()
{
    QFETCH(QString, text);
    QFETCH(int, count);
    QCOMPARE(Cards::acceptedCount(text), count);
}

void TestCardNumber::notANumberIsAnError_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("isCount");

    QTest::newRow("empty count") << "" << true;
    QTest::newRow("count beyond 32 bits") << "99999999999" << true;
    QTest::newRow("count with a letter") << "1a" << true;
    QTest::newRow("empty tariff") << "" << false;
    QTest::newRow("tariff with letters") << "0.5x" << false;
    QTest::newRow("tariff nan") << "nan" << false;
}

void TestCardNumber::notANumberIsAnError()
{
    QFETCH(QString, text);
    QFETCH(bool, isCount);
    if (isCount)
        QVERIFY_THROWS_EXCEPTION(AppError, Cards::acceptedCount(text));
    else
        QVERIFY_THROWS_EXCEPTION(AppError, SettingFiles::gamesTariffAccepted(text));
}

QTEST_APPLESS_MAIN(TestCardNumber)
#include "tst_cardnumber.moc"
