#pragma once

#include "platform/store/Sqlite.h"
#include "platform/store/TableMessages.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <QVariant>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

// One table of the system: an SQLite file holding one table named after the file's stem, read and
// written through a cursor. The cursor has a current row and at most one pending row, new or being
// changed; every operation that leaves the pending row stores it first.
//
// Order. Rows come in the order of the chosen index (the primary key unless one is named), with
// the row id breaking ties. Text compares by its UTF-8 bytes (SQLite's BINARY collation), that is
// by code point; an empty field sorts before every value. Moving is done by seeking from the
// current row's key in the index, and no lock is held between operations. MoveNext reads a few
// hundred rows ahead in one statement; what it read ahead is dropped by every write through this
// table and by any other connection's write to the file, so a walk sees the file as it is at
// each step, and no row is skipped or repeated. The cost of a step does not grow with the table.
//
// Fields. Kinds and sizes come from the declared types in the file (see TableFiles.h). An empty
// field is NULL: it reads as "" as text and as 0 as a number. String sizes count bytes of the
// Windows Arabic code page; a longer text is cut when it is set.
//
// Durability. Each store is its own committed transaction, flushed to the table's write-ahead log, so a row is on
// disk when PostRow returns; inside a unit (StartTransaction) when Commit returns. Another
// program's lock makes an operation fail after a short wait.
//
// Master and detail. A detail shows only the rows whose first index field equals the master's
// field on the master's current row (pending or not), and follows every move of the master and
// every change of that field; while the master is closed the link rests and the detail shows all
// its rows. Before the master stores, moves, searches or inserts, the detail's pending row is
// stored (a change of the master's field alone leaves it pending, with the value it was given).
//
// Every failure throws AppError with a text for the operator.
class TableStore : public QObject
{
    Q_OBJECT
public:
    enum class FieldKind { String, SmallInt, Integer, Float, AutoInc };
    struct Field
    {
        QString name;
        FieldKind kind = FieldKind::String;
        int size = 0; // bytes, for strings
    };
    struct Row
    {
        qint64 rowId = 0;
        QList<QVariant> values; // by field, a null QVariant for an empty field
    };
    enum class Pending { None, New, Changed };

    // How long a store or an open waits for another program's lock before it fails.
    static constexpr int LockWaitMs = 2000;

    explicit TableStore(QObject* parent = nullptr);
    ~TableStore() override;

    // Where the table is: a Windows directory and the table file's name. Only while closed.
    void setDirectory(const QString& windowsDirectory);
    void setTableName(const QString& fileName);
    QString directory() const { return m_directory; }
    QString tableName() const { return m_tableName; }
    // The index that orders the rows: an index of the file by name, or empty for the primary key.
    // Only while closed.
    void setIndexName(const QString& name);
    // The same, naming the index by its fields ("Auto" or "A;B"): the primary key when they are its
    // fields, else the index that starts with them. Only while closed.
    void setIndexFieldNames(const QString& fieldNames);
    // A field the owner uses, with the kinds it can use and, for a string it writes, the size its
    // values need.
    struct FieldNeed
    {
        QString name;
        QList<FieldKind> kinds;
        int minSize = 0;
    };
    // Opening refuses a table that lacks one of these fields or holds it in a kind (or a string
    // size) the owner cannot use, naming the table and the field, before anything is read or
    // written. Only while closed.
    void setNeededFields(QList<FieldNeed> needs);
    // A read-only table refuses to begin a pending row. Only while closed.
    void setReadOnly(bool readOnly);
    // Runs after every row this table stores; the owner flushes the table from it.
    void setAfterPost(std::function<void()> step) { m_afterPost = std::move(step); }

    // A table whose folder, file or log files this program may not write is opened for reading:
    // it can be viewed, and whatever would write it fails with writeProblem().
    void OpenTable();
    void OpenTable(const QString& windowsDirectory, const QString& fileName);
    void CloseTable();
    bool isOpen() const { return bool(m_db); }
    // Why the open table cannot be written (the folder or file named), for a check before work
    // that would write it; nothing when it can, or when it was opened read-only on purpose.
    const std::optional<QString>& writeProblem() const { return m_writeProblem; }

