// Queries in key order: the SQL behind every read of the cursor and the grid.
#include "platform/store/TableStore_p.h"

#include <algorithm>

using TableStorePrivate::quoted;
using TableStorePrivate::sameValue;

QString TableStore::nameOf(int field) const
{
    return field == RowId ? QStringLiteral("rowid") : quoted(m_fields.at(field).name);
}

QString TableStore::selectList() const
{
    QString list = QStringLiteral("rowid");
    for (qsizetype f = 0; f < m_fields.size(); ++f)
        list += QStringLiteral(", ") + nameOf(int(f));
    return list;
}

QString TableStore::orderBy(bool descending) const
{
    const QString direction = descending ? QStringLiteral(" DESC") : QString();
    QString sql;
    for (int f : m_order)
        sql += nameOf(f) + direction + QStringLiteral(", ");
    return sql + QStringLiteral("rowid") + direction;
}

TableStore::Row TableStore::readRow(const Sqlite::Statement& st) const
{
    Row row;
    row.rowId = st.int64(0);
    row.values.reserve(m_fields.size());
    for (qsizetype i = 0; i < m_fields.size(); ++i) {
        const int column = int(i) + 1;
        if (st.isNull(column)) {
            row.values.append(QVariant());
            continue;
        }
        switch (m_fields.at(i).kind) {
        case FieldKind::String:
            row.values.append(st.text(column));
            break;
        case FieldKind::Float:
            row.values.append(st.real(column));
            break;
        default:
            row.values.append(st.int64(column));
        }
    }
    return row;
}

// Statements are kept by the shape of their conditions, so a move costs no SQL text once its
// shape has been seen.
QByteArray TableStore::shapeOf(char query, const QList<Condition>& conditions)
{
    QByteArray shape(1, query);
    for (const Condition& c : conditions) {
        shape += char(c.field + 2);
        shape += char(c.op);
    }
    return shape;
}

QString TableStore::whereClause(const QList<Condition>& conditions) const
{
    QStringList parts;
    for (const Condition& c : conditions) {
        static const char* const ops[] = {" IS ?", " IS NULL", " IS NOT NULL", " > ?", " < ?"};
        parts.append(nameOf(c.field) + QLatin1String(ops[int(c.op)]));
    }
    return parts.isEmpty() ? QString() : QStringLiteral(" WHERE ") + parts.join(QStringLiteral(" AND "));
}

int TableStore::bindAll(Sqlite::Statement& st, const QList<Condition>& conditions)
{
    int index = 0;
    for (const Condition& c : conditions) {
        if (c.op != Op::IsNull && c.op != Op::IsNotNull)
            st.bind(++index, c.value);
    }
    return index;
}

void TableStore::eachRow(const QList<Condition>& where, bool descending, qint64 limit, qint64 offset,
                         const std::function<void(const Sqlite::Statement&)>& onRow) const
{
    Sqlite::Statement& st = statement(shapeOf(descending ? 'd' : 'a', where), [&] {
        return QStringLiteral("SELECT %1 FROM %2%3 ORDER BY %4 LIMIT ? OFFSET ?")
            .arg(selectList(), quoted(m_sqlName), whereClause(where), orderBy(descending));
    });
    Sqlite::Use use(st);
    const int bound = bindAll(st, where);
    st.bind(bound + 1, limit);
    st.bind(bound + 2, offset);
    while (st.step())
        onRow(st);
}

QList<TableStore::Row> TableStore::select(const QList<Condition>& where, bool descending, qint64 limit, qint64 offset) const
{
    QList<Row> rows;
    eachRow(where, descending, limit, offset, [&](const Sqlite::Statement& st) { rows.append(readRow(st)); });
    return rows;
}

std::optional<TableStore::Row> TableStore::fetchRow(const QList<Condition>& where, bool descending) const
{
    QList<Row> rows = select(where, descending, 1);
    if (rows.isEmpty())
        return std::nullopt;
    return rows.takeFirst();
}

std::optional<TableStore::Row> TableStore::fetchById(qint64 rowId) const
{
    return fetchRow({{RowId, Op::Is, rowId}}, false);
}

