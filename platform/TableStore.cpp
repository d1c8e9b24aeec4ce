#include "platform/TableStore.h"

#include "platform/CodePage.h"
#include "platform/Regional.h"
#include "platform/WinPath.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

namespace {

QString quoted(QString name)
{
    return QLatin1Char('"') + name.replace(QLatin1Char('"'), QStringLiteral("\"\"")) + QLatin1Char('"');
}

bool sameValue(const QVariant& a, const QVariant& b)
{
    if (a.isNull() || b.isNull())
        return a.isNull() == b.isNull();
    return a.toString() == b.toString();
}

// The kind and size that a declared type stands for, or nothing for a type the store cannot use.
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

bool TableStore::LinkState::operator==(const LinkState& other) const
{
    return active == other.active && (!active || sameValue(value, other.value));
}

TableStore::TableStore(QObject* parent)
    : QObject(parent)
{
}

TableStore::~TableStore()
{
    if (m_master)
        m_master->m_details.removeAll(this);
    for (TableStore* detail : std::as_const(m_details))
        detail->m_master = nullptr;
    m_statements.clear();
}

// ---- Errors -------------------------------------------------------------------------------------

QString TableStore::windowsPath() const
{
    return m_directory + QLatin1Char('\\') + m_tableName;
}

QString TableStore::label() const
{
    return QStringLiteral("\"%1\"").arg(windowsPath());
}

void TableStore::requireOpen() const
{
    if (!isOpen()) {
        throw AppError(m_tableName.isEmpty() ? QStringLiteral("Cannot perform this operation on a closed table")
                                             : QStringLiteral("Cannot perform this operation on the closed table \"%1\"")
                                                   .arg(m_tableName));
    }
}

void TableStore::requireWritable() const
{
    requireOpen();
    if (m_readOnly)
        throw AppError(QStringLiteral("Table %1 is open read-only").arg(label()));
}

void TableStore::requireClosed() const
{
    if (isOpen())
        throw AppError(QStringLiteral("Cannot change the table %1 while it is open").arg(label()));
}

int TableStore::fieldIndex(const QString& name) const
{
    for (qsizetype i = 0; i < m_fields.size(); ++i) {
        if (m_fields.at(i).name.compare(name, Qt::CaseInsensitive) == 0)
            return int(i);
    }
    throw AppError(QStringLiteral("Field \"%1\" not found in table %2").arg(name, label()));
}

void TableStore::rethrow(const Sqlite::Failure& failure) const
{
    switch (failure.primaryCode()) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        throw AppError(QStringLiteral("Table %1 is locked by another program").arg(label()));
    case SQLITE_NOTADB:
        throw AppError(QStringLiteral("%1 is not a table file").arg(label()));
    case SQLITE_CORRUPT:
        throw AppError(QStringLiteral("Table %1 is damaged: %2").arg(label(), failure.text()));
    case SQLITE_CONSTRAINT:
        if (failure.code() == SQLITE_CONSTRAINT_PRIMARYKEY || failure.code() == SQLITE_CONSTRAINT_UNIQUE)
            throw AppError(QStringLiteral("Key violation: table %1 already holds a row with this key").arg(label()));
        if (failure.code() == SQLITE_CONSTRAINT_NOTNULL) {
            // SQLite names the field as "table.field".
            const QString field = failure.text().section(QLatin1Char('.'), -1);
            throw AppError(QStringLiteral("Field \"%1\" of table %2 must have a value").arg(field, label()));
        }
        break;
    default:
        break;
    }
    throw AppError(QStringLiteral("Table %1: %2").arg(label(), failure.text()));
}

template<typename F>
auto TableStore::guarded(F&& body) const -> decltype(body())
{
    try {
        return body();
    } catch (const Sqlite::Failure& failure) {
        rethrow(failure);
    }
}

// ---- Settings -----------------------------------------------------------------------------------

