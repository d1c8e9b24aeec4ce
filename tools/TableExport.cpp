#include "tools/TableExport.h"

#include "install/Audit.h"
#include "platform/AppError.h"
#include "platform/files/WinPath.h"
#include "platform/formats/Csv.h"
#include "platform/store/Sqlite.h"
#include "platform/store/TableStore.h"

#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QTemporaryFile>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

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
    // Such values reach the tables through imports and station names; a spreadsheet would run them.
    static const QString formulaStarts = QStringLiteral("=+-@\t\r");
    if (cells == Cells::Safe && !text.isEmpty() && formulaStarts.contains(text.at(0)))
        return QLatin1Char('\'') + text;
    return text;
}

void write(const Tables::Table& table, QIODevice& out, Cells cells)
{
    const WinPath::Resolved place = WinPath::resolve(table.windowsPath());
    if (place.localPath.isEmpty())
        throw AppError(QStringLiteral("Cannot read the table \"%1\". %2").arg(table.windowsPath(), place.error));
    try {
        Sqlite::recoverInterruptedWrite(place.localPath);
        Sqlite::Connection db = Sqlite::open(place.localPath, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOFOLLOW);
        sqlite3_busy_timeout(db.get(), TableStore::LockWaitMs);
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
        throw AppError(QStringLiteral("Cannot read the table \"%1\". %2").arg(table.windowsPath(), failure.text()));
    }
}

namespace {

QString systemText(int err)
{
    return QString::fromLocal8Bit(std::strerror(err));
}

AppError refusal(const QString& path, const QString& why)
{
    return AppError(QStringLiteral("Cannot write \"%1\": %2; nothing was changed").arg(path, why));
}

// Refuses a path that is not a plain file, or that is one of the install's tables.
void requireReplaceable(const QString& path)
{
    struct stat st
    {};
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0) {
        if (errno == ENOENT)
            return;
        throw refusal(path, systemText(errno));
    }
    if (S_ISLNK(st.st_mode))
        throw refusal(path, QStringLiteral("it is a symbolic link, which is not written through"));
    if (!S_ISREG(st.st_mode))
        throw refusal(path, QStringLiteral("it is not a regular file"));
    for (const Tables::Table& table : Tables::all()) {
        const QString local = WinPath::resolve(table.windowsPath()).localPath;
        for (const QString& file :
             {local, local + QStringLiteral("-journal"), local + QStringLiteral("-wal"), local + QStringLiteral("-shm")}) {
            struct stat other
            {};
            if (!local.isEmpty() && ::stat(QFile::encodeName(file).constData(), &other) == 0 && other.st_dev == st.st_dev
                && other.st_ino == st.st_ino)
                throw refusal(path, QStringLiteral("it is the install's table %1").arg(table.fileName));
        }
    }
}

// A device that reports the system's own reason for a write that fails: a file of Qt's says
// "Unknown error" on a full disk.
class ReportingFile : public QIODevice
{
public:
    explicit ReportingFile(int fd)
        : m_fd(fd)
    {
        open(QIODevice::WriteOnly);
    }

protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char* data, qint64 size) override
    {
        qint64 done = 0;
        while (done < size) {
            const ssize_t n = ::write(m_fd, data + done, size_t(size - done));
            if (n < 0) {
                if (errno == EINTR)
                    continue;
                setErrorString(systemText(errno));
                return -1;
            }
            done += n;
        }
        return done;
    }

private:
    int m_fd;
};

} // namespace

void writeFile(const Tables::Table& table, const QString& path, Cells cells)
{
    requireReplaceable(path);
    // The new file, beside the old one until it takes its place; removed if anything fails first.
    const QFileInfo place(path);
    QTemporaryFile pending(place.absolutePath() + QStringLiteral("/.") + place.fileName() + QStringLiteral(".XXXXXX"));
    if (!pending.open())
        throw AppError(QStringLiteral("Cannot create file \"%1\". %2").arg(path, pending.errorString()));
    {
        ReportingFile out(pending.handle());
        write(table, out, cells);
    }
    if (::fsync(pending.handle()) != 0)
        throw AppError(QStringLiteral("Cannot create file \"%1\". %2").arg(path, systemText(errno)));
    // Checked again at the last moment: what was a plain file may have been swapped meanwhile.
    requireReplaceable(path);
    if (::rename(QFile::encodeName(pending.fileName()).constData(), QFile::encodeName(path).constData()) != 0)
        throw AppError(QStringLiteral("Cannot create file \"%1\". %2").arg(path, systemText(errno)));
    pending.setAutoRemove(false);
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
