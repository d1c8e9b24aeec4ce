#include "cards/CardNumber.h"
#include "cards/CardTable.h"
#include "install/InstallPaths.h"
#include "install/Tables.h"
#include "platform/AppError.h"
#include "platform/Regional.h"
#include "platform/store/Sqlite.h"
#include "platform/store/TableStore.h"
#include "support/TestPrefix.h"

#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>
#include <csignal>
#include <sqlite3.h>

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
    void theEndOfTheSerialsIsSaidInArabic();
    void aLinkedTableIsNotOpened();
    void cardFailingHalfwayLeavesNothing();
    void killedMidCardLeavesNoBlankCard();
    void unusableTableIsRefusedByName_data();
    void unusableTableIsRefusedByName();

private:
    static TableStore* openedTable(TableStore& table, bool temp);
    static int rowCount(TableStore& table);
    static void verifyEveryCardWhole(TableStore& table);

    std::unique_ptr<TestPrefix> m_prefix;
};

void TestCardTable::init()
{
    m_prefix = std::make_unique<TestPrefix>();
    m_prefix->makeInstallTree();
    Tables::create(Tables::mainCards());
    Tables::create(Tables::tempCards());
    Regional::setOverride(Regional::Formats{QStringLiteral("dd/MM/yyyy"), QStringLiteral("hh:mm:ss"), QLatin1Char('.')});
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
    QVERIFY_THROWS_EXCEPTION(AppError,
                             Cards::writeCard(table, random, {Cards::Categories[1], Cards::kinds()[1], QStringLiteral("0.5a")}));

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

void TestCardTable::theEndOfTheSerialsIsSaidInArabic()
{
    TableStore table;
    openedTable(table, false);
    Cards::CardRandom random;
    const Cards::CardOrder order{Cards::Categories[0], Cards::kinds()[0], QStringLiteral("0.5")};
    table.CloseTable();
    {
        sqlite3* db = nullptr;
        QCOMPARE(sqlite3_open(QFile::encodeName(m_prefix->local(InstallPaths::CardDir + "\\Card.db")).constData(), &db),
                 SQLITE_OK);
        sqlite3_exec(db, "INSERT INTO sqlite_sequence (name, seq) VALUES ('Card', 2147483646)", nullptr, nullptr, nullptr);
        sqlite3_close(db);
    }
    openedTable(table, false);
    QVERIFY(Cards::writeCard(table, random, order).startsWith(QStringLiteral("2147483647")));
    try {
        Cards::writeCard(table, random, order);
        QFAIL("a card past the serial's end");
    } catch (const AppError& e) {
        QVERIFY2(e.text().contains(QStringLiteral("تسلسل البطاقات")), qPrintable(e.text()));
    }
    QCOMPARE(rowCount(table), 1);
}

void TestCardTable::aLinkedTableIsNotOpened()
{
    // A card table that is a link is refused: it could lead anywhere on the machine.
    const QString file = m_prefix->local(InstallPaths::CardDir + "\\Card.db");
    QTemporaryDir outside;
    QVERIFY(QFile::rename(file, outside.filePath("Card.db")));
    QVERIFY(QFile::link(outside.filePath("Card.db"), file));
    TableStore table;
    QVERIFY_THROWS_EXCEPTION(AppError, openedTable(table, false));
    QVERIFY(!table.isOpen());
}

void TestCardTable::verifyEveryCardWhole(TableStore& table)
{
    for (table.MoveFirst(); !table.AtEnd(); table.MoveNext()) {
        const QString serial = table.GetFieldText(QStringLiteral("Auto"));
        QVERIFY2(table.GetFieldText(QStringLiteral("Num")).startsWith(serial), qPrintable(serial));
        QVERIFY2(!table.GetFieldText(QStringLiteral("Time1")).isEmpty(), qPrintable(serial));
        QVERIFY2(!table.GetFieldText(QStringLiteral("Used")).isEmpty(), qPrintable(serial));
        QVERIFY2(!table.GetFieldText(QStringLiteral("Kind")).isEmpty(), qPrintable(serial));
    }
}

void TestCardTable::cardFailingHalfwayLeavesNothing()
{
    TableStore table;
    openedTable(table, false);
    Cards::CardRandom random;
    const Cards::CardOrder order{Cards::Categories[0], Cards::kinds()[0], QStringLiteral("0.5")};
    Cards::writeCard(table, random, order);
    Cards::writeCard(table, random, order);

    // The serial is assigned and the number made when the failure strikes.
    QVERIFY_THROWS_EXCEPTION(
        AppError, Cards::writeCard(table, random, order, [](const QString&) { throw AppError(QStringLiteral("disk full")); }));
    QCOMPARE(table.pending(), TableStore::Pending::None);
    QCOMPARE(table.GetFieldText(QStringLiteral("Auto")), QStringLiteral("2"));

    // Another program sees two whole cards, and so does this table after moving.
    {
        TableStore other;
        Cards::useMainTable(other);
        QCOMPARE(rowCount(other), 2);
    }
    QCOMPARE(rowCount(table), 2);
    verifyEveryCardWhole(table);
    // The table goes on as if the failed card had never been begun.
    table.MoveLast();
    QVERIFY(Cards::writeCard(table, random, order).startsWith(QLatin1Char('3')));
    QCOMPARE(rowCount(table), 3);
}

// Runs in a child process: writes cards into the main table and dies on the next card, just
// before its number is stored.
static int writeCardsThenDie(int cards)
{
    Regional::setOverride(Regional::Formats{QStringLiteral("dd/MM/yyyy"), QStringLiteral("hh:mm:ss"), QLatin1Char('.')});
    TableStore table;
    table.setAfterPost([&table] { table.FlushTable(); });
    Cards::useMainTable(table);
    table.MoveLast();
    Cards::CardRandom random;
    const Cards::CardOrder order{Cards::Categories[1], Cards::kinds()[1], QStringLiteral("0.5")};
    for (int i = 0; i < cards; ++i)
        Cards::writeCard(table, random, order);
    Cards::writeCard(table, random, order, [](const QString&) { ::raise(SIGKILL); });
    return 0;
}

void TestCardTable::killedMidCardLeavesNoBlankCard()
{
    QProcess child;
    child.setProgram(QCoreApplication::applicationFilePath());
    child.setArguments({QStringLiteral("--write-cards-then-die"), QStringLiteral("5")});
    child.setProcessChannelMode(QProcess::ForwardedChannels);
    child.start();
    QVERIFY(child.waitForFinished(60000));
    QCOMPARE(child.exitStatus(), QProcess::CrashExit);

    TableStore table;
    Cards::useMainTable(table);
    QCOMPARE(rowCount(table), 5);
    verifyEveryCardWhole(table);
}

void TestCardTable::unusableTableIsRefusedByName_data()
{
    QTest::addColumn<QString>("fields");
    QTest::addColumn<QString>("error");
    const QString rest = QStringLiteral("\"Used\" VARCHAR(15), \"ReminTime\" SMALLINT, \"UseFirstTime\" VARCHAR(20), "
                                        "\"Kind\" VARCHAR(10)");
    QTest::newRow("no card number") << "\"Auto\" INTEGER PRIMARY KEY AUTOINCREMENT, \"Time1\" SMALLINT, \"Cost\" FLOAT, "
            + rest << "Table \"C:\\Program Files\\Kelvarin\\QuorvelServer\\Data\\Card\\Card.db\" has no field \"Num\"";
    QTest::newRow("price as text")
        << "\"Auto\" INTEGER PRIMARY KEY AUTOINCREMENT, \"Num\" VARCHAR(20), \"Time1\" SMALLINT, \"Cost\" VARCHAR(10), " + rest
        << "Field \"Cost\" of table \"C:\\Program Files\\Kelvarin\\QuorvelServer\\Data\\Card\\Card.db\" is a string of 10 bytes; "
           "this program needs a float";
    QTest::newRow("card number too short")
        << "\"Auto\" INTEGER PRIMARY KEY AUTOINCREMENT, \"Num\" VARCHAR(8), \"Time1\" SMALLINT, \"Cost\" FLOAT, " + rest
        << "Field \"Num\" of table \"C:\\Program Files\\Kelvarin\\QuorvelServer\\Data\\Card\\Card.db\" is a string of 8 bytes; "
           "this program needs a string of 20 bytes or more";
    QTest::newRow("minutes as float")
        << "\"Auto\" INTEGER PRIMARY KEY AUTOINCREMENT, \"Num\" VARCHAR(20), \"Time1\" FLOAT, \"Cost\" FLOAT, " + rest
        << "Field \"Time1\" of table \"C:\\Program Files\\Kelvarin\\QuorvelServer\\Data\\Card\\Card.db\" is a float; "
           "this program needs a small integer or an integer";
    QTest::newRow("serial kept by hand")
        << "\"Auto\" SMALLINT, \"Num\" VARCHAR(20), \"Time1\" SMALLINT, \"Cost\" FLOAT, " + rest
        << "Field \"Auto\" of table \"C:\\Program Files\\Kelvarin\\QuorvelServer\\Data\\Card\\Card.db\" is a small integer; "
           "this program needs an auto-increment serial";
}

void TestCardTable::unusableTableIsRefusedByName()
{
    QFETCH(QString, fields);
    QFETCH(QString, error);
    const QString path = m_prefix->local(InstallPaths::CardDir + QStringLiteral("\\Card.db"));
    QVERIFY(QFile::remove(path));
    {
        Sqlite::Connection db = Sqlite::open(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
        Sqlite::exec(db.get(), QStringLiteral("CREATE TABLE \"Card\" (%1)").arg(fields));
    }
    const QByteArray before = m_prefix->readFile(InstallPaths::CardDir + QStringLiteral("\\Card.db"));

    TableStore table;
    table.setAfterPost([&table] { table.FlushTable(); });
    try {
        Cards::useMainTable(table);
        QFAIL("the table was opened");
    } catch (const AppError& e) {
        QCOMPARE(e.text(), error);
    }
    QVERIFY(!table.isOpen());
    // The generator's next step fails on the closed table, and the file is as it was.
    Cards::CardRandom random;
    QVERIFY_THROWS_EXCEPTION(AppError, Cards::writeCard(table, random, {Cards::Categories[0], Cards::kinds()[0], "0.5"}));
    QCOMPARE(m_prefix->readFile(InstallPaths::CardDir + QStringLiteral("\\Card.db")), before);
}

int main(int argc, char** argv)
{
    if (argc == 3 && qstrcmp(argv[1], "--write-cards-then-die") == 0)
        return writeCardsThenDie(QByteArray(argv[2]).toInt());
    QCoreApplication app(argc, argv);
    TestCardTable test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}
#include "tst_cardtable.moc"
