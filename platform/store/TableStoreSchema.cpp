// The table's structure as the file declares it: field kinds and sizes, the fields the owner
// needs, and the index that orders the rows.
#include "platform/store/TableStore_p.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <algorithm>

namespace {

std::optional<TableStore::Field> fieldOfType(const QString& name, const QString& declaredType, bool isRowIdKey)
{
    static const QRegularExpression pattern(QStringLiteral("^\\s*([A-Za-z ]+?)\\s*(?:\\(\\s*(\\d+)\\s*\\))?\\s*$"));
    const QRegularExpressionMatch m = pattern.match(declaredType);
    if (!m.hasMatch())
        return std::nullopt;
    const QString type = m.captured(1).toUpper();
    const int size = m.captured(2).toInt();
    using Kind = TableStore::FieldKind;
    if (isRowIdKey)
        return TableStore::Field{name, Kind::AutoInc, 0};
    if ((type == QLatin1String("VARCHAR") || type == QLatin1String("CHAR") || type == QLatin1String("TEXT")) && size > 0)
        return TableStore::Field{name, Kind::String, size};
    if (type == QLatin1String("SMALLINT"))
        return TableStore::Field{name, Kind::SmallInt, 0};
    if (type == QLatin1String("INTEGER") || type == QLatin1String("INT"))
        return TableStore::Field{name, Kind::Integer, 0};
    if (type == QLatin1String("FLOAT") || type == QLatin1String("DOUBLE") || type == QLatin1String("REAL"))
        return TableStore::Field{name, Kind::Float, 0};
    return std::nullopt;
}

} // namespace

void TableStore::readStructure()
{
    const QString stem = QFileInfo(m_tableName).completeBaseName();
    {
        Sqlite::Statement st(m_db.get(),
                             QStringLiteral("SELECT name FROM sqlite_master WHERE type = 'table' AND name = ? COLLATE NOCASE"));
        st.bind(1, stem);
        if (!st.step())
            throw AppError(QStringLiteral("%1 holds no table \"%2\"").arg(label(), stem));
        m_sqlName = st.text(0);
    }
    Sqlite::Statement st(m_db.get(), QStringLiteral("SELECT name, type, pk FROM pragma_table_info(?) ORDER BY cid"));
    st.bind(1, m_sqlName);
    struct Column
    {
        QString name, type;
        int pk;
    };
    QList<Column> columns;
    while (st.step())
        columns.append({st.text(0), st.text(1), int(st.int64(2))});
    const auto keyColumns = std::count_if(columns.begin(), columns.end(), [](const Column& c) { return c.pk > 0; });
    m_fields.clear();
    for (const Column& c : std::as_const(columns)) {
        // Only a lone INTEGER key is the row id itself, numbered by the table.
        const bool rowIdKey = c.pk == 1 && keyColumns == 1 && c.type.compare(QLatin1String("INTEGER"), Qt::CaseInsensitive) == 0;
        const std::optional<Field> field = fieldOfType(c.name, c.type, rowIdKey);
        if (!field) {
            throw AppError(QStringLiteral("Field \"%1\" of table %2 has a type this program cannot use: \"%3\"")
                               .arg(c.name, label(), c.type));
        }
        m_fields.append(*field);
    }
}

namespace {

QString kindText(TableStore::FieldKind kind, int size)
{
    switch (kind) {
    case TableStore::FieldKind::String:
        return size > 0 ? QStringLiteral("a string of %1 bytes").arg(size) : QStringLiteral("a string");
    case TableStore::FieldKind::SmallInt:
        return QStringLiteral("a small integer");
    case TableStore::FieldKind::Integer:
        return QStringLiteral("an integer");
    case TableStore::FieldKind::Float:
        return QStringLiteral("a float");
    case TableStore::FieldKind::AutoInc:
        return QStringLiteral("an auto-increment serial");
    }
    return QString();
}

} // namespace

void TableStore::checkNeeds() const
{
    for (const FieldNeed& need : m_needs) {
        const auto found = std::find_if(m_fields.begin(), m_fields.end(),
                                        [&](const Field& f) { return f.name.compare(need.name, Qt::CaseInsensitive) == 0; });
        if (found == m_fields.end())
            throw AppError(QStringLiteral("Table %1 has no field \"%2\"").arg(label(), need.name));
        const bool kindFits = need.kinds.contains(found->kind);
        if (kindFits && (found->kind != FieldKind::String || found->size >= need.minSize))
            continue;
        QStringList wanted;
        for (FieldKind kind : need.kinds)
            wanted.append(kindText(kind, kind == FieldKind::String ? need.minSize : 0));
        throw AppError(QStringLiteral("Field \"%1\" of table %2 is %3; this program needs %4%5")
                           .arg(found->name, label(), kindText(found->kind, found->size), wanted.join(QStringLiteral(" or ")),
                                need.minSize > 0 && kindFits ? QStringLiteral(" or more") : QString()));
    }
}

