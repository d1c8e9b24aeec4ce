#include "platform/ui/TableGrid.h"

#include "platform/ui/GridDelegate.h"
#include "platform/ui/Guard.h"

#include <QHeaderView>
#include <QItemSelectionModel>
#include <QTableView>
#include <QTimer>
#include <algorithm>
#include <cstdlib>
#include <utility>

PassCounter::PassCounter(QObject* context, int atOnce, std::function<void()> atEnd)
    : m_context(context)
    , m_atOnce(atOnce)
    , m_atEnd(std::move(atEnd))
{
}

bool PassCounter::atOnce()
{
    if (!m_endQueued) {
        m_endQueued = true;
        QTimer::singleShot(0, m_context, Guard::slot([this] {
                               m_endQueued = false;
                               m_count = 0;
                               m_atEnd();
                           }));
    }
    return m_count++ < m_atOnce;
}

TableGridModel::TableGridModel(TableStore* table, QList<GridColumn> columns, QObject* parent)
    : QAbstractTableModel(parent)
    , m_table(table)
    , m_columns(std::move(columns))
    , m_ranges(this, RangesFollowedAtOnce, [this] {
        if (m_reloadQueued)
            reload();
    })
{
    connect(m_table, &TableStore::rowsChanged, this, &TableGridModel::rowsChanged);
    reload();
}

void TableGridModel::reload()
{
    // Counted before the reset begins: a count that fails leaves the model as it was, not halfway.
    const int rows = m_table->isOpen() ? int(m_table->rowCount()) : 0;
    beginResetModel();
    m_reloadQueued = false;
    m_added.clear(); // counted with the rest
    // A table opened or closed starts the count of new ranges again.
    const bool wasOpen = std::exchange(m_loadedOpen, m_table->isOpen());
    if (wasOpen != m_loadedOpen)
        m_ranges.restart();
    m_pageStart = 0;
    m_page.clear();
    m_stamp = m_table->rangeStamp();
    m_fieldOf.clear();
    const QList<TableStore::Field>& fields = m_table->fields();
    for (const GridColumn& column : m_columns) {
        int found = -1;
        for (int f = 0; f < fields.size(); ++f) {
            if (fields.at(f).name.compare(column.field, Qt::CaseInsensitive) == 0)
                found = f;
        }
        m_fieldOf.append(found);
    }
    m_rows = rows;
    endResetModel();
}

void TableGridModel::newRange()
{
    m_page.clear();
    // A table opened or closed is shown so at once.
    if (!m_table->isOpen() || !m_loadedOpen || m_ranges.atOnce())
        reload();
    else
        m_reloadQueued = true;
}

void TableGridModel::rowsChanged()
{
    // Called from inside the table's operations: a failure to read is shown, not thrown through.
    Guard::run([this] { followStore(); });
}

