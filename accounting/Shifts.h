#pragma once

#include "install/Audit.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

// The operators' shifts, kept in the audit record's file (table Shifts). A café that never opens
// one sees nothing of them. A shift's sessions are the ledger entries stored while it was open:
// those whose Auto number lies after the last one at its opening and up to the last one at its
// close. So a shift that runs past midnight, or over a console restart, counts every bill it took,
// and none twice.
namespace Shifts {

struct Shift
{
    qint64 id = 0;
    QString operatorName;
    QDateTime opened; // UTC
    double openingCash = 0;
    qint64 afterEntry = 0;
    std::optional<QDateTime> closed; // UTC
    qint64 lastEntry = 0;            // when closed
    std::optional<double> counted;   // when closed
    QString head;                    // the audit chain's head after its close, "SERIAL:HEX"
};

struct KindSums
{
    QString kind; // the word as the ledger stores it
    qint64 sessions = 0;
    qint64 minutes = 0;
    double takings = 0;
};

struct Tally
{
    qint64 sessions = 0;
    qint64 minutes = 0;
    double takings = 0;
    QList<KindSums> kinds; // by takings, most first
};

// The open shift, if any. Throws AppError when the file cannot be read.
std::optional<Shift> current();
// The names that opened shifts, most recent first, each once.
QStringList operatorNames();
// Every shift, the latest first.
QList<Shift> history();

// The shift's sessions so far (an open one) or up to its close. Throws AppError naming the ledger
// when the entries cannot be read.
Tally tally(const Shift& shift);

// A shift once counted: its figures and the head of the audit chain after its close was recorded.
struct Closing
{
    Shift shift;
    Tally tally;
    double expected = 0; // opening cash + the shift's takings
    double difference() const { return shift.counted.value_or(0) - expected; }
    std::optional<Audit::Head> head;
};

// What was done, and the audit record's problem, if any, for the error box (the shift stands).
struct Opened
{
    Shift shift;
    std::optional<QString> auditProblem;
};
struct Closed
{
    Closing closing;
    std::optional<QString> auditProblem;
};
struct HandedOver
{
    Closed closed;
    Opened opened;
};

// Opens a shift. Refuses (AppError, nothing changed) an empty name, a negative or unreadable
// cash, or a shift already open. The operator's name goes into every audit row from now on.
Opened open(const QString& operatorName, double openingCash);
// Closes the open shift with the cash counted in the drawer. Refuses a negative count or no open
// shift.
Closed close(double counted);
// Closes the open shift and opens the next operator's with the counted cash, in one step: both or
// neither.
HandedOver handOver(double counted, const QString& nextOperator);

// A closed shift's figures, as its slip shows them again. Throws AppError.
Closing closing(const Shift& shift);

// At start-up: the open shift's operator, if any, goes back into the audit rows. Returns the
// reason it could not be read, if any.
std::optional<QString> restoreOperator();

// The cash as the operator types it (regional decimal separator), at least 0. Throws AppError.
double parseCash(const QString& text);

} // namespace Shifts
