// The cursor: opening and closing, moves, the pending row and its store, units, master and detail.
#include "platform/store/TableStore_p.h"

#include "platform/files/WinPath.h"

#include <QFileInfo>
#include <cstring>
#include <utility>

using TableStorePrivate::quoted;
using TableStorePrivate::sameValue;

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

TableMessages::Place TableStore::place() const
{
    return {m_directory, windowsPath(), m_localPath};
}

void TableStore::requireOpen() const
{
    if (!isOpen())
        throw AppError(TableMessages::closed(m_tableName));
}

void TableStore::requireWritable() const
{
    requireOpen();
    if (m_writeProblem)
        throw AppError(*m_writeProblem);
    if (m_readOnly)
        throw AppError(TableMessages::openReadOnly(place()));
}

void TableStore::requireClosed() const
{
    if (isOpen())
        throw AppError(QStringLiteral("Cannot change the table %1 while it is open").arg(label()));
}

void TableStore::rethrow(const Sqlite::Failure& failure) const
{
    throw AppError(TableMessages::failure(place(), failure));
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
    const WinPath::Resolved resolved = WinPath::resolve(windowsPath());
    m_localPath = resolved.localPath;
    if (resolved.localPath.isEmpty())
        throw AppError(TableMessages::cannotReach(place(), resolved.error));
    // Opening never creates: a missing table is an error, not a new empty file.
    if (!QFileInfo(resolved.localPath).isFile())
        throw AppError(TableMessages::missing(place()));
    // A table file is never reached through a link: one planted there could lead the console to
    // any database on the machine. (A linked data folder is followed: that is how data is put on
    // another disk.)
    if (QFileInfo(resolved.localPath).isSymLink())
        throw AppError(TableMessages::isLink(place()));
    // Viewing needs no writing: a table that may not be written is shown, and only what would
    // write it names the cause.
    m_writeProblem = m_readOnly ? std::nullopt : TableMessages::unwritable(place());
    const bool reading = m_readOnly || m_writeProblem;

    guarded([&] {
        try {
            openConnection(resolved.localPath, reading);
        } catch (...) {
            forget();
            m_writeProblem.reset();
            throw;
        }
    });
    emit rowsChanged();
    announceMove();
}

void TableStore::openConnection(const QString& localPath, bool reading)
{
    // A table lives on the thread that opened it, so its connection needs no locks of its own:
    // they cost more than reading a field.
    const int flags = SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_NOFOLLOW;
    m_db = reading ? Sqlite::openForReading(localPath, flags) : Sqlite::open(localPath, flags | SQLITE_OPEN_READWRITE);
    sqlite3_busy_timeout(m_db.get(), LockWaitMs);
    sqlite3_trace_v2(
        m_db.get(), SQLITE_TRACE_STMT,
        [](unsigned, void* table, void*, void*) {
            ++static_cast<TableStore*>(table)->m_statementsRun;
            return 0;
        },
        this);
    Sqlite::exec(m_db.get(), QStringLiteral("PRAGMA synchronous=FULL; PRAGMA mmap_size=4096"));
    readStructure();
    checkNeeds();
    resolveOrder();
    // Only a table found sound is switched: one refused is left as it was.
    switchToWal();
    m_link = masterLinkState();
    m_dataVersion = -1;
    m_changeStamp.reset();
    noteOtherWrites();
    ++m_rangeStamp;
    settleOnEdge(false);
}

void TableStore::CloseTable()
{
    if (!isOpen())
        return;
    forget();
    m_writeProblem.reset();
    emit rowsChanged();
    announceMove();
}

void TableStore::forget()
{
    m_pending.reset();
    m_currentAhead = -1;
    m_current.reset();
    m_atEnd = true;
    m_unit.reset();
    m_rowCount.reset();
    m_position.reset();
    dropReadAhead();
    ++m_rangeStamp;
    m_link = {};
    m_statements.clear();
    m_file = nullptr;
    m_db.reset();
    m_fields.clear();
    m_fieldByName.clear();
    m_order.clear();
    m_keyField = -1;
}