    // Searches the first field of the index in use, within a detail's rows; on a miss the current
    // row stays. The text is converted as SetFieldText converts it.
    bool FindByKey(const QString& text);
    void InsertRow();
    // Makes the current row, as the file holds it now, pending; fails when there is no row.
    void EditRow();
    // Fails when no row is pending. A row that cannot be stored stays pending.
    void PostRow();
    Pending pending() const;

    void SetFieldText(const QString& field, const QString& text);
    void SetFieldInteger(const QString& field, qint64 value);
    void SetFieldFloat(const QString& field, double value);
    // The current row, or the pending row while there is one; with no row every field is empty.
    QString GetFieldText(const QString& field) const;
    double GetFieldFloat(const QString& field) const;
    qint64 GetFieldInteger(const QString& field) const;

    void MoveFirst();
    void MoveNext();
    void MoveLast();
    // True after MoveNext found no further row (the last row stays current) and after any move
    // that found no row at all.
    bool AtEnd() const;

    // Makes the stores up to Commit one unit: none of them is in the file unless Commit succeeds.
    // Inside the unit a stored row already has its serial and reads back as stored. Rollback, or
    // closing the table, undoes every store of the unit and drops a pending row; the cursor goes
    // back to where it stood when the unit began. One unit at a time, on this table only.
    void StartTransaction();
    // Stores a pending row, then makes the unit durable. On a failure the unit is still open and
    // the caller rolls it back.
    void Commit();
    // Never fails: whatever cannot be undone in the file was never committed.
    void Rollback() noexcept;
    bool inTransaction() const { return m_unit.has_value(); }

    // A unit begun now that rolls back when it goes out of scope uncommitted (an exception on the
    // way): StartTransaction here, Commit by commit().
    class Unit
    {
    public:
        explicit Unit(TableStore& table)
            : m_table(table)
        {
            m_table.StartTransaction();
        }
        ~Unit()
        {
            if (!m_committed)
                m_table.Rollback();
        }
        void commit()
        {
            m_table.Commit();
            m_committed = true;
        }
        Unit(const Unit&) = delete;
        Unit& operator=(const Unit&) = delete;

    private:
        TableStore& m_table;
        bool m_committed = false;
    };

    // While it lives, what is read from the table is one state of it, whatever other programs
    // store meanwhile (a recompute sums every day from the same entries), and the reads take the
    // file's read lock once instead of once a query. Nothing is stored through the table meanwhile.
    // Inside a unit it adds nothing. Throws AppError.
    class Snapshot
    {
    public:
        explicit Snapshot(const TableStore& table);
        ~Snapshot();
        Snapshot(const Snapshot&) = delete;
        Snapshot& operator=(const Snapshot&) = delete;

    private:
        sqlite3* m_db = nullptr; // set when this snapshot began the read transaction
    };

    // Every store is committed with synchronous writes, so nothing is left to write; the result
    // says whether the table is open and so has its changes on disk.
    bool FlushTable();

    // Makes this table the detail of master, ordered by the named index whose first field is
    // matched with masterField. A null master ends the link. Only while this table is closed.
    void LinkToMaster(const QString& indexName, TableStore* master, const QString& masterField);

