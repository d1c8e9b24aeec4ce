#include "install/InstallPaths.h"
#include "install/Tables.h"
#include "platform/AppError.h"
#include "platform/Regional.h"
#include "platform/store/Sqlite.h"
#include "platform/store/TableStore.h"
#include "support/TestPrefix.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSignalSpy>
#include <QtTest>
#include <csignal>
#include <memory>
#include <unistd.h>

namespace {

const QString Days = QStringLiteral("SumDays.DB");
const QString Entries = QStringLiteral("DetailDays.DB");
const QString Cards = QStringLiteral("Card.db");

// The operations that leave a pending row, so must store it first (on the days table).
void perform(TableStore& table, const QString& operation)
{
    if (operation == QLatin1String("MoveFirst"))
        table.MoveFirst();
    else if (operation == QLatin1String("MoveNext"))
        table.MoveNext();
    else if (operation == QLatin1String("MoveLast"))
        table.MoveLast();
    else if (operation == QLatin1String("FindByKey"))
        table.FindByKey(QStringLiteral("01/01/2024"));
    else if (operation == QLatin1String("InsertRow"))
        table.InsertRow();
    else if (operation == QLatin1String("EditRow"))
        table.EditRow();
    else if (operation == QLatin1String("PostRow"))
        table.PostRow();
    else if (operation == QLatin1String("moveTo"))
        table.moveTo(0);
    else
        qFatal("unknown operation %s", qPrintable(operation));
}

// The central control window's tables: the entries follow the days, and every store is logged.
struct Ledger
{
    TableStore days, entries;
    QStringList stores;

    Ledger()
    {
        days.setAfterPost([this] { stores.append(QStringLiteral("day ") + days.GetFieldText(QStringLiteral("DateDay"))); });
        entries.setAfterPost([this] { stores.append(QStringLiteral("entry ") + entries.GetFieldText(QStringLiteral("Auto"))); });
        entries.LinkToMaster(QStringLiteral("DateDayIndex"), &days, QStringLiteral("DateDay"));
    }
    void open()
    {
        days.OpenTable(InstallPaths::LedgerDir, Days);
        entries.OpenTable(InstallPaths::LedgerDir, Entries);
    }
    void close()
    {
        days.CloseTable();
        entries.CloseTable();
    }
};

QString errorText(const std::function<void()>& body)
{
    try {
        body();
    } catch (const AppError& error) {
        return error.text();
    }
    return QStringLiteral("<no error>");
}

QByteArray fileBytes(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

} // namespace

class TestTableStore : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();

    void walksInKeyOrder_data();
    void walksInKeyOrder();
    void emptyTableIsAtEnd();
    void findByKey_data();
    void findByKey();
    void pendingRowIsStoredFirst_data();
    void pendingRowIsStoredFirst();
    void closingDropsPendingRow();
    void afterPostRunsOncePerStoredRow();
    void keyViolationKeepsPendingRow();
    void setFieldConverts_data();
    void setFieldConverts();
    void cardIsWrittenInTwoStores();
    void transactionIsOneUnit();
    void walkSeesOtherWritesAhead();
    void walkReadsFieldsAsStored();
    void openTwiceAndCloseTwiceDoNothing();
    void closedTableRefusesOperations_data();
    void closedTableRefusesOperations();
    void readOnlyTableRefusesChanges();

    void detailShowsMasterRowsAndFollows();
    void detailInsertFillsFromPendingMaster();
    void masterStoresDetailFirst_data();
    void masterStoresDetailFirst();
    void sessionBillingStoresEntryThenDay();
    void recomputeLoopSumsEachDay();
    void sumOfTheDetailFromOneSnapshot();
    void detailRestsWhileMasterClosed();
    void failedDetailStoreStopsMaster();

    void openRefusesForeignFiles_data();
    void openRefusesForeignFiles();
    void lockedTableFailsWithinBound();
    void olderTableSwitchedToWal();
    void killedWriterLosesNoPostedRow();

private:
    QString local(const QString& fileName) const;
    void addDays(const QStringList& days);
    void addEntries(const QList<QPair<QString, double>>& entries);
    QStringList walk(TableStore& table, const QString& field);

    std::unique_ptr<TestPrefix> m_prefix;
};

void TestTableStore::initTestCase()
{
    Regional::setOverride(Regional::Formats{QStringLiteral("dd/MM/yyyy"), QStringLiteral("hh:mm:ss"), QLatin1Char('.')});
}

void TestTableStore::init()
{
    m_prefix = std::make_unique<TestPrefix>();
    m_prefix->makeInstallTree();
    Tables::create(Tables::ledgerDays());
    Tables::create(Tables::ledgerEntries());
    Tables::create(Tables::mainCards());
}

void TestTableStore::cleanup()
{
    m_prefix.reset();
}

QString TestTableStore::local(const QString& fileName) const
{
    const QString dir = fileName == Cards ? InstallPaths::CardDir : InstallPaths::LedgerDir;
    return m_prefix->local(dir + QLatin1Char('\\') + fileName);
}

void TestTableStore::addDays(const QStringList& days)
{
    TableStore table;
    table.OpenTable(InstallPaths::LedgerDir, Days);
    for (const QString& day : days) {
        table.InsertRow();
        table.SetFieldText(QStringLiteral("DateDay"), day);
    }
    table.PostRow();
}

void TestTableStore::addEntries(const QList<QPair<QString, double>>& entries)
{
    TableStore table;
    table.OpenTable(InstallPaths::LedgerDir, Entries);
    for (const auto& [day, cost] : entries) {
        table.InsertRow();
        table.SetFieldText(QStringLiteral("DateDay2"), day);
        table.SetFieldFloat(QStringLiteral("Cost"), cost);
    }
    table.PostRow();
}

QStringList TestTableStore::walk(TableStore& table, const QString& field)
{
    QStringList seen;
    for (table.MoveFirst(); !table.AtEnd(); table.MoveNext())
        seen.append(table.GetFieldText(field));
    return seen;
}

// ---- Cursor -------------------------------------------------------------------------------------

void TestTableStore::walksInKeyOrder_data()
{
    QTest::addColumn<QString>("table");
    QTest::addColumn<QString>("index");
    QTest::addColumn<QStringList>("keys");
    QTest::addColumn<QStringList>("order");

    QTest::newRow("date texts order as text, not as dates")
        << Days << QString() << QStringList{"10/01/2024", "09/12/2024", "01/02/2025", "1/1/2025"}
        << QStringList{"01/02/2025", "09/12/2024", "1/1/2025", "10/01/2024"};
    QTest::newRow("Arabic after Latin, by code point")
        << Days << QString() << QStringList{"ب", "Z", "أ", "a"} << QStringList{"Z", "a", "أ", "ب"};
    // Entries of one day keep the order they were stored in; an empty day comes first.
    QTest::newRow("secondary index with ties and empty fields")
        << Entries << "DateDayIndex" << QStringList{"b", "", "a", "b", "", "a"} << QStringList{"2", "5", "3", "6", "1", "4"};
    // A unique index lets empty fields tie, and only them.
    QTest::newRow("unique index with empty fields")
        << Entries << "DayOnce" << QStringList{"b", "", "a", "", "c", ""} << QStringList{"2", "4", "6", "3", "1", "5"};
}

