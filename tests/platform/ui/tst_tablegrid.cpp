#include "install/InstallPaths.h"
#include "platform/Regional.h"
#include "platform/store/Sqlite.h"
#include "platform/store/TableFiles.h"
#include "platform/store/TableStore.h"
#include "platform/ui/MessageBoxes.h"
#include "platform/ui/TableGrid.h"
#include "support/SampleCards.h"
#include "support/TestPrefix.h"

#include <QAbstractItemModelTester>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTableView>
#include <QtTest>
#include <numeric>

namespace {

// Rows written straight into a table file, in one transaction, as another program would.
void fill(const TestPrefix& prefix, const QString& directory, const QString& file, const QString& sql,
          const std::function<void(Sqlite::Statement&, int)>& bind, int rows)
{
    Sqlite::Connection db = Sqlite::open(prefix.local(directory + QLatin1Char('\\') + file), SQLITE_OPEN_READWRITE);
    Sqlite::exec(db.get(), QStringLiteral("BEGIN"));
    Sqlite::Statement insert(db.get(), sql);
    for (int i = 0; i < rows; ++i) {
        Sqlite::Use use(insert);
        bind(insert, i);
        insert.step();
    }
    Sqlite::exec(db.get(), QStringLiteral("COMMIT"));
}

void fillCards(const TestPrefix& prefix, int rows)
{
    appendCards(prefix.local(InstallPaths::CardDir + QStringLiteral("\\Card.db")), rows);
}

QStringList walk(TableStore& table, const QString& field)
{
    QStringList seen;
    for (table.MoveFirst(); !table.AtEnd(); table.MoveNext())
        seen.append(table.GetFieldText(field));
    return seen;
}

} // namespace

class TestTableGrid : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void gridShowsTheTableInOrder_data();
    void gridShowsTheTableInOrder();
    void detailFollowsALoopOverItsMasterOnce();

private:
    // The grid's column 0, read row by row in the given order of rows.
    QStringList gridColumn(QTableView& grid, const QList<int>& order) const;

    std::unique_ptr<TestPrefix> m_prefix;
};

void TestTableGrid::init()
{
    m_prefix = std::make_unique<TestPrefix>();
    m_prefix->makeTables();
    Regional::setOverride(Regional::Formats{QStringLiteral("dd/MM/yyyy"), QStringLiteral("hh:mm:ss"), QLatin1Char('.')});
    MessageBoxes::setRecorderForTests([](const MessageBoxes::Shown& box) { QFAIL(qPrintable(box.text)); });
}

void TestTableGrid::cleanup()
{
    MessageBoxes::setRecorderForTests({});
    Regional::setOverride(std::nullopt);
    m_prefix.reset();
}

QStringList TestTableGrid::gridColumn(QTableView& grid, const QList<int>& order) const
{
    QStringList texts(grid.model()->rowCount());
    for (int row : order)
        texts[row] = grid.model()->index(row, 0).data().toString();
    return texts;
}

// The rows the grid shows, whichever way it reads them (by key from the rows it holds, from the
// current row, or counted from either end), are the table's rows in the table's order; and the
// model keeps Qt's rules through stores, moves, a new range and a rolled-back unit.
void TestTableGrid::gridShowsTheTableInOrder_data()
{
    QTest::addColumn<QString>("table");
    QTest::addColumn<int>("rows");
    // Entries by "DateDayIndex": ties on the day, empty days first, the row id after the key.
    QTest::newRow("entries by day, 700 rows") << "entries" << 700;
    QTest::newRow("cards by serial, 1500 rows") << "cards" << 1500;
}