qint64 TableStore::count(const QList<Condition>& where) const
{
    Sqlite::Statement& st = statement(shapeOf('c', where), [&] {
        return QStringLiteral("SELECT count(*) FROM %1%2").arg(quoted(m_sqlName), whereClause(where));
    });
    Sqlite::Use use(st);
    bindAll(st, where);
    st.step();
    return st.int64(0);
}

QList<TableStore::Condition> TableStore::viewConditions() const
{
    if (!m_link.active)
        return {};
    return {{m_keyField, Op::Is, m_link.value}};
}

bool TableStore::inView(const Row& row) const
{
    return !m_link.active || sameValue(row.values.at(m_keyField), m_link.value);
}

bool TableStore::mayTie(const Row& row) const
{
    return !m_orderUnique || std::any_of(m_order.begin(), m_order.end(), [&](int f) { return row.values.at(f).isNull(); });
}

// The rows after a row, as alternatives tried in turn: the first that yields a row yields the
// next one. Each alternative fixes a prefix of the order and bounds one field, so each is one
// seek in the index. Empty fields sort first, so nothing lies below an empty field's value.
QList<QList<TableStore::Condition>> TableStore::seekAfter(const Row& row) const
{
    QList<QList<Condition>> alternatives;
    QList<Condition> prefix;
    for (int f : m_order)
        prefix.append({f, Op::Is, row.values.at(f)});
    if (mayTie(row))
        alternatives.append(prefix + QList<Condition>{{RowId, Op::Above, row.rowId}});
    while (!prefix.isEmpty()) {
        const Condition last = prefix.takeLast();
        alternatives.append(prefix
                            + QList<Condition>{last.value.isNull() ? Condition{last.field, Op::IsNotNull, {}}
                                                                   : Condition{last.field, Op::Above, last.value}});
    }
    return alternatives;
}

// The rows before a row, as disjoint parts in order: counted together they give the row's place,
// and taken from the last they are the alternatives that yield the rows before it, nearest first.
QList<QList<TableStore::Condition>> TableStore::seekBefore(const Row& row) const
{
    QList<QList<Condition>> parts;
    QList<Condition> prefix;
    for (int f : m_order) {
        const QVariant& v = row.values.at(f);
        if (!v.isNull()) {
            parts.append(prefix + QList<Condition>{{f, Op::IsNull, {}}});
            parts.append(prefix + QList<Condition>{{f, Op::Below, v}});
        }
        prefix.append({f, Op::Is, v});
    }
    if (mayTie(row))
        parts.append(prefix + QList<Condition>{{RowId, Op::Below, row.rowId}});
    return parts;
}

qint64 TableStore::rowCount() const
{
    if (!isOpen())
        return 0;
    if (!m_rowCount)
        m_rowCount = guarded([&] { return count(viewConditions()); });
    return *m_rowCount;
}

double TableStore::sumOf(const QString& field) const
{
    requireOpen();
    const int f = fieldIndex(field);
    const FieldKind kind = m_fields.at(f).kind;
    if (kind == FieldKind::String)
        throw AppError(QStringLiteral("Field '%1' of table %2 is not a number field").arg(field, label()));
    return guarded([&] {
        const QList<Condition> where = viewConditions();
        Sqlite::Statement& st = statement(shapeOf('s', where) + '#' + QByteArray::number(f), [&] {
            return QStringLiteral("SELECT %1 FROM %2%3 ORDER BY %4")
                .arg(quoted(m_fields.at(f).name), quoted(m_sqlName), whereClause(where), orderBy(false));
        });
        Sqlite::Use use(st);
        bindAll(st, where);
        double sum = 0;
        while (st.step()) {
            if (!st.isNull(0))
                sum += kind == FieldKind::Float ? st.real(0) : double(st.int64(0));
        }
        return sum;
    });
}

QList<TableStore::Row> TableStore::rows(qint64 first, int count) const
{
    if (!isOpen() || first < 0 || count <= 0)
        return {};
    const qint64 total = rowCount();
    if (first >= total)
        return {};
    const qint64 end = std::min(total, first + count);
    if (first <= total - end)
        return guarded([&] { return select(viewConditions(), false, end - first, first); });
    // Nearer the end: skip the rows after them instead.
    QList<Row> found = guarded([&] { return select(viewConditions(), true, end - first, total - end); });
    std::reverse(found.begin(), found.end());
    return found;
}