    // For grids. A closed table has no fields and no rows; these never move the cursor. The row
    // count and the current row's place are counted once when the table opens or its range
    // changes, then kept up to date by the cursor's own moves and stores.
    const QList<Field>& fields() const { return m_fields; }
    qint64 rowCount() const;
    // The sum of a number field over the stored rows in view (a detail's rows for its master's
    // current row), added in the table's order as a walk adding GetFieldFloat would, an empty
    // field as 0; the cursor stays where it is. Throws AppError, also for a text field.
    double sumOf(const QString& field) const;
    // The rows at these places. Seeks from the nearer end of the rows: a grid reads by key from
    // rows it holds (rowsAfter, rowsBefore) and only a jump far from them comes here.
    QList<Row> rows(qint64 first, int count) const;
    // Up to count rows that follow (or, nearest first, precede) the row in the order, within a
    // detail's rows: one seek in the index, whatever the table's size.
    QList<Row> rowsAfter(const Row& row, int count) const;
    QList<Row> rowsBefore(const Row& row, int count) const;
    // The current stored row, as the cursor read it; nothing while there is none.
    const std::optional<Row>& currentRow() const { return current(); }
    // The current stored row's place in the order, or -1 when there is none (or it lies outside a
    // detail's rows).
    qint64 currentPosition() const;
    // Stores a pending row, then makes the row at that place current; a place outside the rows
    // leaves the cursor where it is.
    void moveTo(qint64 position);
    // A value as GetFieldText shows it.
    QString textOf(int field, const QVariant& value) const;
    // Changes whenever the rows shown may have changed other than by this cursor's own stores:
    // opened or closed, a master's move, a unit rolled back, another connection's write. Between
    // two equal stamps the rows changed only as rowsChanged and the current row tell.
    quint64 rangeStamp() const { return m_rangeStamp; }
    // How many SQL statements this table has run since it was made (for tests of the cost of a
    // step).
    quint64 statementCount() const { return m_statementsRun; }

signals:
    // The rows to show may have changed: opened, closed, a row stored, the master moved.
    void rowsChanged();
    // The current row moved, or the pending row began, changed or ended.
    void currentChanged();
    // The current stored row moved (a subset of currentChanged: not for edits of a pending row).
    void currentMoved();

private:
    // One term of a query: a field (or the row id) compared with a value.
    static constexpr int RowId = -1;
    enum class Op : char { Is, IsNull, IsNotNull, Above, Below };
    struct Condition
    {
        int field;
        Op op;
        QVariant value;
    };
    struct PendingRow
    {
        bool isNew = true;
        qint64 rowId = 0;
        QList<QVariant> values;
        QList<bool> changed;
    };
    // Rows as the file gave them: a window read ahead keeps its rows so, and makes a value of a
    // field only when it is read, so a walk pays for the fields it reads and allocates nothing
    // per row once the window has grown.
    class RawRows
    {
    public:
        void clear();
        qsizetype size() const { return qsizetype(m_rowIds.size()); }
        // Takes the statement's row: the row id in column 0, then the fields.
        void append(const Sqlite::Statement& st, const QList<Field>& fields);
        qint64 rowId(qsizetype row) const { return m_rowIds[size_t(row)]; }
        QVariant value(qsizetype row, int field, const QList<Field>& fields) const;
        // A text field as GetFieldText shows it.
        QString text(qsizetype row, int field, const QList<Field>& fields) const;
        Row row(qsizetype row, const QList<Field>& fields) const;

    private:
        // A text's bytes lie in m_text from offset number, size bytes long.
        struct Cell
        {
            qint64 number = 0;
            double real = 0;
            int size = 0;
            bool null = true;
        };
        std::vector<qint64> m_rowIds;
        std::vector<Cell> m_cells; // by row, then by field
        std::string m_text;
    };
    struct LinkState
    {
        bool active = false;
        QVariant value;
        bool operator==(const LinkState& other) const;
    };

    QString label() const;
    QString windowsPath() const;
    TableMessages::Place place() const;
    void requireOpen() const;
    void requireWritable() const;
    void requireClosed() const;
    int fieldIndex(const QString& name) const;
    [[noreturn]] void rethrow(const Sqlite::Failure& failure) const;
    template <typename F>
    auto guarded(F&& body) const -> decltype(body());

    // Back to the closed state: the connection and everything read through it are dropped.
    void forget();
    void openConnection(const QString& localPath, bool reading);
    void readStructure();
    void checkNeeds() const;
    void resolveOrder();
    template <typename MakeSql>
    Sqlite::Statement& statement(const QByteArray& shape, MakeSql&& makeSql) const;
    static QByteArray shapeOf(char query, const QList<Condition>& conditions);
    QString nameOf(int field) const;
    QString selectList() const;
    Row readRow(const Sqlite::Statement& st) const;
    QList<Row> select(const QList<Condition>& where, bool descending, qint64 limit, qint64 offset = 0) const;
    std::optional<Row> fetchRow(const QList<Condition>& where, bool descending) const;
    std::optional<Row> fetchById(qint64 rowId) const;
    QList<Condition> viewConditions() const;
    QString orderBy(bool descending) const;
    QList<QList<Condition>> seekAfter(const Row& row) const;
    QList<QList<Condition>> seekBefore(const Row& row) const;
    // Whether another row may tie with this one on every field of the order.
    bool mayTie(const Row& row) const;
    QList<Row> rowsBeside(const Row& row, int count, bool after) const;
    // Hands each row found to onRow while the statement holds it, up to count rows.
    void eachRowBeside(const Row& row, int count, bool after, const std::function<void(const Sqlite::Statement&)>& onRow) const;
    void eachRow(const QList<Condition>& where, bool descending, qint64 limit, qint64 offset,
                 const std::function<void(const Sqlite::Statement&)>& onRow) const;
    // Another connection's write to the file drops everything read ahead or counted, and the
    // rows to show are announced as changed.
    void noteOtherWrites();
    void switchToWal();
    struct ChangeStamp
    {
        quint32 fileCounter = 0;
        std::optional<quint32> logCounter;
        bool operator==(const ChangeStamp&) const = default;
    };
    std::optional<ChangeStamp> changeStamp() const;
    void dropReadAhead();
    qint64 count(const QList<Condition>& where) const;
    bool inView(const Row& row) const;

