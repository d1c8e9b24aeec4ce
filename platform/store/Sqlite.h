#pragma once

#include "platform/AppError.h"

#include <QByteArray>
#include <QString>
#include <QVariant>
#include <memory>
#include <sqlite3.h>

// Thin ownership around the SQLite C API: a connection, a prepared statement and a failure that
// keeps SQLite's result code so that the table store can word its own error texts.
namespace Sqlite {

class Failure : public AppError
{
public:
    Failure(int code, const QString& message, int systemError = 0)
        : AppError(message)
        , m_code(code)
        , m_systemError(systemError)
    {
    }
    // The extended result code.
    int code() const noexcept { return m_code; }
    int primaryCode() const noexcept { return m_code & 0xff; }
    // The operating system's errno behind it, 0 when none: a full disk shows as ENOSPC whichever
    // of SQLite's codes it surfaced as (a log index that cannot grow is an I/O error).
    int systemError() const noexcept { return m_systemError; }

private:
    int m_code;
    int m_systemError;
};

struct ConnectionCloser
{
    void operator()(sqlite3* db) const noexcept { sqlite3_close_v2(db); }
};
using Connection = std::unique_ptr<sqlite3, ConnectionCloser>;

// Opens an existing database file (flags as for sqlite3_open_v2); throws Failure.
Connection open(const QString& localPath, int flags);
// Opens an existing database file for reading only. A table in WAL mode is read through the
// shared index beside it ("-shm"), which a folder that may not be written cannot hold: there,
// with no log holding commits ("-wal" absent or empty), the file alone is the whole table, and it
// is read as a file that nothing changes meanwhile (SQLite's "immutable"). Nothing can: no log
// can be made there either. Throws Failure.
Connection openForReading(const QString& localPath, int flags);
// A write that was cut short (a killed process, a full disk) leaves a journal that only a
// connection that may write rolls back; readers would be refused meanwhile. Opens the file for
// writing once, so that the table is found as it was before; does nothing when it cannot.
void recoverInterruptedWrite(const QString& localPath);
// Runs one or more statements that return no rows; throws Failure.
void exec(sqlite3* db, const QString& sql);
// A table or field name as SQL text, whatever characters it holds.
inline QString quoted(QString name)
{
    return QLatin1Char('"') + name.replace(QLatin1Char('"'), QStringLiteral("\"\"")) + QLatin1Char('"');
}
[[noreturn]] void fail(sqlite3* db, int code);

class Statement
{
public:
    Statement(sqlite3* db, const QString& sql);

    // Binds values to ?1, ?2, ...; a null QVariant binds NULL.
    void bind(int index, const QVariant& value);
    // True while a row is available; throws Failure on an error.
    bool step();
    // Ready for the next use: no row held (so no read lock held) and no values bound.
    void reset() noexcept;

    bool isNull(int column) const;
    qint64 int64(int column) const;
    double real(int column) const;
    QString text(int column) const;
    // The column itself, valid until the next step or reset; read it with sqlite3_value_* on this
    // thread only. Several fields of a row cost less so than through the accessors above.
    sqlite3_value* value(int column) const { return sqlite3_column_value(m_stmt.get(), column); }
    int columnCount() const { return sqlite3_column_count(m_stmt.get()); }
    QString columnName(int column) const { return QString::fromUtf8(sqlite3_column_name(m_stmt.get(), column)); }

private:
    struct Finalizer
    {
        void operator()(sqlite3_stmt* st) const noexcept { sqlite3_finalize(st); }
    };
    sqlite3* m_db;
    std::unique_ptr<sqlite3_stmt, Finalizer> m_stmt;
};

// Resets a statement when the use that bound it ends, however it ends.
class Use
{
public:
    explicit Use(Statement& statement)
        : m_statement(statement)
    {
    }
    ~Use() { m_statement.reset(); }
    Use(const Use&) = delete;
    Use& operator=(const Use&) = delete;

private:
    Statement& m_statement;
};

} // namespace Sqlite