void TableStore::resolveOrder()
{
    QList<int> primaryKey;
    {
        Sqlite::Statement st(m_db.get(), QStringLiteral("SELECT name FROM pragma_table_info(?) WHERE pk > 0 ORDER BY pk"));
        st.bind(1, m_sqlName);
        while (st.step())
            primaryKey.append(fieldIndex(st.text(0)));
    }
    auto indexFields = [&](const QString& index) {
        QList<int> fields;
        Sqlite::Statement st(m_db.get(), QStringLiteral("SELECT name FROM pragma_index_info(?) ORDER BY seqno"));
        st.bind(1, index);
        while (st.step()) {
            if (st.isNull(0))
                throw AppError(QStringLiteral("Index \"%1\" of table %2 is not on fields").arg(index, label()));
            fields.append(fieldIndex(st.text(0)));
        }
        return fields;
    };
    QStringList indexes;
    QStringList uniqueIndexes;
    {
        Sqlite::Statement st(m_db.get(), QStringLiteral("SELECT name, \"unique\" FROM pragma_index_list(?)"));
        st.bind(1, m_sqlName);
        while (st.step()) {
            indexes.append(st.text(0));
            if (st.int64(1))
                uniqueIndexes.append(st.text(0));
        }
    }

    QList<int> order;
    if (!m_indexName.isEmpty()) {
        const auto found = std::find_if(indexes.begin(), indexes.end(),
                                        [&](const QString& name) { return name.compare(m_indexName, Qt::CaseInsensitive) == 0; });
        if (found == indexes.end())
            throw AppError(QStringLiteral("Index \"%1\" not found in table %2").arg(m_indexName, label()));
        order = indexFields(*found);
    } else if (!m_indexFieldNames.isEmpty()) {
        QList<int> wanted;
        for (const QString& name : m_indexFieldNames.split(QLatin1Char(';'), Qt::SkipEmptyParts))
            wanted.append(fieldIndex(name.trimmed()));
        if (primaryKey.mid(0, wanted.size()) == wanted) {
            order = primaryKey;
        } else {
            for (const QString& index : std::as_const(indexes)) {
                const QList<int> fields = indexFields(index);
                if (fields.mid(0, wanted.size()) == wanted) {
                    order = fields;
                    break;
                }
            }
            if (order.isEmpty())
                throw AppError(QStringLiteral("No index on \"%1\" in table %2").arg(m_indexFieldNames, label()));
        }
    } else {
        order = primaryKey;
    }
    m_keyField = order.value(0, -1);
    if (m_master && m_keyField < 0)
        throw AppError(QStringLiteral("Table %1 needs an index to follow its master").arg(label()));
    // The row id follows every order; a trailing row-id field would only repeat it.
    if (!order.isEmpty() && m_fields.at(order.last()).kind == FieldKind::AutoInc)
        order.removeLast();
    m_order = order;
    // Rows whose order fields all have values never tie on a unique index that compares them as
    // the order does: the row id need not break the tie.
    auto comparesAsOrdered = [&](const QString& index) {
        Sqlite::Statement st(m_db.get(),
                             QStringLiteral("SELECT name, coll FROM pragma_index_xinfo(?) WHERE key = 1 ORDER BY seqno"));
        st.bind(1, index);
        while (st.step()) {
            const char* columnCollation = nullptr;
            if (st.isNull(0)
                || sqlite3_table_column_metadata(m_db.get(), "main", m_sqlName.toUtf8().constData(),
                                                 st.text(0).toUtf8().constData(), nullptr, &columnCollation, nullptr, nullptr,
                                                 nullptr)
                    != SQLITE_OK
                || !columnCollation || st.text(1).compare(QLatin1String(columnCollation), Qt::CaseInsensitive) != 0)
                return false;
        }
        return true;
    };
    m_orderUnique = !order.isEmpty() && std::any_of(uniqueIndexes.begin(), uniqueIndexes.end(), [&](const QString& index) {
        return indexFields(index) == order && comparesAsOrdered(index);
    });
}
