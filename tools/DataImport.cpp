#include "tools/DataImport.h"

#include "install/Audit.h"
#include "platform/AppError.h"
#include "platform/files/WinPath.h"
#include "platform/formats/ParadoxTable.h"
#include "platform/store/Sqlite.h"
#include "platform/store/TableStore.h"

#include <QDir>
#include <QFileInfo>
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <limits>
#include <unistd.h>

namespace DataImport {

namespace {

using Kind = TableStore::FieldKind;
using Type = ParadoxTable::Type;

struct Refusal
{
    QString reason;
};

using Sqlite::quoted;

QString kindName(const TableStore::Field& field)
{
    switch (field.kind) {
    case Kind::String:
        return QStringLiteral("text of %1 bytes").arg(field.size);
    case Kind::SmallInt:
        return QStringLiteral("a small integer");
    case Kind::Integer:
        return QStringLiteral("an integer");
    case Kind::Float:
        return QStringLiteral("a number");
    case Kind::AutoInc:
        return QStringLiteral("a serial");
    }
    return QString();
}

bool accepts(Kind kind, Type type)
{
    switch (kind) {
    case Kind::String:
        return type == Type::Alpha;
    case Kind::SmallInt:
    case Kind::Integer:
    case Kind::AutoInc:
        return type == Type::Short || type == Type::Long || type == Type::AutoInc;
    case Kind::Float:
        return type == Type::Number || type == Type::Currency || type == Type::Short || type == Type::Long;
    }
    return false;
}

// For each of the target's fields, the old table's field of the same name. The two must have the
// same fields: a field the target lacks would be lost, one the old table lacks would be made up.
QList<int> matchFields(const QList<TableStore::Field>& target, const ParadoxTable& source)
{
    const QList<ParadoxTable::Field>& old = source.fields();
    QList<int> sourceOf;
    for (const TableStore::Field& field : target) {
        int found = -1;
        for (int i = 0; i < old.size(); ++i) {
            if (old.at(i).name.compare(field.name, Qt::CaseInsensitive) != 0)
                continue;
            if (found >= 0)
                throw Refusal{QStringLiteral("the old table has the field \"%1\" twice").arg(field.name)};
            found = i;
        }
        if (found < 0)
            throw Refusal{QStringLiteral("the old table has no field \"%1\"").arg(field.name)};
        if (!accepts(field.kind, old.at(found).type))
            throw Refusal{QStringLiteral("the old table's field \"%1\" is %2, where this install keeps %3")
                              .arg(old.at(found).name, ParadoxTable::typeName(old.at(found).code), kindName(field))};
        sourceOf.append(found);
    }
    for (const ParadoxTable::Field& field : old) {
        const bool known = std::any_of(target.begin(), target.end(), [&](const TableStore::Field& t) {
            return t.name.compare(field.name, Qt::CaseInsensitive) == 0;
        });
        if (!known)
            throw Refusal{QStringLiteral("the old table has a field \"%1\" that this install's table lacks").arg(field.name)};
    }
    return sourceOf;
}

// The value as the target field stores it; refuses what the field cannot hold unchanged.
QVariant converted(const TableStore::Field& field, const QVariant& value, int row)
{
    if (value.isNull()) {
        if (field.kind == Kind::AutoInc)
            throw Refusal{QStringLiteral("row %1 has no serial").arg(row + 1)};
        return QVariant();
    }
    switch (field.kind) {
    case Kind::String: {
        // Decoded from a single-byte code page: one character per byte.
        const QString text = value.toString();
        if (text.size() > field.size)
            throw Refusal{QStringLiteral("row %1: \"%2\" holds %3 bytes, more than the %4 of this install's field")
                              .arg(row + 1)
                              .arg(field.name)
                              .arg(text.size())
                              .arg(field.size)};
        return text;
    }
    case Kind::Float: {
        // An infinite sum or a value that is no number would be stored as one, or as a blank.
        const double number = value.toDouble();
        if (!std::isfinite(number))
            throw Refusal{QStringLiteral("row %1: \"%2\" holds %3, which does not fit: it is not a finite number")
                              .arg(row + 1)
                              .arg(field.name)
                              .arg(number)};
        return number;
    }
    case Kind::SmallInt: {
        const qint64 number = value.toLongLong();
        if (number < std::numeric_limits<qint16>::min() || number > std::numeric_limits<qint16>::max())
            throw Refusal{
                QStringLiteral("row %1: \"%2\" holds %3, beyond a small integer").arg(row + 1).arg(field.name).arg(number)};
        return number;
    }
    case Kind::Integer:
    case Kind::AutoInc:
        return value.toLongLong(); // read from at most 32 bits
    }
    return value;
}

QList<TableStore::Field> targetFields(const Tables::Table& table)
{
    TableStore store;
    store.setReadOnly(true);
    try {
        store.OpenTable(table.directory, table.fileName);
    } catch (const AppError& error) {
        throw Refusal{QStringLiteral("this install's table cannot be opened (%1); quorvel-setup creates it").arg(error.text())};
    }
    return store.fields();
}

// Makes the table's next serial follow `serial` at least, as it would after storing that row.
void raiseSequence(sqlite3* db, const QString& tableName, qint64 serial)
{
    Sqlite::Statement update(db, QStringLiteral("UPDATE sqlite_sequence SET seq = MAX(seq, ?2) WHERE name = ?1"));
    update.bind(1, tableName);
    update.bind(2, serial);
    update.step();
    if (sqlite3_changes(db) > 0)
        return;
    Sqlite::Statement insert(db, QStringLiteral("INSERT INTO sqlite_sequence (name, seq) VALUES (?1, ?2)"));
    insert.bind(1, tableName);
    insert.bind(2, serial);
    insert.step();
}

qint64 nextSerial(sqlite3* db, const QString& tableName)
{
    Sqlite::Statement select(db, QStringLiteral("SELECT seq FROM sqlite_sequence WHERE name = ?1"));
    select.bind(1, tableName);
    return select.step() ? select.int64(0) + 1 : 1;
}

// An in-memory database holding the table as the file declares it, empty, with its sequence.
Sqlite::Connection emptyCopy(sqlite3* source, const QString& tableName, bool hasSerial)
{
    Sqlite::Connection copy = Sqlite::open(QStringLiteral(":memory:"), SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
    Sqlite::Statement schema(source,
                             QStringLiteral("SELECT sql FROM sqlite_master WHERE tbl_name = ?1 COLLATE NOCASE "
                                            "AND sql IS NOT NULL ORDER BY type = 'table' DESC"));
    schema.bind(1, tableName);
    while (schema.step())
        Sqlite::exec(copy.get(), schema.text(0));
    if (!hasSerial)
        return copy;
    Sqlite::Statement sequence(source, QStringLiteral("SELECT seq FROM sqlite_sequence WHERE name = ?1 COLLATE NOCASE"));
    sequence.bind(1, tableName);
    if (sequence.step())
        raiseSequence(copy.get(), tableName, sequence.int64(0));
    return copy;
}

void copyRows(const Tables::Table& table, ParadoxTable& source, bool checkOnly, Result& result)
{
    // An import killed halfway (or stopped by a full disk) left the table whole but its journal
    // hot: rolled back here, the run finds the table as it was.
    Sqlite::recoverInterruptedWrite(result.target);
    const QList<TableStore::Field> fields = targetFields(table);
    const QList<int> sourceOf = matchFields(fields, source);
    int serialField = -1;
    for (int i = 0; i < fields.size(); ++i)
        if (fields.at(i).kind == Kind::AutoInc)
            serialField = i;
    if (serialField >= 0 && source.autoIncrement() < 0)
        throw Refusal{QStringLiteral("its auto-increment counter %1 is damaged").arg(source.autoIncrement())};

    Sqlite::Connection target = Sqlite::open(result.target,
                                             (checkOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE) | SQLITE_OPEN_NOFOLLOW);
    sqlite3_busy_timeout(target.get(), TableStore::LockWaitMs);
    // IMMEDIATE: nobody stores a row between the check for rows and the import. Closing the
    // connection without COMMIT rolls everything back.
    Sqlite::exec(target.get(), checkOnly ? QStringLiteral("BEGIN") : QStringLiteral("PRAGMA synchronous=FULL; BEGIN IMMEDIATE"));
    {
        Sqlite::Statement count(target.get(), QStringLiteral("SELECT COUNT(*) FROM %1").arg(quoted(table.name)));
        count.step();
        if (const qint64 held = count.int64(0); held > 0)
            throw Refusal{QStringLiteral("this install's table already holds %1 rows; nothing was imported").arg(held)};
    }
    // A check runs the same inserts into an empty copy of the table in memory, so the keys and
    // rules are tried without the target file being touched.
    Sqlite::Connection scratch;
    if (checkOnly)
        scratch = emptyCopy(target.get(), table.name, serialField >= 0);
    sqlite3* db = checkOnly ? scratch.get() : target.get();

    QStringList names, places;
    for (int i = 0; i < fields.size(); ++i) {
        names.append(quoted(fields.at(i).name));
        places.append(QStringLiteral("?%1").arg(i + 1));
    }
    Sqlite::Statement insert(
        db, QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)").arg(quoted(table.name), names.join(u','), places.join(u',')));
    qint64 highest = 0;
    QList<QVariant> values;
    for (int row = 0; row < source.rowCount(); ++row) {
        source.readRow(row, values);
        Sqlite::Use use(insert);
        for (int i = 0; i < fields.size(); ++i) {
            const QVariant value = converted(fields.at(i), values.at(sourceOf.at(i)), row);
            if (i == serialField)
                highest = std::max(highest, value.toLongLong());
            insert.bind(i + 1, value);
        }
        try {
            insert.step();
        } catch (const Sqlite::Failure& failure) {
            if (failure.primaryCode() != SQLITE_CONSTRAINT)
                throw;
            throw Refusal{QStringLiteral("row %1 breaks a rule of this install's table (%2)").arg(row + 1).arg(failure.text())};
        }
    }
    if (serialField >= 0) {
        // The next serial must still fit the 32-bit field: a table at its end could take no card.
        const qint64 last = std::max(highest, source.autoIncrement());
        if (last >= std::numeric_limits<qint32>::max())
            throw Refusal{QStringLiteral("its serials reach %1, which leaves no room for another row in this install's "
                                         "field (at most %2)")
                              .arg(last)
                              .arg(std::numeric_limits<qint32>::max())};
        // The old table's counter may stand above the highest serial left (rows deleted at the
        // end): serials once given, and perhaps printed, are never given again.
        raiseSequence(db, table.name, std::max(highest, source.autoIncrement()));
        result.nextSerial = nextSerial(db, table.name);
    }
    result.rows = source.rowCount();
    if (!checkOnly)
        Sqlite::exec(db, QStringLiteral("COMMIT"));
    result.status = checkOnly ? Result::Status::Checked : Result::Status::Imported;
}

// The entry of dir named `name` regardless of case; empty when there is none. A folder that
// cannot be read is refused: what it holds may be sold cards.
QString entryOf(const QString& dir, const QString& name)
{
    if (DIR* listing = ::opendir(QFile::encodeName(dir).constData()))
        ::closedir(listing);
    else
        throw Refusal{
            QStringLiteral("the folder \"%1\" cannot be read: %2").arg(dir, QString::fromLocal8Bit(std::strerror(errno)))};
    QString found;
    const QStringList entries = QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QString& entry : entries) {
        if (entry.compare(name, Qt::CaseInsensitive) != 0)
            continue;
        if (!found.isEmpty())
            throw Refusal{QStringLiteral("both \"%1\" and \"%2\" exist in %3; move the wrong one away").arg(found, entry, dir)};
        found = entry;
    }
    return found.isEmpty() ? QString() : dir + QLatin1Char('/') + found;
}

// Why the old program seems to hold the table: its lock files beside it, or a lock on the file
// itself; empty when nothing says so.
QString heldByTheOldProgram(const QString& sourcePath)
{
    const QString dir = QFileInfo(sourcePath).absolutePath();
    for (const QString& entry : QDir(dir).entryList(QDir::Files | QDir::Hidden | QDir::System)) {
        if (entry.compare(QLatin1String("PDOXUSRS.LCK"), Qt::CaseInsensitive) == 0
            || entry.compare(QLatin1String("PARADOX.LCK"), Qt::CaseInsensitive) == 0)
            return QStringLiteral("%1 is beside it").arg(entry);
    }
    const int fd = ::open(QFile::encodeName(sourcePath).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return {};
    struct flock lock
    {};
    lock.l_type = F_RDLCK;
    lock.l_whence = SEEK_SET;
    const bool writeLocked = ::fcntl(fd, F_OFD_GETLK, &lock) == 0 && lock.l_type != F_UNLCK;
    ::close(fd);
    return writeLocked ? QStringLiteral("another program holds the file locked for writing") : QString();
}

} // namespace

Result importTable(const Tables::Table& table, const QString& sourcePath, bool checkOnly, bool ignoreLocks)
{
    Result result;
    result.table = table.fileName;
    result.source = sourcePath;
    result.target = WinPath::resolve(table.windowsPath()).localPath;
    try {
        if (!ignoreLocks) {
            if (const QString held = heldByTheOldProgram(sourcePath); !held.isEmpty())
                throw Refusal{QStringLiteral("the old program may still be using it (%1); close the old program and run "
                                             "again, or give --ignore-locks to go on")
                                  .arg(held)};
        }
        ParadoxTable source(sourcePath);
        result.codePage = source.codePage();
        copyRows(table, source, checkOnly, result);
    } catch (const Refusal& refusal) {
        result.status = Result::Status::Refused;
        result.reason = refusal.reason;
    } catch (const AppError& error) {
        result.status = Result::Status::Refused;
        result.reason = error.text();
    }
    if (result.status == Result::Status::Refused)
        result.rows = 0;
    return result;
}

QList<Result> importAll(const QString& oldInstallDir, bool checkOnly, bool ignoreLocks)
{
    QString data;
    try {
        data = entryOf(QDir(oldInstallDir).absolutePath(), QStringLiteral("Data"));
    } catch (const Refusal& refusal) {
        throw AppError(refusal.reason);
    }
    if (data.isEmpty() || !QFileInfo(data).isDir())
        throw AppError(QStringLiteral("\"%1\" holds no Data directory; give the old install directory").arg(oldInstallDir));

    QList<Result> results;
    for (const Tables::Table& table : Tables::all()) {
        Result missing;
        missing.table = table.fileName;
        missing.target = WinPath::resolve(table.windowsPath()).localPath;
        try {
            const QStringList parts = table.relativePath().split(QLatin1Char('\\')).mid(1);
            QString path = data;
            for (qsizetype i = 0; i < parts.size() && !path.isEmpty(); ++i) {
                path = entryOf(path, parts.at(i));
                const bool last = i + 1 == parts.size();
                if (!path.isEmpty() && !last && !QFileInfo(path).isDir())
                    throw Refusal{QStringLiteral("\"%1\" is not a folder").arg(path)};
                if (!path.isEmpty() && last && QFileInfo(path).isDir())
                    throw Refusal{QStringLiteral("\"%1\" is a folder, not a table").arg(path)};
            }
            if (path.isEmpty()) {
                missing.source = table.relativePath();
                results.append(missing);
                continue;
            }
            results.append(importTable(table, path, checkOnly, ignoreLocks));
        } catch (const Refusal& refusal) {
            missing.status = Result::Status::Refused;
            missing.reason = refusal.reason;
            results.append(missing);
        }
    }
    return results;
}

QString describe(const Result& r)
{
    QString serial = r.nextSerial > 0 ? QStringLiteral("; the next serial is %1").arg(r.nextSerial) : QString();
    // The tables hold Windows Arabic text whatever their header says; say so when it differs.
    if (r.codePage != 0 && r.codePage != 1256)
        serial += QStringLiteral("; text read as Windows Arabic (1256) though the header names code page %1").arg(r.codePage);
    switch (r.status) {
    case Result::Status::Missing:
        return QStringLiteral("%1: not in the old data (no %2)").arg(r.table, r.source);
    case Result::Status::Imported:
        return QStringLiteral("%1: read %2 rows from %3, wrote %2 rows into %4%5")
            .arg(r.table)
            .arg(r.rows)
            .arg(r.source, r.target, serial);
    case Result::Status::Checked:
        return QStringLiteral("%1: read %2 rows from %3, would write %2 rows into %4%5 (checked only, nothing written)")
            .arg(r.table)
            .arg(r.rows)
            .arg(r.source, r.target, serial);
    case Result::Status::Refused:
        return QStringLiteral("%1: refused: %2").arg(r.table, r.reason);
    }
    return QString();
}

std::optional<QString> recordImport(const QString& oldInstallDir, const QList<Result>& results)
{
    QStringList tables;
    qint64 rows = 0;
    for (const Result& result : results) {
        if (result.status != Result::Status::Imported)
            continue;
        tables.append(QStringLiteral("%1: %2 rows").arg(result.table).arg(result.rows));
        rows += result.rows;
    }
    if (tables.isEmpty())
        return std::nullopt;
    Audit::Event event;
    event.event = Audit::Events::Import;
    event.oldValue = QDir(oldInstallDir).absolutePath();
    event.newValue = QString::number(rows);
    event.text = tables.join(QStringLiteral("; "));
    return Audit::record(event);
}

} // namespace DataImport