void TableStore::setDirectory(const QString& windowsDirectory)
{
    if (windowsDirectory == m_directory)
        return;
    requireClosed();
    m_directory = windowsDirectory;
}

void TableStore::setTableName(const QString& fileName)
{
    if (fileName == m_tableName)
        return;
    requireClosed();
    m_tableName = fileName;
}

void TableStore::setIndexName(const QString& name)
{
    requireClosed();
    m_indexName = name;
    m_indexFieldNames.clear();
}

void TableStore::setIndexFieldNames(const QString& fieldNames)
{
    requireClosed();
    m_indexFieldNames = fieldNames;
    m_indexName.clear();
}

void TableStore::setNeededFields(QList<FieldNeed> needs)
{
    requireClosed();
    m_needs = std::move(needs);
}

void TableStore::setReadOnly(bool readOnly)
{
    requireClosed();
    m_readOnly = readOnly;
}

void TableStore::LinkToMaster(const QString& indexName, TableStore* master, const QString& masterField)
{
    requireClosed();
    if (m_master)
        m_master->m_details.removeAll(this);
    m_master = master;
    m_masterField = masterField;
    if (master) {
        m_indexName = indexName;
        m_indexFieldNames.clear();
        master->m_details.append(this);
    }
}

// ---- Opening ------------------------------------------------------------------------------------

void TableStore::OpenTable(const QString& windowsDirectory, const QString& fileName)
{
    setDirectory(windowsDirectory);
    setTableName(fileName);
    OpenTable();
}

void TableStore::OpenTable()
{
    if (isOpen())
        return;
    if (m_tableName.isEmpty())
        throw AppError(QStringLiteral("No table name given"));
    const WinPath::Resolved place = WinPath::resolve(windowsPath());
    if (place.localPath.isEmpty())
        throw AppError(QStringLiteral("Cannot open table %1. %2").arg(label(), place.error));
    // Opening never creates: a missing table is an error, not a new empty file.
    if (!QFileInfo(place.localPath).isFile())
        throw AppError(QStringLiteral("Table %1 does not exist").arg(label()));

    guarded([&] {
        try {
            m_db = Sqlite::open(place.localPath, m_readOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE);
            sqlite3_busy_timeout(m_db.get(), LockWaitMs);
            Sqlite::exec(m_db.get(), QStringLiteral("PRAGMA synchronous=FULL"));
            readStructure();
            checkNeeds();
            resolveOrder();
            m_link = masterLinkState();
            m_rowCount.reset();
            settleOnEdge(false);
        } catch (...) {
            forget();
            throw;
        }
    });
    emit rowsChanged();
    currentMoved();
}

void TableStore::CloseTable()
{
    if (!isOpen())
        return;
    forget();
    emit rowsChanged();
    currentMoved();
}

void TableStore::forget()
{
    m_pending.reset();
    m_current.reset();
    m_atEnd = true;
    m_unit.reset();
    m_rowCount.reset();
    m_link = {};
    m_statements.clear();
    m_db.reset();
    m_fields.clear();
    m_order.clear();
    m_keyField = -1;
}

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
        const auto found = std::find_if(m_fields.begin(), m_fields.end(), [&](const Field& f) {
            return f.name.compare(need.name, Qt::CaseInsensitive) == 0;
        });
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
    {
        Sqlite::Statement st(m_db.get(), QStringLiteral("SELECT name FROM pragma_index_list(?)"));
        st.bind(1, m_sqlName);
        while (st.step())
            indexes.append(st.text(0));
    }

    QList<int> order;
    if (!m_indexName.isEmpty()) {
        const auto found = std::find_if(indexes.begin(), indexes.end(), [&](const QString& name) {
            return name.compare(m_indexName, Qt::CaseInsensitive) == 0;
        });
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
}

// ---- Reading ------------------------------------------------------------------------------------