void TestTableStore::walksInKeyOrder()
{
    QFETCH(QString, table);
    QFETCH(QString, index);
    QFETCH(QStringList, keys);
    QFETCH(QStringList, order);

    const QString keyField = table == Days ? QStringLiteral("DateDay") : QStringLiteral("DateDay2");
    const QString shownField = table == Days ? QStringLiteral("DateDay") : QStringLiteral("Auto");
    if (index == QLatin1String("DayOnce")) {
        Sqlite::Connection db = Sqlite::open(local(table), SQLITE_OPEN_READWRITE);
        Sqlite::exec(db.get(), QStringLiteral("CREATE UNIQUE INDEX DayOnce ON DetailDays (DateDay2)"));
    }
    TableStore store;
    store.setIndexName(index);
    store.OpenTable(InstallPaths::LedgerDir, table);
    for (const QString& key : keys) {
        store.InsertRow();
        store.SetFieldText(keyField, key);
    }
    store.PostRow();
    store.CloseTable();
    store.OpenTable();

    QCOMPARE(store.GetFieldText(shownField), order.first());
    QCOMPARE(walk(store, shownField), order);
    // Past the end the last row stays current.
    QCOMPARE(store.GetFieldText(shownField), order.last());
    store.MoveNext();
    QVERIFY(store.AtEnd());

    QCOMPARE(store.rowCount(), order.size());
    QStringList viaRows;
    for (const TableStore::Row& row : store.rows(0, 100))
        viaRows.append(store.textOf(0, row.values.at(0))); // the shown field comes first in both tables
    QCOMPARE(viaRows, order);
    for (qsizetype i = order.size() - 1; i >= 0; --i) {
        store.moveTo(i);
        QCOMPARE(store.GetFieldText(shownField), order.at(i));
        QCOMPARE(store.currentPosition(), i);
    }
    // Seeking from each row: the rows after and before it, and one step on.
    auto texts = [&](const QList<TableStore::Row>& rows) {
        QStringList shown;
        for (const TableStore::Row& row : rows)
            shown.append(store.textOf(0, row.values.at(0)));
        return shown;
    };
    for (qsizetype i = 0; i < order.size(); ++i) {
        const TableStore::Row row = store.rows(i, 1).constFirst();
        QCOMPARE(texts(store.rowsAfter(row, 100)), order.mid(i + 1));
        QStringList before = order.mid(0, i);
        std::reverse(before.begin(), before.end());
        QCOMPARE(texts(store.rowsBefore(row, 100)), before);
        store.moveTo(i);
        store.MoveNext();
        QCOMPARE(store.AtEnd(), i + 1 == order.size());
        QCOMPARE(store.GetFieldText(shownField), order.at(std::min(i + 1, order.size() - 1)));
    }
    store.MoveLast();
    QVERIFY(!store.AtEnd());
    QCOMPARE(store.GetFieldText(shownField), order.last());
}

void TestTableStore::emptyTableIsAtEnd()
{
    TableStore table;
    table.OpenTable(InstallPaths::CardDir, Cards);
    QVERIFY(table.AtEnd());
    table.MoveFirst();
    QVERIFY(table.AtEnd());
    table.MoveNext();
    QVERIFY(table.AtEnd());
    table.MoveLast();
    QVERIFY(table.AtEnd());
    QCOMPARE(table.GetFieldText(QStringLiteral("Num")), QString());
    QCOMPARE(table.GetFieldFloat(QStringLiteral("Cost")), 0.0);
    QCOMPARE(table.rowCount(), 0);
    QCOMPARE(table.currentPosition(), -1);
    QVERIFY(errorText([&] { table.EditRow(); }).contains(QLatin1String("no current row")));
}

void TestTableStore::findByKey_data()
{
    QTest::addColumn<QString>("table");
    QTest::addColumn<QString>("key");
    QTest::addColumn<bool>("found");
    QTest::addColumn<QString>("current"); // key of the current row afterwards
    QTest::addColumn<QString>("error");

    QTest::newRow("text hit") << Days << "02/01/2024" << true << "02/01/2024" << QString();
    QTest::newRow("text miss stays") << Days << "05/01/2024" << false << "03/01/2024" << QString();
    QTest::newRow("text is not a prefix search") << Days << "02/01" << false << "03/01/2024" << QString();
    QTest::newRow("serial hit") << Cards << "2" << true << "2" << QString();
    QTest::newRow("serial with blanks") << Cards << " 1 " << true << "1" << QString();
    QTest::newRow("serial miss stays") << Cards << "9" << false << "3" << QString();
    QTest::newRow("empty serial misses") << Cards << "" << false << "3" << QString();
    QTest::newRow("letters are no serial") << Cards << "12a" << false << "3"
                                           << "'12a' is not a valid integer value";
    QTest::newRow("serial beyond 32 bits") << Cards << "4294967296" << false << "3"
                                           << "is not a valid integer value";
}

void TestTableStore::findByKey()
{
    QFETCH(QString, table);
    QFETCH(QString, key);
    QFETCH(bool, found);
    QFETCH(QString, current);
    QFETCH(QString, error);

    const bool cards = table == Cards;
    const QString keyField = cards ? QStringLiteral("Auto") : QStringLiteral("DateDay");
    TableStore store;
    store.OpenTable(cards ? InstallPaths::CardDir : InstallPaths::LedgerDir, table);
    for (const char* day : {"01/01/2024", "02/01/2024", "03/01/2024"}) {
        store.InsertRow();
        if (!cards)
            store.SetFieldText(keyField, day);
    }
    store.PostRow();
    store.MoveLast();

    bool result = false;
    const QString text = errorText([&] { result = store.FindByKey(key); });
    QVERIFY2(error.isEmpty() ? text == QLatin1String("<no error>") : text.contains(error), qPrintable(text));
    QCOMPARE(result, found);
    QCOMPARE(store.GetFieldText(keyField), current);
    QVERIFY(!store.AtEnd());
}