// A store through the cursor adds one row or changes rows in place; anything else is a new range.
void TableGridModel::followStore()
{
    if (m_reloadQueued && m_table->isOpen())
        return; // the whole range is read when the loop runs again
    if (m_holdAdded && m_table->isOpen() && m_stamp == m_table->rangeStamp() && m_table->currentRow()) {
        const qint64 rows = m_table->rowCount();
        const qint64 at = m_table->currentPosition();
        const qint64 shownAndHeld = m_rows + m_added.size();
        const TableStore::Row& stored = *m_table->currentRow();
        if (rows == shownAndHeld + 1 && at == shownAndHeld) {
            m_added.append(stored);
            return;
        }
        if (rows == shownAndHeld && !m_added.isEmpty() && at == shownAndHeld - 1 && m_added.last().rowId == stored.rowId) {
            m_added.last() = stored;
            return;
        }
    }
    announceAdded();
    // Where the stored row stood before: among the rows held, or where it was last stored.
    const std::optional<TableStore::Row>& stored = m_table->currentRow();
    qint64 heldAt = -1;
    for (qsizetype i = 0; stored && i < m_page.size() && heldAt < 0; ++i) {
        if (m_page.at(i).rowId == stored->rowId)
            heldAt = m_pageStart + i;
    }
    if (heldAt < 0 && stored && stored->rowId == m_lastStored.first)
        heldAt = m_lastStored.second;
    m_lastStored = {-1, -1};
    if (!m_table->isOpen() || m_stamp != m_table->rangeStamp() || m_fieldOf.isEmpty()) {
        newRange();
        return;
    }
    const qint64 rows = m_table->rowCount();
    if (rows == m_rows) {
        // A row changed in place, or moved between here and there: only those rows are redrawn.
        const qint64 now = m_table->currentPosition();
        const qint64 first = heldAt < 0 || now < 0 ? 0 : std::min(heldAt, now);
        const qint64 last = heldAt < 0 || now < 0 ? m_rows - 1 : std::max(heldAt, now);
        // The rows held stay as they are but the changed one, unless rows moved.
        if (stored && now >= 0 && now == heldAt && now >= m_pageStart && now < m_pageStart + m_page.size()
            && m_page.at(now - m_pageStart).rowId == stored->rowId)
            m_page[now - m_pageStart] = *stored;
        else
            m_page.clear();
        if (m_rows > 0)
            emit dataChanged(index(int(first), 0), index(int(last), columnCount() - 1));
        if (stored && now >= 0)
            m_lastStored = {stored->rowId, now};
        return;
    }
    const qint64 added = m_table->currentPosition();
    if (rows != m_rows + 1 || added < 0 || added > m_rows || !stored) {
        newRange();
        return;
    }
    // The new row takes its place among the rows held, so a batch that adds a row at a time
    // draws it without reading the rows around it again.
    if (!m_page.isEmpty() && added >= m_pageStart && added <= m_pageStart + m_page.size()) {
        m_page.insert(added - m_pageStart, *stored);
        keepHeldAround(added);
    } else {
        m_page.clear();
    }
    // Until the insertion is announced the grid asks by the old places: from the new row's place
    // on, a row stands one place further in the table and in the rows held.
    const qint64 addedId = stored->rowId;
    m_insertedAt = int(added);
    beginInsertRows({}, int(added), int(added));
    m_insertedAt = -1;
    m_rows = int(rows);
    endInsertRows();
    m_lastStored = {addedId, added};
}

void TableGridModel::holdAdded(bool hold)
{
    m_holdAdded = hold;
    if (!hold)
        announceAdded();
}

void TableGridModel::announceAdded()
{
    if (m_added.isEmpty())
        return;
    const QList<TableStore::Row> added = std::exchange(m_added, {});
    // Rows held that reach the end take the new rows, so they are drawn without being read again.
    if (!m_page.isEmpty() && m_pageStart + m_page.size() == m_rows) {
        m_page += added;
        keepHeldAround(m_pageStart + m_page.size() - 1);
    }
    beginInsertRows({}, m_rows, m_rows + int(added.size()) - 1);
    m_rows += int(added.size());
    endInsertRows();
    m_lastStored = {added.last().rowId, m_rows - 1};
}

int TableGridModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_rows;
}

int TableGridModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_columns.size());
}

const TableStore::Row* TableGridModel::rowAt(int row) const
{
    if (m_insertedAt >= 0 && row >= m_insertedAt)
        ++row;
    if (row < m_pageStart || row >= m_pageStart + m_page.size())
        readPage(row);
    const int offset = row - m_pageStart;
    return offset >= 0 && offset < m_page.size() ? &m_page.at(offset) : nullptr;
}

