#pragma once

#include "platform/store/TableStore.h"

#include <QAbstractTableModel>
#include <QColor>
#include <QList>
#include <functional>
#include <utility>

class QTableView;

// One column of a read-only grid over a table.
struct GridColumn
{
    QString field;
    QString title;
    int width = 0;        // pixels; 0: as wide as the title and displayWidth characters need
    int displayWidth = 8; // characters of the field, for a column without its own width
    Qt::Alignment alignment = Qt::AlignLeft;
    QColor background; // invalid: the grid's own
};

// Counts calls within one pass of the message loop: the first few are to be acted on at once,
// and the end of the pass, when the loop runs again, is announced once.
class PassCounter
{
public:
    PassCounter(QObject* context, int atOnce, std::function<void()> atEnd);
    // Counts a call: whether it is among the first few of its pass.
    bool atOnce();
    void restart() { m_count = 0; }

private:
    QObject* m_context;
    int m_atOnce;
    std::function<void()> m_atEnd;
    int m_count = 0;
    bool m_endQueued = false;
};

// The rows of a table in its order, read a page at a time as the grid scrolls, so a table of any
// size opens at once. Pages are read by key from the rows already held or from the table's
// current row, so showing the rows around the cursor costs the same in a table of any size; a
// row stored through the cursor is inserted or redrawn, not followed by a reset. Read-only.
class TableGridModel final : public QAbstractTableModel
{
    Q_OBJECT
public:
    TableGridModel(TableStore* table, QList<GridColumn> columns, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    const QList<GridColumn>& columns() const { return m_columns; }

    // A run that adds many rows after the last one (a card batch) has them announced together:
    // the view lays itself out again for every announcement, which costs more than a card. While
    // held, rows stored after the last are kept aside until announceAdded(); anything else stored
    // announces them first. Releasing the hold announces them.
    void holdAdded(bool hold);
    void announceAdded();

private:
    void reload();
    // A new range is read at once for the first few of a pass (or since the table was opened)
    // and then once, when the message loop runs again: a handler that walks a master's rows (a
    // recompute) gives its detail a new range a row, and the grid would count each.
    void newRange();
    void rowsChanged();
    void followStore();
    const TableStore::Row* rowAt(int row) const;
    void readPage(int row) const;
    void keepHeldAround(qint64 row) const;

    TableStore* m_table;
    QList<GridColumn> m_columns;
    int m_rows = 0;
    int m_insertedAt = -1; // while a row's insertion is being announced
    bool m_holdAdded = false;
    QList<TableStore::Row> m_added;                 // stored after the last row shown, not yet announced
    std::pair<qint64, qint64> m_lastStored{-1, -1}; // row id and place of the row stored last
    quint64 m_stamp = 0;                            // the table's range stamp the rows were counted under
    static constexpr int RangesFollowedAtOnce = 4;
    PassCounter m_ranges;
    bool m_reloadQueued = false; // until then the rows shown are the old range's
    bool m_loadedOpen = false;   // the table was open when the rows were last read
    QList<int> m_fieldOf;        // the table field behind each column, -1 while closed
    static constexpr int PageSize = 64;
    static constexpr int MaxHeld = 8 * PageSize;
    // Rows held: a stretch of the order starting at m_pageStart.
    mutable int m_pageStart = 0;
    mutable QList<TableStore::Row> m_page;
};

// Shows the table in the grid with the given columns and keeps the grid's selected row and the
// table's current row as one: selecting a row moves the table, moving the table selects the row.
TableGridModel* bindGrid(QTableView* grid, TableStore* table, const QList<GridColumn>& columns);