void TestTableStore::pendingRowIsStoredFirst_data()
{
    QTest::addColumn<QString>("operation");
    QTest::addColumn<bool>("editing"); // a changed row rather than a new one

    for (const char* op : {"MoveFirst", "MoveNext", "MoveLast", "FindByKey", "InsertRow", "EditRow", "PostRow", "moveTo"}) {
        QTest::newRow((QByteArray(op) + " new").constData()) << QString::fromLatin1(op) << false;
        QTest::newRow((QByteArray(op) + " changed").constData()) << QString::fromLatin1(op) << true;
    }
}

void TestTableStore::pendingRowIsStoredFirst()
{
    QFETCH(QString, operation);
    QFETCH(bool, editing);

    addDays({QStringLiteral("01/01/2024")});
    TableStore table;
    int posts = 0;
    table.setAfterPost([&] {
        ++posts;
        QVERIFY(table.FlushTable());
    });
    table.OpenTable(InstallPaths::LedgerDir, Days);
    if (editing)
        table.EditRow();
    else
        table.InsertRow();
    table.SetFieldText(QStringLiteral("DateDay"), QStringLiteral("02/01/2024"));
    perform(table, operation);
    QCOMPARE(posts, 1);

    TableStore check;
    check.OpenTable(InstallPaths::LedgerDir, Days);
    QCOMPARE(walk(check, QStringLiteral("DateDay")),
             editing ? QStringList{"02/01/2024"} : QStringList({"01/01/2024", "02/01/2024"}));
}

void TestTableStore::closingDropsPendingRow()
{
    addDays({QStringLiteral("01/01/2024")});
    TableStore table;
    int posts = 0;
    table.setAfterPost([&] { ++posts; });
    table.OpenTable(InstallPaths::LedgerDir, Days);
    table.EditRow();
    table.SetFieldFloat(QStringLiteral("SumDay"), 5);
    table.CloseTable();
    table.OpenTable();
    table.InsertRow();
    table.SetFieldText(QStringLiteral("DateDay"), QStringLiteral("02/01/2024"));
    table.CloseTable();

    QCOMPARE(posts, 0);
    table.OpenTable();
    QCOMPARE(walk(table, QStringLiteral("DateDay")), QStringList{"01/01/2024"});
    QCOMPARE(table.GetFieldText(QStringLiteral("SumDay")), QString());
    QCOMPARE(table.pending(), TableStore::Pending::None);
}

void TestTableStore::afterPostRunsOncePerStoredRow()
{
    TableStore table;
    QStringList log;
    table.setAfterPost([&] { log.append(table.GetFieldText(QStringLiteral("Auto"))); });
    QSignalSpy rowsChanged(&table, &TableStore::rowsChanged);
    table.OpenTable(InstallPaths::CardDir, Cards);
    table.InsertRow();
    table.PostRow();
    table.InsertRow();
    table.InsertRow(); // stores the second row, begins a third
    table.EditRow();   // stores the third, changes it
    table.PostRow();
    QVERIFY(errorText([&] { table.PostRow(); }).contains(QLatin1String("no row being inserted or changed")));
    QCOMPARE(log, (QStringList{"1", "2", "3", "3"}));
    QCOMPARE(rowsChanged.count(), 1 + 4); // the open and each store
}

void TestTableStore::keyViolationKeepsPendingRow()
{
    addDays({QStringLiteral("01/01/2024")});
    TableStore table;
    int posts = 0;
    table.setAfterPost([&] { ++posts; });
    table.OpenTable(InstallPaths::LedgerDir, Days);
    table.InsertRow();
    table.SetFieldText(QStringLiteral("DateDay"), QStringLiteral("01/01/2024"));
    QCOMPARE(errorText([&] { table.PostRow(); }),
             QStringLiteral("في الجدول \"%1\\%2\" سطر بهذا المفتاح من قبل، فلم يُحفظ السطر.").arg(InstallPaths::LedgerDir, Days));
    QCOMPARE(table.pending(), TableStore::Pending::New);
    table.SetFieldText(QStringLiteral("DateDay"), QString());
    QCOMPARE(errorText([&] { table.MoveFirst(); }),
             QStringLiteral("الحقل \"DateDay\" في الجدول \"%1\\%2\" يجب أن تكون له قيمة، فلم يُحفظ السطر.")
                 .arg(InstallPaths::LedgerDir, Days));
    table.SetFieldText(QStringLiteral("DateDay"), QStringLiteral("02/01/2024"));
    table.PostRow();
    QCOMPARE(posts, 1);
    QCOMPARE(table.rowCount(), 2);
}

void TestTableStore::setFieldConverts_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("setter");
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<QString>("stored"); // GetFieldText after storing, or the error's start

    QTest::newRow("small int low bound") << "TimeOperation"
                                         << "text" << QVariant("-32768") << "-32768";
    QTest::newRow("small int high bound") << "TimeOperation"
                                          << "text" << QVariant("32767") << "32767";
    QTest::newRow("small int above")
        << "TimeOperation"
        << "text" << QVariant("32768")
        << "error:32768 is not a valid value for field \"TimeOperation\". The allowed range is -32768 to 32767";
    QTest::newRow("small int below") << "TimeOperation"
                                     << "integer" << QVariant(-32769) << "error:-32769 is not a valid value";
    QTest::newRow("small int integer high") << "TimeOperation"
                                            << "integer" << QVariant(32767) << "32767";
    QTest::newRow("small int letters") << "TimeOperation"
                                       << "text" << QVariant("15 min") << "error:'15 min' is not a valid integer value";
    QTest::newRow("small int fraction") << "TimeOperation"
                                        << "text" << QVariant("1.5") << "error:'1.5' is not a valid integer value";
    QTest::newRow("small int from float") << "TimeOperation"
                                          << "float" << QVariant(15.0) << "15";
    QTest::newRow("small int from huge float") << "TimeOperation"
                                               << "float" << QVariant(1e30) << "error:";
    QTest::newRow("empty number") << "TimeOperation"
                                  << "text" << QVariant("") << "";
    QTest::newRow("float text") << "Cost"
                                << "text" << QVariant("7.5") << "7.5";
    QTest::newRow("float not a number") << "Cost"
                                        << "text" << QVariant("7,5") << "error:'7,5' is not a valid floating point value";
    QTest::newRow("float keeps full precision") << "Cost"
                                                << "float" << QVariant(15 * 0.1) << "1.5";
    QTest::newRow("float infinity") << "Cost"
                                    << "float" << QVariant(qInf()) << "error:";
    QTest::newRow("float from integer") << "Cost"
                                        << "integer" << QVariant(120) << "120";
    QTest::newRow("string at size") << "Computer"
                                    << "text" << QVariant(QString(35, u'x')) << QString(35, u'x');
    QTest::newRow("string cut to size") << "Computer"
                                        << "text" << QVariant(QString(36, u'x') + "yz") << QString(35, u'x');
    // One byte a letter in the Arabic code page, though two in UTF-8.
    QTest::newRow("Arabic counted in code-page bytes")
        << "KandOperation"
        << "text" << QVariant(QStringLiteral("أنترنيت أنترنيت أنترنيت")) << QStringLiteral("أنترنيت أنترنيت");
    QTest::newRow("outside the code page") << "Computer"
                                           << "text" << QVariant(QStringLiteral("PC\u4E2D1")) << "PC?1";
    QTest::newRow("string from integer") << "Computer"
                                         << "integer" << QVariant(42) << "42";
    QTest::newRow("serial is the table's") << "Auto"
                                           << "text" << QVariant("5") << "error:Field \"Auto\" is numbered by the table";
    QTest::newRow("unknown field") << "Minutes"
                                   << "text" << QVariant("5") << "error:Field \"Minutes\" not found";
}