void TableStore::moveTo(qint64 position)
{
    requireOpen();
    guarded([&] {
        storeBeforeLeaving();
        noteOtherWrites();
        if (position < 0)
            return;
        QList<Row> found = rows(position, 1);
        if (found.isEmpty())
            return;
        setCurrent(found.takeFirst(), false, position);
        announceMove();
    });
}

// ---- Cursor -------------------------------------------------------------------------------------

TableStore::Pending TableStore::pending() const
{
    if (!m_pending)
        return Pending::None;
    return m_pending->isNew ? Pending::New : Pending::Changed;
}

void TableStore::setCurrent(std::optional<Row> row, bool atEnd, std::optional<qint64> position)
{
    m_currentAhead = -1;
    m_current = std::move(row);
    m_atEnd = atEnd;
    m_position = m_current ? position : std::nullopt;
    dropReadAhead();
}

const std::optional<TableStore::Row>& TableStore::current() const
{
    if (m_currentAhead >= 0) {
        m_current = m_ahead.row(m_currentAhead, m_fields);
        m_currentAhead = -1;
    }
    return m_current;
}

void TableStore::dropReadAhead()
{
    // The current row may still lie in the window: it stays as it was read.
    current();
    m_ahead.clear();
    m_aheadNext = 0;
    m_aheadSize = 0;
    m_aheadIsLast = false;
    m_aheadIsFirst = false;
}

// A write-ahead log makes a durable commit one flush of the log instead of several of the file and
// its journal. Tables of older installs are switched the first time a writer opens them; a table
// another program holds busy at that moment stays as it is and is switched on a later opening.
void TableStore::switchToWal()
{
    if (m_readOnly || m_writeProblem)
        return;
    // A table already in WAL mode is left as it is, without a lock.
    try {
        Sqlite::exec(m_db.get(), QStringLiteral("PRAGMA journal_mode=WAL"));
    } catch (const Sqlite::Failure&) {
    }
}

// PRAGMA data_version takes and drops a lock on the file, several times the cost of a step, so a
// step first reads where every commit leaves a mark, in memory SQLite already maps: the file
// header's change counter (4 bytes at offset 24, moved by commits in rollback-journal mode) and,
// in WAL mode (header byte 18 is 2), the transaction counter of the log index's header in shared
// memory (4 bytes at offset 8). Only a changed mark asks the data version whether the write was
// another connection's. A commit whose mark is not yet written is not yet seen by any reader
// either, so nothing is missed.
std::optional<TableStore::ChangeStamp> TableStore::changeStamp() const
{
    // The file object lives as long as the connection; asking for it costs more than reading it.
    if (!m_file && sqlite3_file_control(m_db.get(), "main", SQLITE_FCNTL_FILE_POINTER, &m_file) != SQLITE_OK)
        m_file = nullptr;
    sqlite3_file* file = m_file;
    if (!file || !file->pMethods)
        return std::nullopt;
    const sqlite3_io_methods* io = file->pMethods;
    unsigned char header[28];
    bool haveHeader = false;
    if (io->iVersion >= 3 && io->xFetch && io->xUnfetch) {
        void* page = nullptr;
        if (io->xFetch(file, 0, sizeof header, &page) == SQLITE_OK && page) {
            std::memcpy(header, page, sizeof header);
            io->xUnfetch(file, 0, page);
            haveHeader = true;
        }
    }
    if (!haveHeader && io->xRead(file, header, sizeof header, 0) != SQLITE_OK)
        return std::nullopt;
    ChangeStamp stamp;
    stamp.fileCounter = quint32(header[24]) << 24 | quint32(header[25]) << 16 | quint32(header[26]) << 8 | quint32(header[27]);
    if (header[18] == 2) {
        volatile void* region = nullptr;
        if (io->iVersion < 2 || !io->xShmMap || io->xShmMap(file, 0, 32768, 0, &region) != SQLITE_OK || !region)
            return std::nullopt;
        quint32 counter;
        std::memcpy(&counter, const_cast<const char*>(static_cast<volatile char*>(region)) + 8, sizeof counter);
        stamp.logCounter = counter;
    }
    return stamp;
}

