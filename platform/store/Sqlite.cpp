#include "platform/store/Sqlite.h"

#include <QFile>
#include <QFileInfo>
#include <QUrl>

#include <unistd.h>

namespace Sqlite {

void fail(sqlite3* db, int code)
{
    const QString message = db ? QString::fromUtf8(sqlite3_errmsg(db)) : QString::fromUtf8(sqlite3_errstr(code));
    throw Failure(db ? sqlite3_extended_errcode(db) : code, message, db ? sqlite3_system_errno(db) : 0);
}

Connection open(const QString& localPath, int flags)
{
    sqlite3* raw = nullptr;
    const int rc = sqlite3_open_v2(localPath.toUtf8().constData(), &raw, flags | SQLITE_OPEN_EXRESCODE, nullptr);
    Connection db(raw);
    if (rc != SQLITE_OK)
        fail(db.get(), rc);
    return db;
}

Connection openForReading(const QString& localPath, int flags)
{
    flags = (flags & ~(SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE)) | SQLITE_OPEN_READONLY;
    const QFileInfo log(localPath + QStringLiteral("-wal"));
    const bool folderWritable = ::access(QFile::encodeName(QFileInfo(localPath).absolutePath()).constData(), W_OK) == 0;
    if (folderWritable || (log.exists() && log.size() > 0))
        return open(localPath, flags);
    const QString uri = QStringLiteral("file:") + QString::fromLatin1(QUrl::toPercentEncoding(localPath, "/"))
        + QStringLiteral("?immutable=1");
    return open(uri, flags | SQLITE_OPEN_URI);
}

void exec(sqlite3* db, const QString& sql)
{
    const int rc = sqlite3_exec(db, sql.toUtf8().constData(), nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK)
        fail(db, rc);
}

Statement::Statement(sqlite3* db, const QString& sql)
    : m_db(db)
{
    sqlite3_stmt* raw = nullptr;
    const QByteArray utf8 = sql.toUtf8();
    const int rc = sqlite3_prepare_v3(db, utf8.constData(), int(utf8.size()), SQLITE_PREPARE_PERSISTENT, &raw, nullptr);
    m_stmt.reset(raw);
    if (rc != SQLITE_OK)
        fail(db, rc);
}

void Statement::bind(int index, const QVariant& value)
{
    int rc = SQLITE_OK;
    if (value.isNull()) {
        rc = sqlite3_bind_null(m_stmt.get(), index);
    } else {
        switch (value.typeId()) {
        case QMetaType::Int:
        case QMetaType::LongLong:
        case QMetaType::Short:
        case QMetaType::Bool:
            rc = sqlite3_bind_int64(m_stmt.get(), index, value.toLongLong());
            break;
        case QMetaType::Double:
        case QMetaType::Float:
            rc = sqlite3_bind_double(m_stmt.get(), index, value.toDouble());
            break;
        default: {
            const QByteArray utf8 = value.toString().toUtf8();
            rc = sqlite3_bind_text(m_stmt.get(), index, utf8.constData(), int(utf8.size()), SQLITE_TRANSIENT);
        }
        }
    }
    if (rc != SQLITE_OK)
        fail(m_db, rc);
}

bool Statement::step()
{
    const int rc = sqlite3_step(m_stmt.get());
    if (rc == SQLITE_ROW)
        return true;
    if (rc == SQLITE_DONE)
        return false;
    fail(m_db, rc);
}

void Statement::reset() noexcept
{
    sqlite3_reset(m_stmt.get());
    sqlite3_clear_bindings(m_stmt.get());
}

bool Statement::isNull(int column) const
{
    return sqlite3_column_type(m_stmt.get(), column) == SQLITE_NULL;
}

qint64 Statement::int64(int column) const
{
    return sqlite3_column_int64(m_stmt.get(), column);
}

double Statement::real(int column) const
{
    return sqlite3_column_double(m_stmt.get(), column);
}

QString Statement::text(int column) const
{
    const auto* chars = reinterpret_cast<const char*>(sqlite3_column_text(m_stmt.get(), column));
    return QString::fromUtf8(chars, sqlite3_column_bytes(m_stmt.get(), column));
}

void recoverInterruptedWrite(const QString& localPath)
{
    try {
        Connection db = open(localPath, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOFOLLOW);
        sqlite3_busy_timeout(db.get(), 2000);
        exec(db.get(), QStringLiteral("SELECT count(*) FROM sqlite_master"));
    } catch (const Failure&) {
        // A file that cannot be written is read as it stands; the reader says what is wrong.
    }
}

} // namespace Sqlite
