#include "install/AuditFile.h"

#include "install/Audit.h"
#include "install/Tables.h"
#include "platform/AppError.h"

#include <QFileInfo>

namespace AuditFile {

AppError failure(const QString& reason)
{
    return AppError(QStringLiteral("Cannot use the audit record \"%1\". %2").arg(Tables::audit().windowsPath(), reason));
}

Sqlite::Connection open()
{
    const QString local = Audit::localPath();
    const QFileInfo info(local);
    if (!info.exists() && !info.isSymLink())
        Audit::create();
    if (QFileInfo(local).isSymLink() || !QFileInfo(local).isFile())
        throw failure(QStringLiteral("It is not a file: a folder or a link is in its place."));
    try {
        Sqlite::Connection db = Sqlite::open(local, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOFOLLOW);
        sqlite3_busy_timeout(db.get(), 5000);
        Sqlite::exec(db.get(),
                     QStringLiteral("PRAGMA journal_mode=WAL; PRAGMA synchronous=FULL;"
                                    "CREATE TABLE IF NOT EXISTS \"Owner\" (\"Key\" TEXT NOT NULL PRIMARY KEY, "
                                    "\"Value\" TEXT NOT NULL);"
                                    "CREATE TABLE IF NOT EXISTS \"Shifts\" (\"Id\" INTEGER PRIMARY KEY AUTOINCREMENT, "
                                    "\"Operator\" TEXT NOT NULL, \"OpenedUtc\" TEXT NOT NULL, \"OpenedLocal\" TEXT NOT NULL, "
                                    "\"OpeningCash\" FLOAT NOT NULL, \"AfterEntry\" INTEGER NOT NULL, \"ClosedUtc\" TEXT, "
                                    "\"ClosedLocal\" TEXT, \"LastEntry\" INTEGER, \"Counted\" FLOAT, \"Head\" TEXT)"));
        return db;
    } catch (const Sqlite::Failure& error) {
        throw failure(error.text());
    }
}

std::optional<Sqlite::Connection> openForReading(const QString& table)
{
    const QString local = Audit::localPath();
    const QFileInfo info(local);
    if (!info.isFile() || info.isSymLink())
        return std::nullopt;
    try {
        Sqlite::Connection db = Sqlite::open(local, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOFOLLOW);
        sqlite3_busy_timeout(db.get(), 5000);
        Sqlite::Statement statement(db.get(), QStringLiteral("SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = ?1"));
        statement.bind(1, table);
        if (!statement.step())
            return std::nullopt;
        statement.reset();
        return db;
    } catch (const Sqlite::Failure& error) {
        throw failure(error.text());
    }
}

} // namespace AuditFile