void TestTableStore::setFieldConverts()
{
    QFETCH(QString, field);
    QFETCH(QString, setter);
    QFETCH(QVariant, value);
    QFETCH(QString, stored);

    TableStore table;
    table.OpenTable(InstallPaths::LedgerDir, Entries);
    table.InsertRow();
    const QString error = errorText([&] {
        if (setter == QLatin1String("text"))
            table.SetFieldText(field, value.toString());
        else if (setter == QLatin1String("integer"))
            table.SetFieldInteger(field, value.toLongLong());
        else
            table.SetFieldFloat(field, value.toDouble());
    });
    if (stored.startsWith(QLatin1String("error:"))) {
        QVERIFY2(error.startsWith(stored.mid(6)), qPrintable(error));
        return;
    }
    QCOMPARE(error, QStringLiteral("<no error>"));
    table.PostRow();
    table.CloseTable();
    table.OpenTable();
    QCOMPARE(table.GetFieldText(field), stored);
}

// The card generator's two stores: a blank row that takes its serial, then the card's fields.
void TestTableStore::cardIsWrittenInTwoStores()
{
    TableStore table;
    int posts = 0;
    table.setAfterPost([&] { posts += table.FlushTable(); });
    table.OpenTable(InstallPaths::CardDir, Cards);
    for (int card = 1; card <= 2; ++card) {
        table.MoveLast();
        table.InsertRow();
        QCOMPARE(table.GetFieldText(QStringLiteral("Auto")), QString());
        table.PostRow();
        const QString serial = table.GetFieldText(QStringLiteral("Auto"));
        QCOMPARE(serial, QString::number(card));
        table.EditRow();
        table.SetFieldInteger(QStringLiteral("Time1"), 15);
        table.SetFieldInteger(QStringLiteral("ReminTime"), 15);
        table.SetFieldText(QStringLiteral("Kind"), QStringLiteral("ألعاب"));
        table.SetFieldFloat(QStringLiteral("Cost"), 0.5 * 15);
        table.SetFieldText(QStringLiteral("Used"), QStringLiteral("غير مستخدم"));
        table.SetFieldText(QStringLiteral("Num"), serial + QStringLiteral("AB1234C1G"));
        table.PostRow();
    }
    QCOMPARE(posts, 4);
    table.CloseTable();
    table.setIndexFieldNames(QStringLiteral("Auto"));
    table.setReadOnly(true);
    table.OpenTable();
    QVERIFY(table.FindByKey(QStringLiteral("2")));
    QCOMPARE(table.GetFieldText(QStringLiteral("Num")), QStringLiteral("2AB1234C1G"));
    QCOMPARE(table.GetFieldInteger(QStringLiteral("ReminTime")), 15);
    QCOMPARE(table.GetFieldText(QStringLiteral("Used")), QStringLiteral("غير مستخدم"));
    QCOMPARE(table.GetFieldFloat(QStringLiteral("Cost")), 7.5);
    QCOMPARE(table.GetFieldText(QStringLiteral("UseFirstTime")), QString());
}

void TestTableStore::transactionIsOneUnit()
{
    TableStore table, other;
    table.OpenTable(InstallPaths::CardDir, Cards);
    other.OpenTable(InstallPaths::CardDir, Cards);
    auto storeCard = [&](const QString& num) {
        table.InsertRow();
        table.SetFieldText(QStringLiteral("Num"), num);
        table.PostRow();
    };
    storeCard(QStringLiteral("A"));

    // Undone: the rows stored in the unit, the pending row, and the cursor's move.
    table.StartTransaction();
    storeCard(QStringLiteral("B"));
    QCOMPARE(table.GetFieldText(QStringLiteral("Auto")), QStringLiteral("2"));
    table.InsertRow();
    table.Rollback();
    QCOMPARE(table.pending(), TableStore::Pending::None);
    QCOMPARE(table.GetFieldText(QStringLiteral("Num")), QStringLiteral("A"));
    QCOMPARE(walk(table, QStringLiteral("Num")), QStringList{QStringLiteral("A")});

    // Closing in the middle undoes the unit as well.
    table.StartTransaction();
    storeCard(QStringLiteral("C"));
    table.CloseTable();
    table.OpenTable();
    QCOMPARE(walk(table, QStringLiteral("Num")), QStringList{QStringLiteral("A")});

    // Committed: another connection sees it, with the serial that follows the undone ones.
    table.StartTransaction();
    QVERIFY_THROWS_EXCEPTION(AppError, table.StartTransaction());
    storeCard(QStringLiteral("D"));
    table.Commit();
    QVERIFY(!table.inTransaction());
    QCOMPARE(walk(other, QStringLiteral("Num")), (QStringList{QStringLiteral("A"), QStringLiteral("D")}));
    QCOMPARE(other.GetFieldText(QStringLiteral("Auto")), QStringLiteral("2"));
    QVERIFY_THROWS_EXCEPTION(AppError, table.Commit());
}

// A walk reads ahead; another program's changes to the rows ahead still show, and nothing is
// skipped or repeated.
void TestTableStore::walkSeesOtherWritesAhead()
{
    TableStore table;
    table.OpenTable(InstallPaths::CardDir, Cards);
    for (int i = 1; i <= 40; ++i) {
        table.InsertRow();
        table.SetFieldText(QStringLiteral("Num"), QStringLiteral("N%1").arg(i));
    }
    table.PostRow();

    QStringList seen;
    table.MoveFirst();
    for (int i = 0; i < 12; ++i) {
        seen.append(table.GetFieldText(QStringLiteral("Num")));
        table.MoveNext();
    }
    {
        Sqlite::Connection other = Sqlite::open(local(Cards), SQLITE_OPEN_READWRITE);
        Sqlite::exec(other.get(),
                     QStringLiteral("DELETE FROM Card WHERE Auto = 14; UPDATE Card SET Num = 'changed' WHERE Auto = 15; "
                                    "INSERT INTO Card (Num) VALUES ('N41')"));
    }
    for (; !table.AtEnd(); table.MoveNext())
        seen.append(table.GetFieldText(QStringLiteral("Num")));

    QStringList expected;
    for (int i = 1; i <= 41; ++i) {
        if (i != 14)
            expected.append(i == 15 ? QStringLiteral("changed") : QStringLiteral("N%1").arg(i));
    }
    QCOMPARE(seen, expected);
    QCOMPARE(table.rowCount(), 40);
    QCOMPARE(table.currentPosition(), 39);
}