template<typename MakeSql>
Sqlite::Statement& TableStore::statement(const QByteArray& shape, MakeSql&& makeSql) const
{
    auto it = m_statements.find(shape);
    if (it == m_statements.end())
        it = m_statements.try_emplace(shape, m_db.get(), makeSql()).first;
    return it->second;
}

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

TableStore::Row TableStore::readRow(Sqlite::Statement& st) const
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

QList<TableStore::Row> TableStore::select(const QList<Condition>& where, bool descending, qint64 limit, qint64 offset) const
{
    Sqlite::Statement& st = statement(shapeOf(descending ? 'd' : 'a', where), [&] {
        return QStringLiteral("SELECT %1 FROM %2%3 ORDER BY %4 LIMIT ? OFFSET ?")
            .arg(selectList(), quoted(m_sqlName), whereClause(where), orderBy(descending));
    });
    Sqlite::Use use(st);
    const int bound = bindAll(st, where);
    st.bind(bound + 1, limit);
    st.bind(bound + 2, offset);
    QList<Row> rows;
    while (st.step())
        rows.append(readRow(st));
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

// The rows after a row, as alternatives tried in turn: the first that yields a row yields the
// next one. Each alternative fixes a prefix of the order and bounds one field, so each is one
// seek in the index. Empty fields sort first, so nothing lies below an empty field's value.
QList<QList<TableStore::Condition>> TableStore::seekAfter(const Row& row) const
{
    QList<QList<Condition>> alternatives;
    QList<Condition> prefix;
    for (int f : m_order)
        prefix.append({f, Op::Is, row.values.at(f)});
    alternatives.append(prefix + QList<Condition>{{RowId, Op::Above, row.rowId}});
    while (!prefix.isEmpty()) {
        const Condition last = prefix.takeLast();
        alternatives.append(prefix
                            + QList<Condition>{last.value.isNull() ? Condition{last.field, Op::IsNotNull, {}}
                                                                   : Condition{last.field, Op::Above, last.value}});
    }
    return alternatives;
}

// The rows before a row, as disjoint parts to be counted together.
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

QList<TableStore::Row> TableStore::rows(qint64 first, int count) const
{
    if (!isOpen() || first < 0 || count <= 0)
        return {};
    return guarded([&] { return select(viewConditions(), false, count, first); });
}

qint64 TableStore::currentPosition() const
{
    if (!isOpen() || !m_current || !inView(*m_current))
        return -1;
    return guarded([&] {
        qint64 position = 0;
        for (const QList<Condition>& part : seekBefore(*m_current))
            position += count(viewConditions() + part);
        return position;
    });
}

void TableStore::moveTo(qint64 position)
{
    requireOpen();
    guarded([&] {
        storeBeforeLeaving();
        if (position < 0)
            return;
        QList<Row> found = select(viewConditions(), false, 1, position);
        if (found.isEmpty())
            return;
        setCurrent(found.takeFirst(), false);
        currentMoved();
    });
}

// ---- Fields -------------------------------------------------------------------------------------

QString TableStore::textOf(int field, const QVariant& value) const
{
    if (value.isNull())
        return QString();
    switch (m_fields.at(field).kind) {
    case FieldKind::String:
        return value.toString();
    case FieldKind::Float:
        return Regional::formatGeneral(value.toDouble());
    default:
        return QString::number(value.toLongLong());
    }
}

QVariant TableStore::checkedInteger(int field, qint64 value) const
{
    const Field& f = m_fields.at(field);
    qint64 low = std::numeric_limits<qint32>::min();
    qint64 high = std::numeric_limits<qint32>::max();
    switch (f.kind) {
    case FieldKind::String:
        return converted(field, QString::number(value));
    case FieldKind::Float:
        return double(value);
    case FieldKind::SmallInt:
        low = std::numeric_limits<qint16>::min();
        high = std::numeric_limits<qint16>::max();
        break;
    default:
        break;
    }
    if (value < low || value > high) {
        throw AppError(QStringLiteral("%1 is not a valid value for field \"%2\". The allowed range is %3 to %4")
                           .arg(value)
                           .arg(f.name)
                           .arg(low)
                           .arg(high));
    }
    return value;
}

QVariant TableStore::converted(int field, const QString& text) const
{
    if (text.isEmpty())
        return QVariant();
    const Field& f = m_fields.at(field);
    switch (f.kind) {
    case FieldKind::String:
        // What the table keeps is what the code page holds, cut to the field's size.
        return CodePage::toUnicode(CodePage::fromUnicode(text).left(f.size));
    case FieldKind::Float:
        return Regional::parseDecimal(text);
    default:
        return checkedInteger(field, Regional::parseWholeNumber(text));
    }
}

QVariant TableStore::currentValue(int field) const
{
    if (m_pending)
        return m_pending->values.at(field);
    if (m_current)
        return m_current->values.at(field);
    return QVariant();
}

int TableStore::pendingField(const QString& name) const
{
    requireOpen();
    const int f = fieldIndex(name);
    if (!m_pending)
        throw AppError(QStringLiteral("Table %1 has no row being inserted or changed").arg(label()));
    if (m_fields.at(f).kind == FieldKind::AutoInc)
        throw AppError(QStringLiteral("Field \"%1\" is numbered by the table and cannot be set").arg(m_fields.at(f).name));
    return f;
}

void TableStore::setPendingValue(int field, const QVariant& value)
{
    m_pending->values[field] = value;
    m_pending->changed[field] = true;
    emit currentChanged();
    notifyDetails(false);
}

void TableStore::SetFieldText(const QString& field, const QString& text)
{
    const int f = pendingField(field);
    setPendingValue(f, converted(f, text));
}

void TableStore::SetFieldInteger(const QString& field, qint64 value)
{
    const int f = pendingField(field);
    setPendingValue(f, checkedInteger(f, value));
}

void TableStore::SetFieldFloat(const QString& field, double value)
{
    const int f = pendingField(field);
    // Beyond 1e18 a whole number no longer fits 64 bits, so it cannot be a valid integer either.
    const bool integral = m_fields.at(f).kind == FieldKind::SmallInt || m_fields.at(f).kind == FieldKind::Integer;
    if (!std::isfinite(value) || (integral && std::abs(value) > 1e18))
        throw AppError(QStringLiteral("%1 is not a valid value for field \"%2\"").arg(value).arg(m_fields.at(f).name));
    switch (m_fields.at(f).kind) {
    case FieldKind::Float:
        setPendingValue(f, value);
        break;
    case FieldKind::String:
        setPendingValue(f, converted(f, Regional::formatGeneral(value)));
        break;
    default:
        setPendingValue(f, checkedInteger(f, std::llround(value)));
    }
}

QString TableStore::GetFieldText(const QString& field) const
{
    requireOpen();
    const int f = fieldIndex(field);
    return textOf(f, currentValue(f));
}

double TableStore::GetFieldFloat(const QString& field) const
{
    requireOpen();
    const int f = fieldIndex(field);
    const QVariant v = currentValue(f);
    if (v.isNull())
        return 0;
    return m_fields.at(f).kind == FieldKind::String ? Regional::parseDecimal(v.toString()) : v.toDouble();
}

qint64 TableStore::GetFieldInteger(const QString& field) const
{
    requireOpen();
    const int f = fieldIndex(field);
    const QVariant v = currentValue(f);
    if (v.isNull())
        return 0;
    switch (m_fields.at(f).kind) {
    case FieldKind::String:
        return Regional::parseWholeNumber(v.toString());
    case FieldKind::Float:
        return std::llround(v.toDouble());
    default:
        return v.toLongLong();
    }
}

// ---- Cursor -------------------------------------------------------------------------------------

TableStore::Pending TableStore::pending() const
{
    if (!m_pending)
        return Pending::None;
    return m_pending->isNew ? Pending::New : Pending::Changed;
}

void TableStore::setCurrent(std::optional<Row> row, bool atEnd)
{
    m_current = std::move(row);
    m_atEnd = atEnd;
}

void TableStore::currentMoved()
{
    emit currentChanged();
    notifyDetails(true);
}

void TableStore::settleOnEdge(bool last)
{
    const std::optional<Row> row = fetchRow(viewConditions(), last);
    setCurrent(row, !row);
}

void TableStore::MoveFirst()
{
    requireOpen();
    guarded([&] {
        storeBeforeLeaving();
        settleOnEdge(false);
        currentMoved();
    });
}

void TableStore::MoveLast()
{
    requireOpen();
    guarded([&] {
        storeBeforeLeaving();
        settleOnEdge(true);
        currentMoved();
    });
}

void TableStore::MoveNext()
{
    requireOpen();
    guarded([&] {
        storeBeforeLeaving();
        if (m_current) {
            for (const QList<Condition>& seek : seekAfter(*m_current)) {
                if (std::optional<Row> next = fetchRow(viewConditions() + seek, false)) {
                    setCurrent(std::move(next), false);
                    currentMoved();
                    return;
                }
            }
        }
        // Past the last row the current row stays where it was.
        m_atEnd = true;
    });
}

bool TableStore::AtEnd() const
{
    requireOpen();
    return m_atEnd;
}

bool TableStore::FindByKey(const QString& text)
{
    requireOpen();
    return guarded([&] {
        storeBeforeLeaving();
        if (m_keyField < 0)
            throw AppError(QStringLiteral("Table %1 has no key to search").arg(label()));
        const QVariant key = converted(m_keyField, text);
        const std::optional<Row> found = fetchRow(viewConditions() + QList<Condition>{{m_keyField, Op::Is, key}}, false);
        if (!found)
            return false;
        setCurrent(found, false);
        currentMoved();
        return true;
    });
}

void TableStore::InsertRow()
{
    requireWritable();
    guarded([&] {
        storeBeforeLeaving();
        PendingRow row;
        row.values.resize(m_fields.size());
        row.changed.fill(false, m_fields.size());
        if (m_link.active) {
            row.values[m_keyField] = converted(m_keyField, m_master->textOf(m_master->fieldIndex(m_masterField), m_link.value));
            row.changed[m_keyField] = true;
        }
        m_pending = std::move(row);
        emit currentChanged();
        notifyDetails(false);
    });
}

void TableStore::EditRow()
{
    requireWritable();
    guarded([&] {
        storeBeforeLeaving();
        // Take the row as the file holds it now, not as it was read.
        const std::optional<Row> row = m_current ? fetchById(m_current->rowId) : std::nullopt;
        if (!row)
            throw AppError(QStringLiteral("Table %1 has no current row to change").arg(label()));
        m_current = row;
        m_pending = PendingRow{false, row->rowId, row->values, QList<bool>(m_fields.size(), false)};
        emit currentChanged();
    });
}

void TableStore::PostRow()
{
    requireOpen();
    if (!m_pending)
        throw AppError(QStringLiteral("Table %1 has no row being inserted or changed").arg(label()));
    guarded([&] { storeBeforeLeaving(); });
}

// A detail's failure keeps the detail's own text: it is translated before it reaches the master.
void TableStore::storeBeforeLeaving()
{
    for (TableStore* detail : std::as_const(m_details)) {
        if (detail->isOpen())
            detail->guarded([&] { detail->storeBeforeLeaving(); });
    }
    if (m_pending)
        storePending();
}

void TableStore::storePending()
{
    const PendingRow& row = *m_pending;
    // A new row writes every field but the serial; a changed row only the fields that were set.
    QByteArray shape(1, row.isNew ? 'i' : 'u');
    QStringList names;
    for (qsizetype f = 0; f < m_fields.size(); ++f) {
        if (row.isNew ? m_fields.at(f).kind != FieldKind::AutoInc : row.changed.at(f)) {
            shape += char(f + 2);
            names.append(nameOf(int(f)));
        }
    }
    if (!row.isNew && names.isEmpty()) {
        // Nothing was set: there is nothing to write.
    } else {
        Sqlite::Statement& st = statement(shape, [&] {
            if (!row.isNew) {
                return QStringLiteral("UPDATE %1 SET %2 = ? WHERE rowid = ?")
                    .arg(quoted(m_sqlName), names.join(QStringLiteral(" = ?, ")));
            }
            if (names.isEmpty())
                return QStringLiteral("INSERT INTO %1 DEFAULT VALUES").arg(quoted(m_sqlName));
            return QStringLiteral("INSERT INTO %1 (%2) VALUES (?%3)")
                .arg(quoted(m_sqlName), names.join(QStringLiteral(", ")), QStringLiteral(", ?").repeated(names.size() - 1));
        });
        Sqlite::Use use(st);
        int index = 0;
        for (char f : shape.mid(1))
            st.bind(++index, row.values.at(f - 2));
        if (!row.isNew)
            st.bind(++index, row.rowId);
        st.step();
        if (!row.isNew && sqlite3_changes(m_db.get()) == 0)
            throw AppError(QStringLiteral("The row being changed is no longer in table %1").arg(label()));
    }
    const qint64 rowId = row.isNew ? sqlite3_last_insert_rowid(m_db.get()) : row.rowId;
    m_pending.reset();
    m_rowCount.reset();
    setCurrent(fetchById(rowId), false);
    emit rowsChanged();
    emit currentChanged();
    notifyDetails(false);
    if (m_afterPost)
        m_afterPost();
}

void TableStore::StartTransaction()
{
    requireWritable();
    if (m_unit)
        throw AppError(QStringLiteral("Table %1 already has a transaction in progress").arg(label()));
    guarded([&] {
        storeBeforeLeaving();
        // Immediate: the write lock is taken now, so no other program's store comes between.
        Sqlite::exec(m_db.get(), QStringLiteral("BEGIN IMMEDIATE"));
    });
    m_unit = UnitStart{m_current, m_atEnd};
}

void TableStore::Commit()
{
    requireOpen();
    if (!m_unit)
        throw AppError(QStringLiteral("Table %1 has no transaction in progress").arg(label()));
    guarded([&] {
        storeBeforeLeaving();
        Sqlite::exec(m_db.get(), QStringLiteral("COMMIT"));
    });
    m_unit.reset();
}

void TableStore::Rollback() noexcept
{
    if (!isOpen() || !m_unit)
        return;
    const UnitStart start = *std::exchange(m_unit, std::nullopt);
    m_pending.reset();
    m_rowCount.reset();
    // A failed COMMIT may have ended the transaction already.
    if (!sqlite3_get_autocommit(m_db.get()))
        sqlite3_exec(m_db.get(), "ROLLBACK", nullptr, nullptr, nullptr);
    m_current = start.current;
    m_atEnd = start.atEnd;
    try {
        emit rowsChanged();
        currentMoved();
    } catch (...) {
        // Those who follow the cursor read it afresh on their next look.
    }
}

bool TableStore::FlushTable()
{
    return isOpen();
}

// ---- Master and detail --------------------------------------------------------------------------

TableStore::LinkState TableStore::masterLinkState() const
{
    if (!m_master || !m_master->isOpen())
        return {};
    return {true, m_master->currentValue(m_master->fieldIndex(m_masterField))};
}

void TableStore::notifyDetails(bool moved)
{
    for (TableStore* detail : std::as_const(m_details))
        detail->guarded([&] { detail->followMaster(moved); });
}

void TableStore::followMaster(bool masterMoved)
{
    if (!isOpen())
        return;
    const LinkState link = masterLinkState();
    if (!masterMoved && link == m_link)
        return;
    m_link = link;
    m_rowCount.reset();
    settleOnEdge(false);
    emit rowsChanged();
    currentMoved();
}