// Near the rows held, or near the table's current row, the page is read by key from a row whose
// place is known; only a jump far from both counts its way from the nearer end of the table.
void TableGridModel::readPage(int row) const
{
    const int reach = 4 * PageSize;
    if (m_page.isEmpty() || row < m_pageStart - reach || row >= m_pageStart + m_page.size() + reach) {
        m_page.clear();
        const qint64 current = m_table->currentPosition();
        if (current >= 0 && std::abs(current - row) < reach && m_table->currentRow()) {
            m_pageStart = int(current);
            m_page.append(*m_table->currentRow());
        }
    }
    if (m_page.isEmpty()) {
        m_pageStart = row - row % PageSize;
        m_page = m_table->rows(m_pageStart, PageSize);
        return;
    }
    if (row >= m_pageStart + m_page.size()) {
        const int wanted = row - int(m_pageStart + m_page.size()) + PageSize;
        m_page += m_table->rowsAfter(m_page.last(), wanted);
    } else if (row < m_pageStart) {
        const int wanted = m_pageStart - row + PageSize;
        const QList<TableStore::Row> before = m_table->rowsBefore(m_page.first(), wanted);
        QList<TableStore::Row> joined(before.rbegin(), before.rend());
        m_pageStart -= int(before.size());
        m_page = joined + m_page;
    }
    keepHeldAround(row);
}

// Keeps the held rows bounded, around the given row.
void TableGridModel::keepHeldAround(qint64 row) const
{
    if (m_page.size() <= MaxHeld)
        return;
    const qsizetype keepFrom = std::clamp<qsizetype>(row - m_pageStart - MaxHeld / 2, 0, m_page.size() - MaxHeld);
    m_page = m_page.mid(keepFrom, MaxHeld);
    m_pageStart += int(keepFrom);
}

QVariant TableGridModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= m_rows)
        return {};
    const GridColumn& column = m_columns.at(index.column());
    switch (role) {
    case Qt::DisplayRole: {
        const int field = m_fieldOf.at(index.column());
        try {
            // Rows of a range not read yet are not looked for by the old range's places.
            const TableStore::Row* row = field < 0 || m_reloadQueued ? nullptr : rowAt(index.row());
            if (!row || field >= row->values.size())
                return {};
            return m_table->textOf(field, row->values.at(field));
        } catch (...) {
            // A table that cannot be read now (locked by another program) shows an empty cell;
            // the operation that needs it reports the error.
            return {};
        }
    }
    case Qt::TextAlignmentRole:
        return int(column.alignment | Qt::AlignVCenter);
    case Qt::BackgroundRole:
        return column.background.isValid() ? QVariant(column.background) : QVariant();
    default:
        return {};
    }
}

QVariant TableGridModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 && section < m_columns.size())
        return m_columns.at(section).title;
    return QAbstractTableModel::headerData(section, orientation, role);
}

namespace {

int columnWidth(const GridColumn& c, const QFontMetrics& metrics)
{
    if (c.width > 0)
        return c.width;
    const int average = metrics.averageCharWidth();
    return std::max(c.displayWidth * average - average / 2 + 3, metrics.horizontalAdvance(c.title) + 4);
}

// Keeps the grid's selected row on the table's current row. A handler that moves the cursor
// many times without yielding to the message loop (a walk, a recompute) would otherwise make the
// grid select, scroll and redraw at every step, at a cost far above the step's own; so only the
// first few moves of a pass are followed at once (a lookup, the stores of one card) and the rest
// once, when the loop runs again, on the row where the handler left the cursor. The grid scrolls
// there at that moment too: a scroll redraws the whole grid.
class CursorFollower final : public QObject
{
public:
    static constexpr int MovesFollowedAtOnce = 4;

    CursorFollower(QTableView* grid, TableStore* table)
        : QObject(grid)
        , m_grid(grid)
        , m_table(table)
        , m_moves(this, MovesFollowedAtOnce, [this] { settle(); })
    {
    }

    void moved()
    {
        if (m_moves.atOnce())
            select();
        else
            m_behind = true;
    }