void TableStore::noteOtherWrites()
{
    const std::optional<ChangeStamp> stamp = changeStamp();
    if (stamp && m_changeStamp && *stamp == *m_changeStamp)
        return;
    Sqlite::Statement& st = statement(QByteArrayLiteral("v"), [] { return QStringLiteral("PRAGMA data_version"); });
    Sqlite::Use use(st);
    st.step();
    const qint64 version = st.int64(0);
    // Kept only once asked: a question that failed (the file locked) is asked again next step.
    m_changeStamp = stamp;
    if (version == m_dataVersion)
        return;
    const bool first = m_dataVersion < 0;
    m_dataVersion = version;
    if (first)
        return;
    m_rowCount.reset();
    m_position.reset();
    dropReadAhead();
    ++m_rangeStamp;
    emit rowsChanged();
}

void TableStore::announceMove()
{
    emit currentChanged();
    emit currentMoved();
    notifyDetails(true);
}

void TableStore::settleOnEdge(bool last)
{
    if (!last) {
        settleOnFirst();
        return;
    }
    const std::optional<Row> row = fetchRow(viewConditions(), true);
    std::optional<qint64> position;
    if (m_rowCount)
        position = *m_rowCount - 1;
    setCurrent(row, !row, position);
}

// A detail follows its master to the first row of its range, where a loop over the range then
// starts again with MoveFirst: the rows read then are still the range's first rows.
void TableStore::settleOnFirst()
{
    RawRows window;
    eachRow(viewConditions(), false, FirstWindow, 0, [&](const Sqlite::Statement& st) { window.append(st, m_fields); });
    setCurrent(std::nullopt, true, std::nullopt);
    m_ahead = std::move(window);
    m_aheadSize = FirstWindow;
    m_aheadIsFirst = true;
    m_aheadIsLast = m_ahead.size() < FirstWindow;
    if (m_aheadIsLast && !m_rowCount)
        m_rowCount = m_ahead.size();
    if (m_ahead.size() == 0)
        return;
    m_currentAhead = 0;
    m_aheadNext = 1;
    m_atEnd = false;
    m_position = 0;
}

void TableStore::MoveFirst()
{
    requireOpen();
    guarded([&] {
        storeBeforeLeaving();
        noteOtherWrites();
        if (m_aheadIsFirst && m_ahead.size() > 0) {
            m_current.reset();
            m_currentAhead = 0;
            m_aheadNext = 1;
            m_atEnd = false;
            m_position = 0;
        } else {
            settleOnEdge(false);
        }
        announceMove();
    });
}

void TableStore::MoveLast()
{
    requireOpen();
    guarded([&] {
        storeBeforeLeaving();
        noteOtherWrites();
        settleOnEdge(true);
        announceMove();
    });
}

void TableStore::MoveNext()
{
    requireOpen();
    guarded([&] {
        storeBeforeLeaving();
        noteOtherWrites();
        // A walk reads ahead, in windows that grow while it goes on undisturbed, so a short walk
        // reads little and a long one costs one statement per few hundred rows. A window that
        // came short was the last: past it there is nothing to ask for.
        if (hasCurrent() && m_aheadNext >= m_ahead.size() && !m_aheadIsLast) {
            m_aheadSize = std::clamp(m_aheadSize * 4, FirstWindow, ReadAhead);
            const Row from = *current();
            m_ahead.clear();
            m_aheadNext = 0;
            m_aheadIsFirst = false;
            try {
                eachRowBeside(from, m_aheadSize, true, [&](const Sqlite::Statement& st) { m_ahead.append(st, m_fields); });
            } catch (...) {
                m_ahead.clear(); // a window cut short would skip rows
                throw;
            }
            m_aheadIsLast = m_ahead.size() < m_aheadSize;
        }
        if (!hasCurrent() || m_aheadNext >= m_ahead.size()) {
            // Past the last row the current row stays where it was.
            m_atEnd = true;
            return;
        }
        m_currentAhead = m_aheadNext++;
        m_atEnd = false;
        if (m_position)
            ++*m_position;
        announceMove();
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
        noteOtherWrites();
        if (m_keyField < 0)
            throw AppError(QStringLiteral("Table %1 has no key to search").arg(label()));
        const QVariant key = converted(m_keyField, text);
        const std::optional<Row> found = fetchRow(viewConditions() + QList<Condition>{{m_keyField, Op::Is, key}}, false);
        if (!found)
            return false;
        setCurrent(found, false, std::nullopt);
        announceMove();
        return true;
    });
}

