#include "accounting/Shifts.h"

#include "install/AuditFile.h"
#include "install/Tables.h"
#include "platform/AppError.h"
#include "platform/Clock.h"
#include "platform/Regional.h"

#include <algorithm>

namespace Shifts {

namespace {

const QString ShiftColumns = QStringLiteral("\"Id\", \"Operator\", \"OpenedUtc\", \"OpeningCash\", \"AfterEntry\", "
                                            "\"ClosedUtc\", \"LastEntry\", \"Counted\", \"Head\"");

Shift shiftOf(const Sqlite::Statement& statement)
{
    Shift shift;
    shift.id = statement.int64(0);
    shift.operatorName = statement.text(1);
    shift.opened = QDateTime::fromString(statement.text(2), Qt::ISODate);
    shift.openingCash = statement.real(3);
    shift.afterEntry = statement.int64(4);
    if (!statement.isNull(5)) {
        shift.closed = QDateTime::fromString(statement.text(5), Qt::ISODate);
        shift.lastEntry = statement.int64(6);
        shift.counted = statement.real(7);
        shift.head = statement.text(8);
    }
    return shift;
}

QList<Shift> select(sqlite3* db, const QString& where)
{
    try {
        Sqlite::Statement statement(db,
                                    QStringLiteral("SELECT %1 FROM \"Shifts\" %2 ORDER BY \"Id\" DESC").arg(ShiftColumns, where));
        QList<Shift> shifts;
        while (statement.step())
            shifts.append(shiftOf(statement));
        return shifts;
    } catch (const Sqlite::Failure& error) {
        throw AuditFile::failure(error.text());
    }
}

std::optional<Shift> openShift(sqlite3* db)
{
    const QList<Shift> open = select(db, QStringLiteral("WHERE \"ClosedUtc\" IS NULL"));
    if (open.isEmpty())
        return std::nullopt;
    return open.first();
}

// The number of the ledger's last entry; 0 for an empty ledger.
qint64 lastEntry()
{
    const Tables::Table& table = Tables::ledgerEntries();
    const Sqlite::Connection db = Tables::openForReading(table);
    try {
        Sqlite::Statement statement(db.get(),
                                    QStringLiteral("SELECT COALESCE(MAX(%1), 0) FROM %2")
                                        .arg(Sqlite::quoted(Tables::EntryField::Auto), Sqlite::quoted(table.name)));
        statement.step();
        return statement.int64(0);
    } catch (const Sqlite::Failure& error) {
        throw Tables::readFailure(table, error.text());
    }
}

QString checkedName(const QString& name)
{
    const QString trimmed = name.simplified();
    if (trimmed.isEmpty())
        throw AppError(QStringLiteral("A shift needs the operator's name."));
    return trimmed;
}

void checkCash(double cash, const QString& what)
{
    if (!(cash >= 0) || cash > 1e12)
        throw AppError(QStringLiteral("The %1 must be a sum of 0 or more.").arg(what));
}

// Runs the statements in one write transaction of the file: all or nothing.
template <typename Work>
auto inTransaction(sqlite3* db, Work work)
{
    try {
        Sqlite::exec(db, QStringLiteral("BEGIN IMMEDIATE"));
    } catch (const Sqlite::Failure& error) {
        throw AuditFile::failure(error.text());
    }
    try {
        auto result = work();
        Sqlite::exec(db, QStringLiteral("COMMIT"));
        return result;
    } catch (const Sqlite::Failure& error) {
        sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
        throw AuditFile::failure(error.text());
    } catch (...) {
        sqlite3_exec(db, "ROLLBACK", nullptr, nullptr, nullptr);
        throw;
    }
}

Shift insertShift(sqlite3* db, const QString& name, double cash, const QDateTime& now)
{
    Shift shift;
    shift.operatorName = name;
    shift.opened = now.toUTC();
    shift.openingCash = cash;
    shift.afterEntry = lastEntry();
    Sqlite::Statement insert(db,
                             QStringLiteral("INSERT INTO \"Shifts\" (\"Operator\", \"OpenedUtc\", \"OpenedLocal\", "
                                            "\"OpeningCash\", \"AfterEntry\") VALUES (?1, ?2, ?3, ?4, ?5)"));
    insert.bind(1, name);
    insert.bind(2, shift.opened.toString(Qt::ISODate));
    insert.bind(3, now.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")));
    insert.bind(4, cash);
    insert.bind(5, shift.afterEntry);
    insert.step();
    shift.id = sqlite3_last_insert_rowid(db);
    return shift;
}

// The figures are read before the close commits: a ledger that cannot be read leaves the shift open.
Closing closeShift(sqlite3* db, double counted, const QDateTime& now)
{
    std::optional<Shift> shift = openShift(db);
    if (!shift)
        throw AppError(QStringLiteral("No shift is open."));
    shift->closed = now.toUTC();
    shift->lastEntry = lastEntry();
    shift->counted = counted;
    Sqlite::Statement update(db,
                             QStringLiteral("UPDATE \"Shifts\" SET \"ClosedUtc\" = ?1, \"ClosedLocal\" = ?2, "
                                            "\"LastEntry\" = ?3, \"Counted\" = ?4 WHERE \"Id\" = ?5"));
    update.bind(1, shift->closed->toString(Qt::ISODate));
    update.bind(2, now.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")));
    update.bind(3, shift->lastEntry);
    update.bind(4, counted);
    update.bind(5, shift->id);
    Closing figures = closing(*shift);
    update.step();
    return figures;
}

Opened recordOpened(const Shift& shift)
{
    Audit::setOperatorName(shift.operatorName);
    Audit::Event event;
    event.event = Audit::Events::ShiftOpen;
    event.amount = shift.openingCash;
    event.newValue = shift.operatorName;
    event.text =
        QStringLiteral("shift %1 opened with %2 in the drawer").arg(shift.id).arg(Regional::formatGeneral(shift.openingCash));
    return {shift, Audit::record(event)};
}

// The head is kept with the shift so that its slip prints the same again.
Closed recordClosed(sqlite3* db, Closing figures)
{
    const Shift& shift = figures.shift;
    Audit::Event event;
    event.event = Audit::Events::ShiftClose;
    event.minutes = figures.tally.minutes;
    event.amount = *shift.counted;
    event.oldValue = Regional::formatGeneral(figures.expected);
    event.newValue = Regional::formatGeneral(*shift.counted);
    event.text = QStringLiteral("shift %1 closed: %2 sessions, takings %3, expected %4, counted %5, difference %6")
                     .arg(shift.id)
                     .arg(figures.tally.sessions)
                     .arg(Regional::formatGeneral(figures.tally.takings), Regional::formatGeneral(figures.expected),
                          Regional::formatGeneral(*shift.counted), Regional::formatGeneral(figures.difference()));
    const std::optional<QString> problem = Audit::record(event);
    Audit::setOperatorName(QString());
    try {
        figures.head = Audit::lastHead();
        if (figures.head) {
            figures.shift.head = Audit::headText(*figures.head);
            Sqlite::Statement update(db, QStringLiteral("UPDATE \"Shifts\" SET \"Head\" = ?1 WHERE \"Id\" = ?2"));
            update.bind(1, figures.shift.head);
            update.bind(2, shift.id);
            update.step();
        }
    } catch (const AppError&) {
        // The problem above already says why the record cannot be read; the slip prints no head.
    }
    return {figures, problem};
}

} // namespace

double parseCash(const QString& text)
{
    const double cash = Regional::parseDecimal(text);
    checkCash(cash, QStringLiteral("cash"));
    return cash;
}

// Reading writes nothing: a record without the table has no shifts.
std::optional<Shift> current()
{
    const std::optional<Sqlite::Connection> db = AuditFile::openForReading(QStringLiteral("Shifts"));
    return db ? openShift(db->get()) : std::nullopt;
}

QStringList operatorNames()
{
    QStringList names;
    for (const Shift& shift : history())
        if (!names.contains(shift.operatorName))
            names.append(shift.operatorName);
    return names;
}

QList<Shift> history()
{
    const std::optional<Sqlite::Connection> db = AuditFile::openForReading(QStringLiteral("Shifts"));
    return db ? select(db->get(), QString()) : QList<Shift>();
}

Tally tally(const Shift& shift)
{
    const Tables::Table& table = Tables::ledgerEntries();
    const Sqlite::Connection db = Tables::openForReading(table);
    Tally result;
    try {
        using namespace Tables::EntryField;
        Sqlite::Statement statement(db.get(),
                                    QStringLiteral("SELECT %1, COUNT(*), COALESCE(SUM(%2), 0), COALESCE(SUM(%3), 0) FROM %4 "
                                                   "WHERE %5 > ?1 AND (?2 IS NULL OR %5 <= ?2) GROUP BY %1")
                                        .arg(Sqlite::quoted(Kind), Sqlite::quoted(Minutes), Sqlite::quoted(Cost),
                                             Sqlite::quoted(table.name), Sqlite::quoted(Auto)));
        statement.bind(1, shift.afterEntry);
        statement.bind(2, shift.closed ? QVariant(shift.lastEntry) : QVariant());
        while (statement.step()) {
            const KindSums sums{statement.text(0), statement.int64(1), statement.int64(2), statement.real(3)};
            result.sessions += sums.sessions;
            result.minutes += sums.minutes;
            result.takings += sums.takings;
            result.kinds.append(sums);
        }
    } catch (const Sqlite::Failure& error) {
        throw Tables::readFailure(table, error.text());
    }
    std::stable_sort(result.kinds.begin(), result.kinds.end(),
                     [](const KindSums& a, const KindSums& b) { return a.takings > b.takings; });
    return result;
}

Closing closing(const Shift& shift)
{
    Closing figures;
    figures.shift = shift;
    figures.tally = tally(shift);
    figures.expected = shift.openingCash + figures.tally.takings;
    if (!shift.head.isEmpty())
        figures.head = Audit::parseHead(shift.head).head;
    return figures;
}

Opened open(const QString& operatorName, double openingCash)
{
    const QString name = checkedName(operatorName);
    checkCash(openingCash, QStringLiteral("opening cash"));
    const Sqlite::Connection db = AuditFile::open();
    const QDateTime now = Clock::now();
    const Shift shift = inTransaction(db.get(), [&] {
        if (const std::optional<Shift> running = openShift(db.get()))
            throw AppError(
                QStringLiteral("The shift of %1 is still open: close it or hand it over first.").arg(running->operatorName));
        return insertShift(db.get(), name, openingCash, now);
    });
    return recordOpened(shift);
}

Closed close(double counted)
{
    checkCash(counted, QStringLiteral("counted cash"));
    const Sqlite::Connection db = AuditFile::open();
    const QDateTime now = Clock::now();
    return recordClosed(db.get(), inTransaction(db.get(), [&] { return closeShift(db.get(), counted, now); }));
}

HandedOver handOver(double counted, const QString& nextOperator)
{
    const QString name = checkedName(nextOperator);
    checkCash(counted, QStringLiteral("counted cash"));
    const Sqlite::Connection db = AuditFile::open();
    const QDateTime now = Clock::now();
    const auto [closedShift, openedShift] = inTransaction(db.get(), [&] {
        Closing closedOne = closeShift(db.get(), counted, now);
        return std::pair{closedOne, insertShift(db.get(), name, counted, now)};
    });
    HandedOver result;
    result.closed = recordClosed(db.get(), closedShift);
    result.opened = recordOpened(openedShift);
    return result;
}

std::optional<QString> restoreOperator()
{
    try {
        const std::optional<Shift> shift = current();
        Audit::setOperatorName(shift ? shift->operatorName : QString());
        return std::nullopt;
    } catch (const AppError& error) {
        return error.text();
    }
}

} // namespace Shifts