    void select()
    {
        Guard::run([this] { selectCurrentRow(); });
    }

private:
    void selectCurrentRow()
    {
        const qint64 position = m_table->currentPosition();
        QItemSelectionModel* selection = m_grid->selectionModel();
        if (position < 0 || position >= m_grid->model()->rowCount()) {
            selection->clearSelection();
            // A row not yet announced (held by a batch) is selected when the loop runs again.
            m_behind = position >= 0;
            return;
        }
        if (m_grid->currentIndex().row() == position && selection->isRowSelected(int(position)))
            return;
        const QModelIndex index = m_grid->model()->index(int(position), std::max(0, m_grid->currentIndex().column()));
        selection->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    }

    void settle()
    {
        if (std::exchange(m_behind, false))
            select();
        if (m_grid->currentIndex().isValid())
            m_grid->scrollTo(m_grid->currentIndex());
    }

    QTableView* m_grid;
    TableStore* m_table;
    PassCounter m_moves;
    bool m_behind = false;
};

} // namespace

TableGridModel* bindGrid(QTableView* grid, TableStore* table, const QList<GridColumn>& columns)
{
    auto* model = new TableGridModel(table, columns, grid);
    grid->setModel(model);
    grid->setItemDelegate(new GridDelegate(grid));
    grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    grid->setSelectionMode(QAbstractItemView::SingleSelection);
    // The follower scrolls to the current row once the handler that moved it is done.
    grid->setAutoScroll(false);
    // The titles keep their face whatever row is selected: a selected whole row would set every
    // title in bold, wider than its column.
    grid->horizontalHeader()->setHighlightSections(false);
    // Uniform rows let the view place a million of them without asking for each.
    grid->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    grid->verticalHeader()->setDefaultSectionSize(grid->fontMetrics().height() + 4);
    for (int c = 0; c < columns.size(); ++c)
        grid->setColumnWidth(c, columnWidth(columns.at(c), grid->fontMetrics()));

    // A view lays all its rows out again and redraws them whenever their number changes; a card
    // batch adds one row a card and lets the window redraw after each, so that would redraw the
    // whole grid a card. Rows added are only rows to draw: the scroll range follows and the new
    // rows are drawn; fewer rows still take the view's own way.
    QObject::disconnect(grid->verticalHeader(), SIGNAL(sectionCountChanged(int, int)), grid, SLOT(rowCountChanged(int, int)));
    QObject::connect(grid->verticalHeader(), &QHeaderView::sectionCountChanged, grid, [grid](int oldCount, int newCount) {
        if (newCount < oldCount || oldCount == 0) {
            QMetaObject::invokeMethod(grid, "rowCountChanged", Q_ARG(int, oldCount), Q_ARG(int, newCount));
            return;
        }
        QMetaObject::invokeMethod(grid, "updateGeometries");
        const int top = grid->rowViewportPosition(oldCount);
        if (top < grid->viewport()->height())
            grid->viewport()->update(0, std::max(0, top), grid->viewport()->width(), grid->viewport()->height());
    });

    // A header shows only the titles, yet measures them all again whenever a cell changes, and a
    // card batch changes a row a card: the headers do not hear of cells.
    for (QHeaderView* header : {grid->horizontalHeader(), grid->verticalHeader()}) {
        QObject::disconnect(model, SIGNAL(dataChanged(QModelIndex, QModelIndex, QList<int>)), header,
                            SLOT(dataChanged(QModelIndex, QModelIndex, QList<int>)));
    }

    auto* follower = new CursorFollower(grid, table);
    // The selection model is replaced with the model; connect to the new one.
    QObject::connect(grid->selectionModel(), &QItemSelectionModel::currentRowChanged, table, [table](const QModelIndex& current) {
        Guard::run([&] {
            if (current.isValid() && current.row() != table->currentPosition())
                table->moveTo(current.row());
        });
    });
    QObject::connect(table, &TableStore::currentMoved, follower, &CursorFollower::moved);
    // A new range is rare and the rows are counted anew anyway: follow it at once.
    QObject::connect(model, &QAbstractItemModel::modelReset, follower, Guard::slot([follower] {
                         follower->select();
                         follower->moved();
                     }));
    follower->select();
    return model;
}