void TableStore::InsertRow()
{
    requireWritable();
    guarded([&] {
        storeBeforeLeaving();
        noteOtherWrites();
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
        noteOtherWrites();
        // Take the row as the file holds it now, not as it was read.
        const std::optional<Row> row = hasCurrent() ? fetchById(current()->rowId) : std::nullopt;
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
    const bool wasNew = row.isNew;
    m_pending.reset();
    const std::optional<Row> before = wasNew ? std::nullopt : current();
    const std::optional<qint64> placeBefore = m_position;
    std::optional<Row> stored = fetchById(rowId);
    // The count and the stored row's place follow from what was there, so the grid never has
    // to count the rows again after a store.
    std::optional<qint64> place;
    if (stored && inView(*stored)) {
        if (m_rowCount && (wasNew || !before || !inView(*before)))
            ++*m_rowCount;
        const bool keptPlace = before && inView(*before) && std::all_of(m_order.begin(), m_order.end(), [&](int f) {
                                   return TableStorePrivate::sameValue(before->values.at(f), stored->values.at(f));
                               });
        if (keptPlace)
            place = placeBefore;
        else if (m_rowCount && rowsBeside(*stored, 1, true).isEmpty())
            place = *m_rowCount - 1; // the usual new row: a serial or a date after every other
    } else if (m_rowCount && before && inView(*before)) {
        --*m_rowCount;
    }
    setCurrent(std::move(stored), false, place);
    emit rowsChanged();
    emit currentChanged();
    emit currentMoved();
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
    m_unit = UnitStart{current(), m_atEnd};
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

TableStore::Snapshot::Snapshot(const TableStore& table)
{
    table.requireOpen();
    if (!sqlite3_get_autocommit(table.m_db.get()))
        return;
    table.guarded([&] {
        Sqlite::exec(table.m_db.get(), QStringLiteral("BEGIN"));
        m_db = table.m_db.get();
        // A deferred transaction takes its snapshot at its first read.
        try {
            Sqlite::exec(m_db, QStringLiteral("SELECT count(*) FROM sqlite_schema"));
        } catch (...) {
            sqlite3_exec(std::exchange(m_db, nullptr), "ROLLBACK", nullptr, nullptr, nullptr);
            throw;
        }
    });
}

TableStore::Snapshot::~Snapshot()
{
    if (m_db && !sqlite3_get_autocommit(m_db))
        sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
}

void TableStore::Rollback() noexcept
{
    if (!isOpen() || !m_unit)
        return;
    const UnitStart start = *std::exchange(m_unit, std::nullopt);
    m_pending.reset();
    m_rowCount.reset();
    m_position.reset();
    dropReadAhead();
    ++m_rangeStamp;
    // A failed COMMIT may have ended the transaction already.
    if (!sqlite3_get_autocommit(m_db.get()))
        sqlite3_exec(m_db.get(), "ROLLBACK", nullptr, nullptr, nullptr);
    m_currentAhead = -1;
    m_current = start.current;
    m_atEnd = start.atEnd;
    try {
        emit rowsChanged();
        announceMove();
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
    ++m_rangeStamp;
    settleOnEdge(false);
    emit rowsChanged();
    announceMove();
}
