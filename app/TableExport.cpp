#include "app/TableExport.h"

#include "platform/AppError.h"
#include "platform/Csv.h"
#include "platform/Sqlite.h"
#include "platform/TableStore.h"
#include "platform/WinPath.h"

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

QString textOf(sqlite3_stmt* row, int column)
{
    switch (sqlite3_column_type(row, column)) {
    case SQLITE_NULL: return QString();
    case SQLITE_INTEGER: return QString::number(sqlite3_column_int64(row, column));
    case SQLITE_FLOAT:
        // Plain digits, never an exponent: a price of 100000000 must not read as 1e+08.
        return QString::number(sqlite3_column_double(row, column), 'f', QLocale::FloatingPointShortest);
    default:
        return QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(row, column)),
                                 sqlite3_column_bytes(row, column));
    }
}

void put(QIODevice& out, const QByteArray& bytes)
{
    if (out.write(bytes) != bytes.size())
        throw AppError(QStringLiteral("Cannot write the CSV. %1").arg(out.errorString()));
}

} // namespace

void write(const InstallTables::Table& table, QIODevice& out)
{
    const QString path = WinPath::resolve(table.windowsPath()).localPath;
    try {
        Sqlite::Connection db = Sqlite::open(path, SQLITE_OPEN_READONLY);
        sqlite3_busy_timeout(db.get(), TableStore::LockWaitMs);
        // One statement reads one snapshot, however the console stores meanwhile.
        const QString sql = QStringLiteral("SELECT * FROM %1 ORDER BY %2").arg(quoted(table.name), keyOrder(db.get(), table.name));
        sqlite3_stmt* raw = nullptr;
        const QByteArray utf8 = sql.toUtf8();
        if (const int rc = sqlite3_prepare_v2(db.get(), utf8.constData(), int(utf8.size()), &raw, nullptr); rc != SQLITE_OK)
            Sqlite::fail(db.get(), rc);
        const std::unique_ptr<sqlite3_stmt, int (*)(sqlite3_stmt*)> row(raw, sqlite3_finalize);
        const int columns = sqlite3_column_count(raw);
        QStringList fields;
        for (int c = 0; c < columns; ++c)
            fields.append(QString::fromUtf8(sqlite3_column_name(raw, c)));
        put(out, Csv::byteOrderMark() + Csv::record(fields));
        for (;;) {
            const int rc = sqlite3_step(raw);
            if (rc == SQLITE_DONE)
                break;
            if (rc != SQLITE_ROW)
                Sqlite::fail(db.get(), rc);
            for (int c = 0; c < columns; ++c)
                fields[c] = textOf(raw, c);
            put(out, Csv::record(fields));
        }
    } catch (const Sqlite::Failure& failure) {
        throw AppError(QStringLiteral("Cannot read the table \"%1\". %2").arg(table.windowsPath(), failure.text()));
    }
}

} // namespace TableExport