    QString whereClause(const QList<Condition>& conditions) const;
    // Binds the conditions' values from ?1 on; returns how many it bound.
    static int bindAll(Sqlite::Statement& st, const QList<Condition>& conditions);

    int pendingField(const QString& name) const;
    QVariant converted(int field, const QString& text) const;
    QVariant checkedInteger(int field, qint64 value) const;
    void setPendingValue(int field, const QVariant& value);
    QVariant currentValue(int field) const;

    void storeBeforeLeaving();
    void storePending();
    void setCurrent(std::optional<Row> row, bool atEnd, std::optional<qint64> position);
    // The first (or last) row shown becomes current; with none the cursor is at the end.
    void settleOnEdge(bool last);
    void announceMove();
    void followMaster(bool masterMoved);
    LinkState masterLinkState() const;
    void notifyDetails(bool moved);

    QString m_directory;
    QString m_tableName;
    QString m_indexName;
    QString m_indexFieldNames;
    bool m_readOnly = false;
    QString m_localPath;                   // where the open table is on this machine
    std::optional<QString> m_writeProblem; // why the open table is read only, when it was to be written
    QList<FieldNeed> m_needs;
    std::function<void()> m_afterPost;

    Sqlite::Connection m_db;
    QString m_sqlName; // the table's name as the file spells it
    QList<Field> m_fields;
    // Names as the owner spelled them, found before: a loop reads the same fields row after row.
    mutable QHash<QString, int> m_fieldByName;
    QList<int> m_order;         // fields of the index in use; the row id follows them
    bool m_orderUnique = false; // a unique index holds those fields
    int m_keyField = -1;        // the index's first field: what FindByKey searches and a link matches
    mutable std::map<QByteArray, Sqlite::Statement> m_statements;
    mutable quint64 m_statementsRun = 0;
    mutable std::optional<qint64> m_rowCount;
    mutable std::optional<qint64> m_position; // of m_current, in the rows shown
    // The rows after the current one, read ahead for MoveNext, nearest first.
    RawRows m_ahead;
    qsizetype m_aheadNext = 0;
    int m_aheadSize = 0;
    bool m_aheadIsLast = false;  // the window came short: no row follows its last
    bool m_aheadIsFirst = false; // the window starts at the first row shown
    static constexpr int FirstWindow = 16;
    static constexpr int ReadAhead = 256;
    qint64 m_dataVersion = -1;
    std::optional<ChangeStamp> m_changeStamp;
    mutable sqlite3_file* m_file = nullptr; // the connection's, found on first use
    quint64 m_rangeStamp = 0;

    // The current row is made of the row read ahead that MoveNext moved to only when it is asked
    // for whole (current()); until then m_currentAhead is its place in m_ahead, else -1.
    mutable std::optional<Row> m_current;
    mutable qsizetype m_currentAhead = -1;
    const std::optional<Row>& current() const;
    bool hasCurrent() const { return m_currentAhead >= 0 || m_current; }
    std::optional<PendingRow> m_pending;
    bool m_atEnd = true;

    // Reads a window of rows from the first row shown on; the first becomes current.
    void settleOnFirst();

    // Where the cursor stood when the open unit began.
    struct UnitStart
    {
        std::optional<Row> current;
        bool atEnd = true;
    };
    std::optional<UnitStart> m_unit;

    TableStore* m_master = nullptr;
    QString m_masterField;
    LinkState m_link;
    QList<TableStore*> m_details;
};
