#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <optional>

struct sqlite3;

// The owner's record of what was done at the counter: "Data\Audit\Audit.db", table Audit, one row
// per event, only ever appended to, each row chained to the one before by its hash.
//
// The chain. A row's Hash is the lower-case hex of SHA-256 over the raw 32 bytes of the previous
// row's Hash (32 zero bytes for row 1) followed by the row's fields in this order: Serial,
// TimeUtc, TimeLocal, Program, Operator, Event, Station, Minutes, Kind, Amount, OldValue,
// NewValue, Text. Each field is its UTF-8 bytes preceded by their count as 4 bytes, most
// significant first; an empty Minutes or Amount is the count FF FF FF FF with no bytes. Serial and
// Minutes are written in decimal, Amount as the shortest of C's "%.17g". So a changed field, a
// removed or inserted row or two rows swapped break the chain at that row, and a chain rebuilt
// from some row on no longer passes through a head (Serial:Hash) printed before.
namespace Audit {

// What the Event field holds, one word each; the owner's view shows them by name (caption()).
namespace Events {
inline const QString ConsoleStart = QStringLiteral("console-start");
inline const QString ConsoleExit = QStringLiteral("console-exit");
inline const QString UncleanExit = QStringLiteral("unclean-exit");
inline const QString SessionOpen = QStringLiteral("session-open");
inline const QString SessionReopen = QStringLiteral("session-reopen");
inline const QString SessionEnd = QStringLiteral("session-end");
inline const QString StopTime = QStringLiteral("stop-time");
inline const QString OwedZero = QStringLiteral("owed-zero");
inline const QString SessionResumed = QStringLiteral("session-resumed");
inline const QString RecordDropped = QStringLiteral("record-dropped");
inline const QString OpenUnrecorded = QStringLiteral("open-unrecorded");
inline const QString StationCommand = QStringLiteral("station-command");
inline const QString TariffChange = QStringLiteral("tariff-change");
inline const QString CardTariffChange = QStringLiteral("card-tariff-change");
inline const QString Recompute = QStringLiteral("recompute");
inline const QString CardBatch = QStringLiteral("card-batch");
inline const QString CardReport = QStringLiteral("card-report");
inline const QString Import = QStringLiteral("import");
inline const QString Export = QStringLiteral("export");
inline const QString ClockJump = QStringLiteral("clock-jump");
inline const QString ShiftOpen = QStringLiteral("shift-open");
inline const QString ShiftClose = QStringLiteral("shift-close");
inline const QString PinRefused = QStringLiteral("pin-refused");
inline const QString OwnerSetting = QStringLiteral("owner-setting");
inline const QString Gap = QStringLiteral("audit-gap");
} // namespace Events

// The event's name as the owner reads it, in Arabic; an unknown word is shown as it is.
QString caption(const QString& event);
// Every event word, in the order the owner's view offers them.
const QList<QString>& eventWords();

// What the caller says about the event; the record adds the serial, the times, the program, the
// operator and the hash.
struct Event
{
    QString event;
    QString station;
    std::optional<qint64> minutes;
    QString kind;
    std::optional<double> amount;
    QString oldValue;
    QString newValue;
    QString text;
};

struct Row
{
    qint64 serial = 0;
    QString timeUtc;   // ISO 8601, "2026-12-11T08:58:38Z"
    QString timeLocal; // the counter's wall clock, "2026-12-11 09:58:38"
    QString program;   // the program file that wrote the row
    QString operatorName;
    Event event;
    QString hash; // 64 lower-case hex digits
};

// Appends the event, after the action it records is durable and before the operator is told. It
// never throws: when the row cannot be written the reason is returned for the operator's error
// box (the action stands), and the next row that can be written is preceded by one that records
// how many events were lost, when, and why.
std::optional<QString> record(const Event& event);

// The name the rows give as the operator on duty; empty when no shift is open.
void setOperatorName(const QString& name);

// The table's local path. Throws AppError when the install path cannot be resolved.
QString localPath();
// Makes the table (and its folder) unless it exists; returns whether it did. Throws AppError.
bool create();

// A head printed earlier: a serial and its row's hash.
struct Head
{
    qint64 serial = 0;
    QByteArray hash; // 32 raw bytes
};
// The last row's serial and hash as stored, without walking the chain; nothing when the record is
// empty. Throws AppError when the table cannot be read.
std::optional<Head> lastHead();
// Reads "SERIAL:HEX" (64 hex digits). Returns the head, or the reason it is not one.
struct HeadOrReason
{
    std::optional<Head> head;
    QString reason;
};
HeadOrReason parseHead(const QString& text);

struct Verdict
{
    bool whole = false;
    qint64 events = 0;
    // The first row that breaks the chain (0 when whole), and what was done to it.
    qint64 badSerial = 0;
    QString message; // "N events, the chain is whole" or what is wrong, naming the row
    std::optional<Head> last;
};
// Walks the chain from row 1; with a head, also checks that the chain passes through it. Throws
// AppError when the table cannot be read.
Verdict verify(const std::optional<Head>& head = {});
// The same over an open database holding the table.
Verdict verify(sqlite3* db, const std::optional<Head>& head = {});

// The row's fields in the chain's encoding (above), its hash left out.
QByteArray encoded(const Row& row);
// The hash of a row given the previous row's raw hash; what record() stores and verify() checks.
QByteArray chainHash(const QByteArray& previous, const Row& row);

// The rows whose local day lies between the two dates (ISO, either may be empty), in serial
// order. Throws AppError when the table cannot be read.
QList<Row> rows(const QString& fromDay = {}, const QString& toDay = {});

// The last row whose event is one of these, if any. Throws AppError when the table cannot be read.
std::optional<Row> lastOf(const QList<QString>& events);

// "SERIAL:HEX" of a head, as the owner writes it down.
QString headText(const Head& head);

} // namespace Audit