// A walk keeps the rows it reads ahead unconverted: each field must read as the same row read
// whole does, in every kind, empty or not; and the current row stays as it was read when what was
// read ahead is dropped for another connection's write.
void TestTableStore::walkReadsFieldsAsStored()
{
    {
        Sqlite::Connection other = Sqlite::open(local(Cards), SQLITE_OPEN_READWRITE);
        Sqlite::exec(other.get(),
                     QStringLiteral("INSERT INTO Card (Num, Time1, Used, ReminTime, Cost, UseFirstTime, Kind) VALUES "
                                    "('first', 1, 'a', 1, 1, 'a', 'a'), "
                                    "('ب1', 60, '', NULL, 2.5, NULL, 'G'), "
                                    "(123, NULL, 'نعم', -5, NULL, '01/01/2025', NULL), "
                                    "(NULL, 0, NULL, 0, 0, '', 'x')"));
    }
    TableStore table;
    table.OpenTable(InstallPaths::CardDir, Cards);
    qint64 position = 0;
    for (table.MoveFirst(); !table.AtEnd(); table.MoveNext(), ++position) {
        const TableStore::Row whole = table.rows(position, 1).value(0);
        for (int f = 0; f < table.fields().size(); ++f) {
            const QString name = table.fields().at(f).name;
            QCOMPARE(table.GetFieldText(name), table.textOf(f, whole.values.at(f)));
        }
        QCOMPARE(table.currentRow()->rowId, whole.rowId);
        QCOMPARE(table.currentRow()->values, whole.values);
    }
    QCOMPARE(position, 4);

    table.MoveFirst();
    table.MoveNext();
    table.MoveNext();
    QCOMPARE(table.GetFieldText(QStringLiteral("Num")), QStringLiteral("123"));
    {
        Sqlite::Connection other = Sqlite::open(local(Cards), SQLITE_OPEN_READWRITE);
        Sqlite::exec(other.get(), QStringLiteral("UPDATE Card SET Num = 'changed', Kind = 'K'"));
    }
    QVERIFY(!table.FindByKey(QStringLiteral("999")));
    QCOMPARE(table.GetFieldText(QStringLiteral("Num")), QStringLiteral("123"));
    QCOMPARE(table.GetFieldText(QStringLiteral("Kind")), QString());
    table.MoveNext();
    QCOMPARE(table.GetFieldText(QStringLiteral("Num")), QStringLiteral("changed"));
    QCOMPARE(table.GetFieldText(QStringLiteral("Kind")), QStringLiteral("K"));
}

void TestTableStore::openTwiceAndCloseTwiceDoNothing()
{
    addDays({QStringLiteral("01/01/2024"), QStringLiteral("02/01/2024")});
    TableStore table;
    table.CloseTable();
    table.OpenTable(InstallPaths::LedgerDir, Days);
    table.MoveLast();
    table.EditRow();
    table.OpenTable();
    table.OpenTable(InstallPaths::LedgerDir, Days);
    QCOMPARE(table.pending(), TableStore::Pending::Changed);
    QCOMPARE(table.GetFieldText(QStringLiteral("DateDay")), QStringLiteral("02/01/2024"));
    QVERIFY(errorText([&] { table.OpenTable(InstallPaths::CardDir, Cards); }).contains(QLatin1String("while it is open")));
    QVERIFY(errorText([&] { table.setTableName(Entries); }).contains(QLatin1String("while it is open")));
    table.CloseTable();
    table.CloseTable();
    QVERIFY(!table.isOpen());
    table.OpenTable(InstallPaths::CardDir, Cards);
    QCOMPARE(table.fields().size(), 8);
}

void TestTableStore::closedTableRefusesOperations_data()
{
    QTest::addColumn<QString>("operation");
    for (const char* op : {"MoveFirst", "MoveNext", "MoveLast", "FindByKey", "InsertRow", "EditRow", "PostRow", "moveTo",
                           "SetFieldText", "GetFieldText", "AtEnd"})
        QTest::newRow(op) << QString::fromLatin1(op);
}

void TestTableStore::closedTableRefusesOperations()
{
    QFETCH(QString, operation);
    TableStore table;
    table.setDirectory(InstallPaths::LedgerDir);
    table.setTableName(Days);
    const QString error = errorText([&] {
        if (operation == QLatin1String("SetFieldText"))
            table.SetFieldText(QStringLiteral("DateDay"), QStringLiteral("x"));
        else if (operation == QLatin1String("GetFieldText"))
            table.GetFieldText(QStringLiteral("DateDay"));
        else if (operation == QLatin1String("AtEnd"))
            table.AtEnd();
        else
            perform(table, operation);
    });
    QCOMPARE(error, QStringLiteral("لا يمكن العمل على الجدول \"SumDays.DB\" وهو مغلق."));
    QVERIFY(!table.FlushTable());
    QCOMPARE(table.rowCount(), 0);
    QVERIFY(table.rows(0, 10).isEmpty());
}

void TestTableStore::readOnlyTableRefusesChanges()
{
    addDays({QStringLiteral("01/01/2024")});
    const QByteArray before = fileBytes(local(Days));
    TableStore table;
    table.setReadOnly(true);
    table.OpenTable(InstallPaths::LedgerDir, Days);
    QVERIFY(errorText([&] { table.InsertRow(); }).contains(QStringLiteral("للقراءة فقط")));
    QVERIFY(errorText([&] { table.EditRow(); }).contains(QStringLiteral("للقراءة فقط")));
    QCOMPARE(table.GetFieldText(QStringLiteral("DateDay")), QStringLiteral("01/01/2024"));
    table.CloseTable();
    QCOMPARE(fileBytes(local(Days)), before);
}

// ---- Master and detail --------------------------------------------------------------------------

