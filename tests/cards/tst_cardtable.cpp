#include "cards/CardNumber.h"
#include "cards/CardTable.h"
#include "platform/AppError.h"
#include "platform/InstallPaths.h"
#include "platform/Regional.h"
#include "platform/TableFiles.h"
#include "platform/TableStore.h"
#include "support/TestPrefix.h"

#include <QRegularExpression>
#include <QtTest>

namespace {

// Every card draws the same letters and number, as two cards now and then will.
struct SameDraw : Cards::CardRandom
{
    Cards::Draw draw() override { return {1, 2, 345, 3}; }
};

} // namespace

class TestCardTable : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void cardAsCreated_data();
    void cardAsCreated();
    void numbersUniqueWithinATableOnly();
    void tariffThatIsNotANumberLeavesNoRow();

private:
    static TableStore* openedTable(TableStore& table, bool temp);
    static int rowCount(TableStore& table);

    std::unique_ptr<TestPrefix> m_prefix;
};

void TestCardTable::init()
{
    m_prefix = std::make_unique<TestPrefix>();
    m_prefix->makeInstallTree();
    TableFiles::create(InstallPaths::CardDir, TableFiles::mainCards());
    TableFiles::create(InstallPaths::TempCardDir, TableFiles::tempCards());
    Regional::setOverride(Regional::Settings{QStringLiteral("dd/MM/yyyy"), QStringLiteral("hh:mm:ss"), QLatin1Char('.')});
}

void TestCardTable::cleanup()
{
    Regional::setOverride(std::nullopt);
    m_prefix.reset();
}

TableStore* TestCardTable::openedTable(TableStore& table, bool temp)
{
    table.setAfterPost([&table] { table.FlushTable(); });
    if (temp)
        Cards::useTempTable(table);
    else
        Cards::useMainTable(table);
    table.MoveLast();
    return &table;
}

int TestCardTable::rowCount(TableStore& table)
{
    int rows = 0;
    for (table.MoveFirst(); !table.AtEnd(); table.MoveNext())
        ++rows;
    return rows;
}

void TestCardTable::cardAsCreated_data()
{
    QTest::addColumn<int>("category");
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("tariff");
    QTest::addColumn<int>("minutes");
    QTest::addColumn<QString>("tail");
    QTest::addColumn<double>("cost");
    QTest::addColumn<QString>("kindWord");

    const QString games = QStringLiteral("ألعاب");
    const QString internet = QStringLiteral("أنترنيت");
    QTest::newRow("15 games") << 0 << 0 << "0.5" << 15 << "4G" << 7.5 << games;
    QTest::newRow("30 games") << 1 << 0 << "0.5" << 30 << "2G" << 15.0 << games;
    QTest::newRow("60 games") << 2 << 0 << "0.5" << 60 << "1G" << 30.0 << games;
    QTest::newRow("120 games, tariff 0") << 3 << 0 << "0" << 120 << "3G" << 0.0 << games;
    QTest::newRow("15 internet") << 0 << 1 << "0.25" << 15 << "4I" << 3.75 << internet;
    QTest::newRow("30 internet") << 1 << 1 << "0.25" << 30 << "2I" << 7.5 << internet;
    QTest::newRow("60 internet, tariff above 10") << 2 << 1 << "12.5" << 60 << "1I" << 750.0 << internet;
    QTest::newRow("120 internet") << 3 << 1 << "0.1" << 120 << "3I" << 12.0 << internet;
}

void TestCardTable::cardAsCreated()
{
    QFETCH(int, category);
    QFETCH(int, kind);
    QFETCH(QString, tariff);
    QFETCH(int, minutes);
    QFETCH(QString, tail);
    QFETCH(double, cost);
    QFETCH(QString, kindWord);

    {
        TableStore table;
        openedTable(table, true);
        Cards::CardRandom random;
        // A few cards first, so the serial has more than one digit.
        for (int i = 0; i < 11; ++i)
            Cards::writeCard(table, random, {Cards::Categories[0], Cards::kinds()[0], QStringLiteral("1")});
        QString shown;
        const QString number = Cards::writeCard(table, random, {Cards::Categories[category], Cards::kinds()[kind], tariff},
                                                [&shown](const QString& n) { shown = n; });
        QCOMPARE(shown, number);
    }

    // Read back from the file, as any later program would see it.
    TableStore table;
    Cards::useTempTable(table);
    QVERIFY(table.FindByKey(QStringLiteral("12")));
    const QString num = table.GetFieldText(QStringLiteral("Num"));
    const QRegularExpression shape(QStringLiteral("^12[A-Z]{2}(0|[1-9][0-9]{0,3})[A-Z]") + tail + QLatin1Char('$'));
    QVERIFY2(shape.match(num).hasMatch(), qPrintable(num));
    QCOMPARE(table.GetFieldText(QStringLiteral("Time1")), QString::number(minutes));
    QCOMPARE(table.GetFieldText(QStringLiteral("ReminTime")), QString::number(minutes));
    QCOMPARE(table.GetFieldText(QStringLiteral("Used")), QStringLiteral("غير مستخدم"));
    QCOMPARE(table.GetFieldText(QStringLiteral("UseFirstTime")), QString());
    QCOMPARE(table.GetFieldText(QStringLiteral("Kind")), kindWord);
    QCOMPARE(table.GetFieldFloat(QStringLiteral("Cost")), cost);
}

void TestCardTable::numbersUniqueWithinATableOnly()
{
    SameDraw random;
    const Cards::CardOrder order{Cards::Categories[2], Cards::kinds()[0], QStringLiteral("0.5")};
    TableStore temp, main;
    openedTable(temp, true);
    openedTable(main, false);
    QStringList tempNumbers, mainNumbers;
    for (int i = 0; i < 3; ++i) {
        tempNumbers << Cards::writeCard(temp, random, order);
        mainNumbers << Cards::writeCard(main, random, order);
    }
    QCOMPARE(tempNumbers, (QStringList{"1WE345R1G", "2WE345R1G", "3WE345R1G"}));
    QCOMPARE(mainNumbers, tempNumbers);
}

void TestCardTable::tariffThatIsNotANumberLeavesNoRow()
{
    TableStore table;
    openedTable(table, false);
    Cards::CardRandom random;
    Cards::writeCard(table, random, {Cards::Categories[0], Cards::kinds()[0], QStringLiteral("0.5")});
    Cards::writeCard(table, random, {Cards::Categories[0], Cards::kinds()[0], QStringLiteral("0.5")});
    QVERIFY_THROWS_EXCEPTION(AppError, Cards::writeCard(table, random, {Cards::Categories[1], Cards::kinds()[1], QStringLiteral("0.5a")}));

    // Nothing half-made is stored later either: every row is a complete card.
    QCOMPARE(rowCount(table), 2);
    for (table.MoveFirst(); !table.AtEnd(); table.MoveNext()) {
        QCOMPARE(table.GetFieldText(QStringLiteral("Time1")), QStringLiteral("15"));
        QVERIFY(!table.GetFieldText(QStringLiteral("Num")).isEmpty());
    }
    // The next card takes the next serial.
    const QString next = Cards::writeCard(table, random, {Cards::Categories[0], Cards::kinds()[0], QStringLiteral("0.5")});
    QVERIFY2(next.startsWith(QLatin1Char('3')), qPrintable(next));
}

QTEST_GUILESS_MAIN(TestCardTable)
#include "tst_cardtable.moc"