QList<TableStore::Row> TableStore::rowsAfter(const Row& row, int count) const
{
    if (!isOpen() || count <= 0)
        return {};
    return guarded([&] { return rowsBeside(row, count, true); });
}

QList<TableStore::Row> TableStore::rowsBefore(const Row& row, int count) const
{
    if (!isOpen() || count <= 0)
        return {};
    return guarded([&] { return rowsBeside(row, count, false); });
}

// Each alternative of the seek yields the rows of one stretch of the order, in order, and the
// stretches follow one another; so their rows, taken in turn, are the rows beside the row. A
// stretch that leaves a detail's key cannot hold any of its rows and is not asked.
QList<TableStore::Row> TableStore::rowsBeside(const Row& row, int count, bool after) const
{
    QList<Row> found;
    eachRowBeside(row, count, after, [&](const Sqlite::Statement& st) { found.append(readRow(st)); });
    return found;
}

void TableStore::eachRowBeside(const Row& row, int count, bool after,
                               const std::function<void(const Sqlite::Statement&)>& onRow) const
{
    int found = 0;
    QList<QList<Condition>> seeks = after ? seekAfter(row) : seekBefore(row);
    if (!after)
        std::reverse(seeks.begin(), seeks.end());
    for (const QList<Condition>& seek : std::as_const(seeks)) {
        if (found >= count)
            break;
        if (m_link.active
            && std::any_of(seek.begin(), seek.end(), [&](const Condition& c) { return c.field == m_keyField && c.op != Op::Is; }))
            continue;
        eachRow(viewConditions() + seek, !after, count - found, 0, [&](const Sqlite::Statement& st) {
            ++found;
            onRow(st);
        });
    }
}

qint64 TableStore::currentPosition() const
{
    if (!isOpen() || !hasCurrent() || !inView(*current()))
        return -1;
    if (!m_position) {
        m_position = guarded([&] {
            qint64 position = 0;
            for (const QList<Condition>& part : seekBefore(*current()))
                position += count(viewConditions() + part);
            return position;
        });
    }
    return *m_position;
}

// ---- Rows as the file gave them -----------------------------------------------------------------

void TableStore::RawRows::clear()
{
    // Kept allocated: the next window reuses the space.
    m_rowIds.clear();
    m_cells.clear();
    m_text.clear();
}

// Each field is taken as readRow takes it (a text field as text whatever the file holds), so a
// value made later is the value readRow makes.
void TableStore::RawRows::append(const Sqlite::Statement& st, const QList<Field>& fields)
{
    m_rowIds.push_back(sqlite3_value_int64(st.value(0)));
    for (qsizetype i = 0; i < fields.size(); ++i) {
        sqlite3_value* column = st.value(int(i) + 1);
        Cell& cell = m_cells.emplace_back();
        if (sqlite3_value_type(column) == SQLITE_NULL)
            continue;
        cell.null = false;
        switch (fields.at(i).kind) {
        case FieldKind::String: {
            const auto* chars = reinterpret_cast<const char*>(sqlite3_value_text(column));
            cell.number = qint64(m_text.size());
            cell.size = sqlite3_value_bytes(column);
            m_text.append(chars, size_t(cell.size));
            break;
        }
        case FieldKind::Float:
            cell.real = sqlite3_value_double(column);
            break;
        default:
            cell.number = sqlite3_value_int64(column);
        }
    }
}

QString TableStore::RawRows::text(qsizetype row, int field, const QList<Field>& fields) const
{
    const Cell& cell = m_cells[size_t(row * fields.size() + field)];
    return cell.null ? QString() : QString::fromUtf8(m_text.data() + cell.number, cell.size);
}

QVariant TableStore::RawRows::value(qsizetype row, int field, const QList<Field>& fields) const
{
    const Cell& cell = m_cells[size_t(row * fields.size() + field)];
    if (cell.null)
        return QVariant();
    switch (fields.at(field).kind) {
    case FieldKind::String:
        return text(row, field, fields);
    case FieldKind::Float:
        return cell.real;
    default:
        return cell.number;
    }
}

TableStore::Row TableStore::RawRows::row(qsizetype row, const QList<Field>& fields) const
{
    Row made;
    made.rowId = rowId(row);
    made.values.reserve(fields.size());
    for (qsizetype f = 0; f < fields.size(); ++f)
        made.values.append(value(row, int(f), fields));
    return made;
}
