#include "tools/TableExport.h"

#include "install/Audit.h"
#include "install/OutputFile.h"
#include "platform/AppError.h"
#include "platform/files/WinPath.h"
#include "platform/formats/Csv.h"
#include "platform/store/Sqlite.h"
#include "platform/store/TableStore.h"

#include <QLocale>

namespace TableExport {

namespace {

using Sqlite::quoted;

// The store's order: the primary key's fields, then the row id.
QString keyOrder(sqlite3* db, const QString& tableName)
{
    Sqlite::Statement info(db, QStringLiteral("SELECT name FROM pragma_table_info(?1) WHERE pk > 0 ORDER BY pk"));
    info.bind(1, tableName);
    QStringList order;
    while (info.step())
        order.append(quoted(info.text(0)));
    order.append(QStringLiteral("rowid"));
    return order.join(u',');
}

QString textOf(sqlite3_value* value, Cells cells)
{
    switch (sqlite3_value_type(value)) {
    case SQLITE_NULL:
        return QString();
    case SQLITE_INTEGER:
        return QString::number(sqlite3_value_int64(value));
    case SQLITE_FLOAT:
        // Plain digits, never an exponent: a price of 100000000 must not read as 1e+08.
        return QString::number(sqlite3_value_double(value), 'f', QLocale::FloatingPointShortest);
    default: {
        const auto* text = reinterpret_cast<const char*>(sqlite3_value_text(value));
        return cellText(QString::fromUtf8(text, sqlite3_value_bytes(value)), cells);
    }
    }
}

void put(QIODevice& out, const QByteArray& bytes)
{
    if (out.write(bytes) != bytes.size())
        throw AppError(QStringLiteral("Cannot write the CSV. %1").arg(out.errorString()));
}

} // namespace

QString cellText(const QString& text, Cells cells)
{
    return cells == Cells::Safe ? Csv::safeCell(text) : text;
}

void write(const Tables::Table& table, QIODevice& out, Cells cells)
{
    Sqlite::Connection db = Tables::openForReading(table);
    try {
        // One statement reads one snapshot, however the console stores meanwhile.
        const QString sql =
            QStringLiteral("SELECT * FROM %1 ORDER BY %2").arg(quoted(table.name), keyOrder(db.get(), table.name));
        Sqlite::Statement row(db.get(), sql);
        const int columns = row.columnCount();
        QStringList fields;
        for (int c = 0; c < columns; ++c)
            fields.append(row.columnName(c));
        put(out, Csv::byteOrderMark() + Csv::record(fields));
        while (row.step()) {
            for (int c = 0; c < columns; ++c)
                fields[c] = textOf(row.value(c), cells);
            put(out, Csv::record(fields));
        }
    } catch (const Sqlite::Failure& failure) {
        throw Tables::readFailure(table, failure.text());
    }
}

void writeFile(const Tables::Table& table, const QString& path, Cells cells)
{
    OutputFile::replace(path, [&](QIODevice& out) { write(table, out, cells); });
}

std::optional<QString> recordExport(const Tables::Table& table, const QString& destination)
{
    Audit::Event event;
    event.event = Audit::Events::Export;
    event.oldValue = table.name;
    event.newValue = destination;
    return Audit::record(event);
}

} // namespace TableExport