void TestTableStore::detailShowsMasterRowsAndFollows()
{
    addDays({QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")});
    addEntries({{"b", 1}, {"a", 2}, {"b", 3}, {"z", 4}, {"", 5}});
    Ledger ledger;
    ledger.open();
    TableStore& days = ledger.days;
    TableStore& entries = ledger.entries;
    QSignalSpy detailRows(&entries, &TableStore::rowsChanged);

    QCOMPARE(walk(entries, QStringLiteral("Cost")), QStringList{"2"});
    days.MoveNext();
    QCOMPARE(entries.GetFieldText(QStringLiteral("Cost")), QStringLiteral("1"));
    QCOMPARE(entries.rowCount(), 2);
    QCOMPARE(walk(entries, QStringLiteral("Cost")), (QStringList{"1", "3"}));
    QCOMPARE(entries.currentPosition(), 1);
    QVERIFY(entries.FindByKey(QStringLiteral("b")));
    QVERIFY(!entries.FindByKey(QStringLiteral("a")));
    days.MoveNext();
    QVERIFY(entries.AtEnd());
    QCOMPARE(entries.rowCount(), 0);
    QCOMPARE(detailRows.count(), 2);

    // A change of the master's field, stored or not, is followed at once.
    days.EditRow();
    days.SetFieldText(QStringLiteral("DateDay"), QStringLiteral("z"));
    QCOMPARE(walk(entries, QStringLiteral("Cost")), QStringList{"4"});
    days.InsertRow(); // stores "z"; the new row's empty field shows the entries without a day
    QCOMPARE(walk(entries, QStringLiteral("Cost")), QStringList{"5"});
    days.SetFieldText(QStringLiteral("DateDay"), QStringLiteral("d"));
    QVERIFY(days.FindByKey(QStringLiteral("a")));
    QCOMPARE(walk(entries, QStringLiteral("Cost")), QStringList{"2"});
}

void TestTableStore::detailInsertFillsFromPendingMaster()
{
    Ledger ledger;
    ledger.open();
    TableStore& days = ledger.days;
    TableStore& entries = ledger.entries;
    days.InsertRow();
    days.SetFieldText(QStringLiteral("DateDay"), QStringLiteral("07/03/2024"));
    entries.InsertRow();
    QCOMPARE(entries.GetFieldText(QStringLiteral("DateDay2")), QStringLiteral("07/03/2024"));
    // Only the insert fills: the pending entry keeps its day when the master's field changes.
    days.SetFieldText(QStringLiteral("DateDay"), QStringLiteral("08/03/2024"));
    QCOMPARE(entries.GetFieldText(QStringLiteral("DateDay2")), QStringLiteral("07/03/2024"));
    entries.PostRow();
    QCOMPARE(entries.GetFieldText(QStringLiteral("DateDay2")), QStringLiteral("07/03/2024"));
    QCOMPARE(entries.currentPosition(), -1); // stored outside the rows it shows
}

void TestTableStore::masterStoresDetailFirst_data()
{
    QTest::addColumn<QString>("operation");
    for (const char* op : {"MoveFirst", "MoveNext", "MoveLast", "FindByKey", "InsertRow", "EditRow", "PostRow"})
        QTest::newRow(op) << QString::fromLatin1(op);
}

void TestTableStore::masterStoresDetailFirst()
{
    QFETCH(QString, operation);
    addDays({QStringLiteral("01/01/2024")});
    Ledger ledger;
    ledger.open();
    TableStore& days = ledger.days;
    TableStore& entries = ledger.entries;
    days.EditRow();
    days.SetFieldFloat(QStringLiteral("SumDay"), 1);
    entries.InsertRow();
    perform(days, operation);
    QCOMPARE(ledger.stores, (QStringList{"entry 1", "day 01/01/2024"}));
    QCOMPARE(entries.pending(), TableStore::Pending::None);
}

// Opening a session: find or begin today's day, begin an entry, then MoveLast on the days stores
// the entry and then the new day.
void TestTableStore::sessionBillingStoresEntryThenDay()
{
    addDays({QStringLiteral("01/01/2024")});
    addEntries({{"01/01/2024", 3}});
    Ledger ledger;
    TableStore& days = ledger.days;
    TableStore& entries = ledger.entries;
    for (const QString& today : {QStringLiteral("02/01/2024"), QStringLiteral("02/01/2024")}) {
        ledger.open();
        if (!days.FindByKey(today)) {
            days.InsertRow();
            days.SetFieldText(QStringLiteral("DateDay"), today);
        }
        entries.InsertRow();
        entries.SetFieldText(QStringLiteral("StartOperation"), QStringLiteral("10:00:00"));
        entries.SetFieldText(QStringLiteral("TimeOperation"), QStringLiteral("15"));
        entries.SetFieldText(QStringLiteral("Computer"), QStringLiteral("PC01"));
        entries.SetFieldText(QStringLiteral("KandOperation"), QStringLiteral("ألعاب"));
        entries.SetFieldFloat(QStringLiteral("Cost"), 15 * 0.5);
        days.MoveLast();
        entries.MoveLast();
        QCOMPARE(entries.GetFieldText(QStringLiteral("DateDay2")), today);
        ledger.close();
    }
    QCOMPARE(ledger.stores, (QStringList{"entry 2", "day 02/01/2024", "entry 3"}));

    ledger.open();
    QVERIFY(days.FindByKey(QStringLiteral("02/01/2024")));
    QCOMPARE(days.GetFieldText(QStringLiteral("SumDay")), QString());
    QCOMPARE(entries.rowCount(), 2);
    QCOMPARE(entries.GetFieldText(QStringLiteral("Cost")), QStringLiteral("7.5"));
    QCOMPARE(entries.GetFieldText(QStringLiteral("KandOperation")), QStringLiteral("ألعاب"));
}

void TestTableStore::recomputeLoopSumsEachDay()
{
    addDays({QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")});
    addEntries({{"a", 1.5}, {"c", 2}, {"a", 2.25}, {"x", 100}});
    Ledger ledger;
    ledger.open();
    TableStore& days = ledger.days;
    TableStore& entries = ledger.entries;
    days.MoveFirst();
    while (!days.AtEnd()) {
        entries.MoveFirst();
        double sum = 0;
        while (!entries.AtEnd()) {
            sum += entries.GetFieldFloat(QStringLiteral("Cost"));
            entries.MoveNext();
        }
        days.EditRow();
        days.SetFieldFloat(QStringLiteral("SumDay"), sum);
        days.PostRow();
        days.MoveNext();
    }
    QCOMPARE(days.GetFieldText(QStringLiteral("DateDay")), QStringLiteral("c"));
    days.CloseTable();
    days.OpenTable();
    QCOMPARE(walk(days, QStringLiteral("SumDay")), (QStringList{"3.75", "0", "2"}));
}

// The sum over a detail's rows is the walk's sum, empty costs as 0; inside a snapshot another
// program's entries stay unseen until it ends; a text field has no sum.
void TestTableStore::sumOfTheDetailFromOneSnapshot()
{
    addDays({QStringLiteral("a"), QStringLiteral("b")});
    addEntries({{"a", 0.1}, {"b", 5}, {"a", 0.2}, {"a", 0.3}});
    {
        Sqlite::Connection other = Sqlite::open(local(Entries), SQLITE_OPEN_READWRITE);
        Sqlite::exec(other.get(), QStringLiteral("INSERT INTO DetailDays (DateDay2) VALUES ('a')"));
    }
    Ledger ledger;
    ledger.open();
    TableStore& entries = ledger.entries;
    QCOMPARE(ledger.days.GetFieldText(QStringLiteral("DateDay")), QStringLiteral("a"));
    double walked = 0;
    for (entries.MoveFirst(); !entries.AtEnd(); entries.MoveNext())
        walked += entries.GetFieldFloat(QStringLiteral("Cost"));
    QCOMPARE(entries.sumOf(QStringLiteral("Cost")), walked); // the same additions in the same order
    QCOMPARE(entries.currentPosition(), 3);

    {
        const TableStore::Snapshot snapshot(entries);
        Sqlite::Connection other = Sqlite::open(local(Entries), SQLITE_OPEN_READWRITE);
        Sqlite::exec(other.get(), QStringLiteral("INSERT INTO DetailDays (DateDay2, Cost) VALUES ('a', 10)"));
        QCOMPARE(entries.sumOf(QStringLiteral("Cost")), walked);
        ledger.days.MoveNext();
        QCOMPARE(entries.sumOf(QStringLiteral("Cost")), 5.0);
        ledger.days.MoveFirst();
        QCOMPARE(entries.sumOf(QStringLiteral("Cost")), walked);
    }
    QCOMPARE(entries.sumOf(QStringLiteral("Cost")), walked + 10);
    QVERIFY_THROWS_EXCEPTION(AppError, entries.sumOf(QStringLiteral("DateDay2")));
}

void TestTableStore::detailRestsWhileMasterClosed()
{
    addDays({QStringLiteral("a")});
    addEntries({{"a", 1}, {"b", 2}});
    Ledger ledger;
    TableStore& days = ledger.days;
    TableStore& entries = ledger.entries;
    entries.OpenTable(InstallPaths::LedgerDir, Entries);
    QCOMPARE(entries.rowCount(), 2);
    days.OpenTable(InstallPaths::LedgerDir, Days);
    QCOMPARE(entries.rowCount(), 1);
    days.CloseTable();
    QCOMPARE(walk(entries, QStringLiteral("Cost")), (QStringList{"1", "2"}));
}

void TestTableStore::failedDetailStoreStopsMaster()
{
    Ledger ledger;
    ledger.open();
    TableStore& days = ledger.days;
    TableStore& entries = ledger.entries;
    days.InsertRow();
    days.SetFieldText(QStringLiteral("DateDay"), QStringLiteral("01/01/2024"));
    entries.InsertRow();

    Sqlite::Connection other = Sqlite::open(local(Entries), SQLITE_OPEN_READWRITE);
    Sqlite::exec(other.get(), QStringLiteral("BEGIN IMMEDIATE; DELETE FROM DetailDays"));
    QCOMPARE(errorText([&] { days.MoveLast(); }),
             QStringLiteral("الجدول \"%1\\%2\" يستعمله برنامج آخر الآن، فلم يُقرأ منه ولم يُحفظ فيه شيء. أعد المحاولة بعد قليل.")
                 .arg(InstallPaths::LedgerDir, Entries));
    QCOMPARE(ledger.stores, QStringList());
    QCOMPARE(days.pending(), TableStore::Pending::New);
    QCOMPARE(days.rowCount(), 0);

    Sqlite::exec(other.get(), QStringLiteral("ROLLBACK"));
    days.MoveLast();
    QCOMPARE(ledger.stores, (QStringList{"entry 1", "day 01/01/2024"}));
    QCOMPARE(entries.rowCount(), 1);
}

// ---- Files and durability -----------------------------------------------------------------------

void TestTableStore::openRefusesForeignFiles_data()
{
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QByteArray>("content"); // written over the file first, unless empty
    QTest::addColumn<QStringList>("sql");    // or a database made with these statements
    QTest::addColumn<QString>("index");
    QTest::addColumn<QString>("error");

    const QString path = InstallPaths::LedgerDir + QStringLiteral("\\");
    QTest::newRow("missing") << "Missing.DB" << QByteArray() << QStringList() << QString()
                             << "الجدول \"" + path + "Missing.DB\" غير موجود.";
    QTest::newRow("a text file") << Days << QByteArray("DateDay;SumDay\r\n01/01/2024;5\r\n") << QStringList() << QString()
                                 << "الملف \"" + path + "SumDays.DB\" ليس جدولا";
    QTest::newRow("another database") << "Other.DB" << QByteArray() << QStringList{"CREATE TABLE t (a TEXT)"} << QString()
                                      << "\"" + path + "Other.DB\" holds no table \"Other\"";
    QTest::newRow("an empty file") << "Empty.DB" << QByteArray() << QStringList{} << QString()
                                   << "\"" + path + "Empty.DB\" holds no table \"Empty\"";
    QTest::newRow("a field of unknown kind") << "Blob.DB" << QByteArray() << QStringList{"CREATE TABLE Blob (a BLOB)"}
                                             << QString() << "Field \"a\" of table \"" + path + "Blob.DB\" has a type";
    QTest::newRow("a string without size") << "Bare.DB" << QByteArray() << QStringList{"CREATE TABLE Bare (a VARCHAR)"}
                                           << QString() << "Field \"a\" of table";
    QTest::newRow("missing index") << Days << QByteArray() << QStringList() << "DateDayIndex"
                                   << "Index \"DateDayIndex\" not found in table \"" + path + "SumDays.DB\"";
}

void TestTableStore::openRefusesForeignFiles()
{
    QFETCH(QString, fileName);
    QFETCH(QByteArray, content);
    QFETCH(QStringList, sql);
    QFETCH(QString, index);
    QFETCH(QString, error);

    const QString path = m_prefix->local(InstallPaths::LedgerDir + QLatin1Char('\\') + fileName);
    if (!content.isEmpty()) {
        QFile::remove(path);
        m_prefix->writeFile(InstallPaths::LedgerDir + QLatin1Char('\\') + fileName, content);
    } else if (!QFileInfo::exists(path) && fileName != QLatin1String("Missing.DB")) {
        Sqlite::Connection db = Sqlite::open(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
        for (const QString& statement : std::as_const(sql))
            Sqlite::exec(db.get(), statement);
    }
    const QByteArray before = fileBytes(path);

    TableStore table;
    table.setIndexName(index);
    const QString text = errorText([&] { table.OpenTable(InstallPaths::LedgerDir, fileName); });
    QVERIFY2(text.startsWith(error), qPrintable(text));
    QVERIFY(!table.isOpen());
    QCOMPARE(fileBytes(path), before);
    QCOMPARE(QFileInfo::exists(path), fileName != QLatin1String("Missing.DB"));
    QVERIFY(!QFileInfo::exists(path + QStringLiteral("-journal")));
}

void TestTableStore::lockedTableFailsWithinBound()
{
    addDays({QStringLiteral("01/01/2024")});
    const QString path = local(Days);
    TableStore table;
    table.OpenTable(InstallPaths::LedgerDir, Days);
    const QString locked = QStringLiteral(
                               "الجدول \"%1\\%2\" يستعمله برنامج آخر الآن، فلم يُقرأ منه ولم يُحفظ فيه شيء. أعد المحاولة بعد قليل.")
                               .arg(InstallPaths::LedgerDir, Days);

    Sqlite::Connection other = Sqlite::open(path, SQLITE_OPEN_READWRITE);
    Sqlite::exec(other.get(), QStringLiteral("BEGIN IMMEDIATE; UPDATE SumDays SET SumDay = 9"));
    table.EditRow();
    table.SetFieldFloat(QStringLiteral("SumDay"), 1);
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(errorText([&] { table.PostRow(); }), locked);
    QVERIFY(clock.elapsed() < TableStore::LockWaitMs + 3000);
    QCOMPARE(table.pending(), TableStore::Pending::Changed);

    // With the write-ahead log a writer in the middle of its unit keeps no reader out: the
    // reader sees what was committed before it.
    Sqlite::exec(other.get(), QStringLiteral("COMMIT; BEGIN EXCLUSIVE; UPDATE SumDays SET SumDay = 7"));
    TableStore second;
    second.OpenTable(InstallPaths::LedgerDir, Days);
    QCOMPARE(second.GetFieldFloat(QStringLiteral("SumDay")), 9.0);
    second.CloseTable();

    Sqlite::exec(other.get(), QStringLiteral("ROLLBACK"));
    table.PostRow();
    QCOMPARE(table.GetFieldText(QStringLiteral("SumDay")), QStringLiteral("1"));
}

// A table of an older install, kept with a rollback journal, is put in WAL mode by the first
// writer that opens it, with its rows; a read-only opening leaves it as it is.
void TestTableStore::olderTableSwitchedToWal()
{
    addDays({QStringLiteral("01/01/2024"), QStringLiteral("02/01/2024")});
    const QString path = local(Days);
    auto journalMode = [&] {
        Sqlite::Connection db = Sqlite::open(path, SQLITE_OPEN_READONLY);
        Sqlite::Statement mode(db.get(), QStringLiteral("PRAGMA journal_mode"));
        mode.step();
        return mode.text(0);
    };
    {
        Sqlite::Connection db = Sqlite::open(path, SQLITE_OPEN_READWRITE);
        Sqlite::exec(db.get(), QStringLiteral("PRAGMA journal_mode=DELETE"));
    }
    QCOMPARE(journalMode(), QStringLiteral("delete"));
    {
        TableStore reader;
        reader.setReadOnly(true);
        reader.OpenTable(InstallPaths::LedgerDir, Days);
        QCOMPARE(reader.rowCount(), 2);
    }
    QCOMPARE(journalMode(), QStringLiteral("delete"));

    TableStore table;
    table.OpenTable(InstallPaths::LedgerDir, Days);
    QCOMPARE(journalMode(), QStringLiteral("wal"));
    QCOMPARE(table.rowCount(), 2);
    table.InsertRow();
    table.SetFieldText(QStringLiteral("DateDay"), QStringLiteral("03/01/2024"));
    table.PostRow();
    table.CloseTable();
    Sqlite::Connection db = Sqlite::open(path, SQLITE_OPEN_READONLY);
    Sqlite::Statement count(db.get(), QStringLiteral("SELECT COUNT(*) FROM SumDays"));
    count.step();
    QCOMPARE(count.int64(0), 3);
}

// Runs in a child process: posts cards until killed, telling each serial once its PostRow returned.
static int postCardsUntilKilled()
{
    TableStore table;
    table.setAfterPost([&] { table.FlushTable(); });
    table.OpenTable(InstallPaths::CardDir, Cards);
    for (int i = 0; i < 100000; ++i) {
        table.InsertRow();
        table.SetFieldText(QStringLiteral("Num"), QStringLiteral("N%1").arg(i));
        table.PostRow();
        const QByteArray line = (table.GetFieldText(QStringLiteral("Auto")) + QLatin1Char('\n')).toLatin1();
        if (::write(STDOUT_FILENO, line.constData(), size_t(line.size())) != line.size())
            return 1;
    }
    return 0;
}

void TestTableStore::killedWriterLosesNoPostedRow()
{
    QProcess child;
    child.setProgram(QCoreApplication::applicationFilePath());
    child.setArguments({QStringLiteral("--post-cards-until-killed")});
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start();
    QVERIFY(child.waitForStarted());
    QByteArray told;
    while (told.count('\n') < 40 && child.state() == QProcess::Running) {
        child.waitForReadyRead(5000);
        told += child.readAllStandardOutput();
    }
    ::kill(pid_t(child.processId()), SIGKILL);
    QVERIFY(child.waitForFinished());
    QCOMPARE(child.exitStatus(), QProcess::CrashExit);
    told += child.readAllStandardOutput();
    QList<QByteArray> serials = told.split('\n');
    serials.removeLast(); // a line cut short by the kill, or the empty rest after the last one
    QVERIFY(serials.size() >= 40);

    TableStore table;
    table.OpenTable(InstallPaths::CardDir, Cards);
    for (const QByteArray& serial : std::as_const(serials)) {
        QVERIFY2(table.FindByKey(QString::fromLatin1(serial)), serial.constData());
        QCOMPARE(table.GetFieldText(QStringLiteral("Num")), QStringLiteral("N%1").arg(serial.toInt() - 1));
    }
    table.CloseTable();
    Sqlite::Connection db = Sqlite::open(local(Cards), SQLITE_OPEN_READONLY);
    Sqlite::Statement check(db.get(), QStringLiteral("PRAGMA integrity_check"));
    QVERIFY(check.step());
    QCOMPARE(check.text(0), QStringLiteral("ok"));
}

int main(int argc, char** argv)
{
    if (argc == 2 && qstrcmp(argv[1], "--post-cards-until-killed") == 0)
        return postCardsUntilKilled();
    QCoreApplication app(argc, argv);
    TestTableStore test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_tablestore.moc"
