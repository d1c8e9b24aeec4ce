#include "platform/ui/TableGrid.h"

#include <QHeaderView>
#include <QItemSelectionModel>
#include <QStyledItemDelegate>
#include <QTableView>

TableGridModel::TableGridModel(TableStore* table, QList<GridColumn> columns, QObject* parent)
    : QAbstractTableModel(parent)
    , m_table(table)
    , m_columns(std::move(columns))
{
    connect(m_table, &TableStore::rowsChanged, this, &TableGridModel::reload);
    reload();
}

void TableGridModel::reload()
{
    beginResetModel();
    m_pageStart = -1;
    m_page.clear();
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
    m_rows = m_table->isOpen() ? int(m_table->rowCount()) : 0;
    endResetModel();
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
    if (m_pageStart < 0 || row < m_pageStart || row >= m_pageStart + m_page.size()) {
        m_pageStart = row - row % PageSize;
        m_page = m_table->rows(m_pageStart, PageSize);
    }
    const int offset = row - m_pageStart;
    return offset < m_page.size() ? &m_page.at(offset) : nullptr;
}

QVariant TableGridModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= m_rows)
        return {};
    const GridColumn& column = m_columns.at(index.column());
    switch (role) {
    case Qt::DisplayRole: {
        const int field = m_fieldOf.at(index.column());
        const TableStore::Row* row = field < 0 ? nullptr : rowAt(index.row());
        if (!row || field >= row->values.size())
            return {};
        return m_table->textOf(field, row->values.at(field));
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

// Cells are laid out right to left, where a date such as "10 Dec 2026" or a negative number would
// come out reordered; each cell's text is isolated and takes its direction from its own first
// letter, so Latin and numeric texts read as written and Arabic ones stay right to left.
class IsolatingDelegate final : public QStyledItemDelegate
{
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override
    {
        QStyledItemDelegate::initStyleOption(option, index);
        if (!option->text.isEmpty())
            option->text = QChar(0x2068) + option->text + QChar(0x2069);
    }
};

int columnWidth(const GridColumn& c, const QFontMetrics& metrics)
{
    if (c.width > 0)
        return c.width;
    const int average = metrics.averageCharWidth();
    return std::max(c.displayWidth * average - average / 2 + 3, metrics.horizontalAdvance(c.title) + 4);
}

void selectCurrent(QTableView* grid, TableStore* table)
{
    const qint64 position = table->currentPosition();
    QItemSelectionModel* selection = grid->selectionModel();
    if (position < 0 || position >= grid->model()->rowCount()) {
        selection->clearSelection();
        return;
    }
    const QModelIndex index = grid->model()->index(int(position), std::max(0, grid->currentIndex().column()));
    if (grid->currentIndex().row() != index.row())
        selection->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    grid->scrollTo(index);
}

} // namespace

TableGridModel* bindGrid(QTableView* grid, TableStore* table, const QList<GridColumn>& columns)
{
    auto* model = new TableGridModel(table, columns, grid);
    grid->setModel(model);
    grid->setItemDelegate(new IsolatingDelegate(grid));
    grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    grid->setSelectionMode(QAbstractItemView::SingleSelection);
    // Uniform rows let the view place a million of them without asking for each.
    grid->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    grid->verticalHeader()->setDefaultSectionSize(grid->fontMetrics().height() + 4);
    for (int c = 0; c < columns.size(); ++c)
        grid->setColumnWidth(c, columnWidth(columns.at(c), grid->fontMetrics()));

    // The selection model is replaced with the model; connect to the new one.
    QObject::connect(grid->selectionModel(), &QItemSelectionModel::currentRowChanged, table,
                     [table](const QModelIndex& current) {
                         if (current.isValid() && current.row() != table->currentPosition())
                             table->moveTo(current.row());
                     });
    QObject::connect(table, &TableStore::currentChanged, grid, [grid, table] { selectCurrent(grid, table); });
    QObject::connect(model, &QAbstractItemModel::modelReset, grid, [grid, table] { selectCurrent(grid, table); });
    selectCurrent(grid, table);
    return model;
}