void TestTableGrid::gridShowsTheTableInOrder()
{
    QFETCH(QString, table);
    QFETCH(int, rows);
    const bool cards = table == QLatin1String("cards");
    if (cards) {
        fillCards(*m_prefix, rows);
    } else {
        fill(
            *m_prefix, InstallPaths::LedgerDir, QStringLiteral("DetailDays.DB"),
            QStringLiteral("INSERT INTO DetailDays (DateDay2, Computer) VALUES (?, ?)"),
            [](Sqlite::Statement& st, int i) {
                st.bind(1, i % 13 == 0 ? QVariant() : QVariant(QStringLiteral("day%1").arg((i * 37) % 11)));
                st.bind(2, QStringLiteral("PC%1").arg(i));
            },
            rows);
    }
    const QString field = cards ? QStringLiteral("Num") : QStringLiteral("Computer");

    TableStore store;
    store.setAfterPost([&store] { store.FlushTable(); });
    if (!cards)
        store.setIndexName(QStringLiteral("DateDayIndex"));
    store.OpenTable(cards ? InstallPaths::CardDir : InstallPaths::LedgerDir,
                    cards ? QStringLiteral("Card.db") : QStringLiteral("DetailDays.DB"));
    QTableView grid;
    grid.resize(300, 400);
    TableGridModel* model = bindGrid(&grid, &store, {GridColumn{field, QStringLiteral("t"), 0, 8, Qt::AlignLeft, QColor()}});
    QAbstractItemModelTester tester(model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    grid.show();
    QVERIFY(QTest::qWaitForWindowExposed(&grid));

    auto check = [&] {
        QCoreApplication::processEvents();
        const QStringList expected = walk(store, field);
        QCOMPARE(model->rowCount(), expected.size());
        QList<int> order;
        // Bottom to top, top to bottom, then jumps into the middle and back.
        for (int r = int(expected.size()) - 1; r >= 0; --r)
            order.append(r);
        for (int r = 0; r < expected.size(); ++r)
            order.append(r);
        for (int r : {int(expected.size()) / 2, int(expected.size()) / 3, int(expected.size()) - 2, 1})
            order.append(std::clamp(r, 0, int(expected.size()) - 1));
        if (expected.isEmpty())
            order.clear();
        QCOMPARE(gridColumn(grid, order), expected);
    };
    check();

    // Stores through the cursor: appended rows, a row put in the middle, a change in place.
    store.MoveLast();
    store.InsertRow();
    store.SetFieldText(field, QStringLiteral("new last"));
    if (!cards)
        store.SetFieldText(QStringLiteral("DateDay2"), QStringLiteral("zzz"));
    store.PostRow();
    // The walk of the check above is the same pass: the grid follows once the loop runs.
    QCoreApplication::processEvents();
    QCOMPARE(grid.currentIndex().row(), model->rowCount() - 1);
    check();
    // Read top to bottom, the grid holds the later rows, where the next stores land: a new row is
    // put among them, a changed one replaces its old self.
    auto readDownwards = [&] {
        QList<int> downwards(model->rowCount());
        std::iota(downwards.begin(), downwards.end(), 0);
        gridColumn(grid, downwards);
    };
    readDownwards();
    store.InsertRow();
    store.SetFieldText(field, QStringLiteral("new middle"));
    if (!cards)
        store.SetFieldText(QStringLiteral("DateDay2"), QStringLiteral("day5"));
    store.PostRow();
    QCoreApplication::processEvents();
    QCOMPARE(grid.currentIndex().row(), int(store.currentPosition()));
    QCOMPARE(model->index(grid.currentIndex().row(), 0).data().toString(), QStringLiteral("new middle"));
    check();
    store.moveTo(rows / 2);
    readDownwards();
    store.EditRow();
    store.SetFieldText(field, QStringLiteral("changed"));
    store.PostRow();
    check();

    // A batch holds the rows it adds after the last: they are announced together, with what was
    // stored into them meanwhile; a store elsewhere announces them first.
    auto addLast = [&](const QString& text) {
        store.MoveLast();
        store.InsertRow();
        store.SetFieldText(field, text + QStringLiteral(" begun"));
        if (!cards)
            store.SetFieldText(QStringLiteral("DateDay2"), QStringLiteral("zzz"));
        store.PostRow();
        store.EditRow();
        store.SetFieldText(field, text);
        store.PostRow();
    };
    const int shown = model->rowCount();
    model->holdAdded(true);
    for (const QString& text : {QStringLiteral("batch 1"), QStringLiteral("batch 2"), QStringLiteral("batch 3")})
        addLast(text);
    QCOMPARE(model->rowCount(), shown);
    model->announceAdded();
    QCOMPARE(model->rowCount(), shown + 3);
    QCOMPARE(model->index(shown + 2, 0).data().toString(), QStringLiteral("batch 3"));
    check();
    addLast(QStringLiteral("batch 4"));
    store.moveTo(1);
    store.EditRow();
    store.SetFieldText(field, QStringLiteral("changed while held"));
    store.PostRow();
    QCOMPARE(model->rowCount(), shown + 4);
    addLast(QStringLiteral("batch 5"));
    model->holdAdded(false);
    QCOMPARE(model->rowCount(), shown + 5);
    check();

    // The grid moves the cursor, scrolled far from where it was.
    grid.verticalScrollBar()->setValue(grid.verticalScrollBar()->maximum());
    grid.setCurrentIndex(model->index(model->rowCount() - 3, 0));
    QCOMPARE(store.currentPosition(), model->rowCount() - 3);
    QCOMPARE(store.GetFieldText(field), model->index(model->rowCount() - 3, 0).data().toString());

    // A unit rolled back, another connection's rows, closing and opening again.
    store.StartTransaction();
    store.InsertRow();
    store.SetFieldText(field, QStringLiteral("undone"));
    store.PostRow();
    store.Rollback();
    check();
    if (cards)
        fillCards(*m_prefix, 5);
    store.MoveFirst();
    check();
    store.CloseTable();
    QCOMPARE(model->rowCount(), 0);
    store.OpenTable();
    check();
}

// A handler that walks a master's rows and each row's detail, as the recompute does, gives the
// detail a new range a row; its grid reads the range anew only for the first few and then once,
// when the loop runs again, on the last master row.
void TestTableGrid::detailFollowsALoopOverItsMasterOnce()
{
    constexpr int Days = 30;
    constexpr int PerDay = 20;
    fill(
        *m_prefix, InstallPaths::LedgerDir, QStringLiteral("SumDays.DB"),
        QStringLiteral("INSERT INTO SumDays (DateDay) VALUES (?)"),
        [](Sqlite::Statement& st, int i) { st.bind(1, QStringLiteral("day%1").arg(i, 2, 10, QLatin1Char('0'))); }, Days);
    fill(
        *m_prefix, InstallPaths::LedgerDir, QStringLiteral("DetailDays.DB"),
        QStringLiteral("INSERT INTO DetailDays (DateDay2, Computer) VALUES (?, ?)"),
        [](Sqlite::Statement& st, int i) {
            st.bind(1, QStringLiteral("day%1").arg(i % Days, 2, 10, QLatin1Char('0')));
            st.bind(2, QStringLiteral("PC%1").arg(i));
        },
        Days * PerDay);
    TableStore days;
    days.OpenTable(InstallPaths::LedgerDir, QStringLiteral("SumDays.DB"));
    TableStore entries;
    entries.LinkToMaster(QStringLiteral("DateDayIndex"), &days, QStringLiteral("DateDay"));
    entries.OpenTable(InstallPaths::LedgerDir, QStringLiteral("DetailDays.DB"));
    QTableView dayGrid;
    QTableView entryGrid;
    bindGrid(&dayGrid, &days, {GridColumn{QStringLiteral("DateDay"), QStringLiteral("d"), 0, 8, Qt::AlignLeft, QColor()}});
    TableGridModel* model = bindGrid(
        &entryGrid, &entries, {GridColumn{QStringLiteral("Computer"), QStringLiteral("c"), 0, 8, Qt::AlignLeft, QColor()}});
    QAbstractItemModelTester tester(model, QAbstractItemModelTester::FailureReportingMode::QtTest);
    dayGrid.show();
    entryGrid.show();
    QVERIFY(QTest::qWaitForWindowExposed(&entryGrid));

    QSignalSpy resets(model, &QAbstractItemModel::modelReset);
    const quint64 before = entries.statementCount();
    int walked = 0;
    for (days.MoveFirst(); !days.AtEnd(); days.MoveNext()) {
        for (entries.MoveFirst(); !entries.AtEnd(); entries.MoveNext())
            ++walked;
    }
    QCOMPARE(walked, Days * PerDay);
    // Two windows of rows a day, and the first few ranges counted.
    QVERIFY2(entries.statementCount() - before <= quint64(2 * Days + 8),
             qPrintable(QString::number(entries.statementCount() - before)));
    QVERIFY(resets.size() < 8);

    QCoreApplication::processEvents();
    QCOMPARE(model->rowCount(), PerDay);
    QCOMPARE(model->index(0, 0).data().toString(), QStringLiteral("PC%1").arg(Days - 1));
    QCOMPARE(model->index(PerDay - 1, 0).data().toString(), QStringLiteral("PC%1").arg(Days * PerDay - 1));
}

QTEST_MAIN(TestTableGrid)
#include "tst_tablegrid.moc"
