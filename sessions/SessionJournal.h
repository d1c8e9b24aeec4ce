#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

#include <optional>

// The console's own record of the sessions it counts: one record per station whose session runs
// or whose closing "0" is still owed. It is replaced whole, flushed, on every opening, end, stop
// and delivered "0" (never per tick), so a console started after a crash, a kill or a power cut
// knows which stations to go on counting and which to close.
struct JournalRecord
{
    JournalRecord() = default;
    JournalRecord(const QString& station, const QDateTime& paidEndUtc, int minutes, bool owesZero, const QByteArray& bootId = {},
                  qint64 openedAtMs = 0, bool countersWritten = true)
        : station(station)
        , paidEndUtc(paidEndUtc)
        , minutes(minutes)
        , owesZero(owesZero)
        , bootId(bootId)
        , openedAtMs(openedAtMs)
        , countersWritten(countersWritten)
    {
    }

    QString station;
    QDateTime paidEndUtc; // the paid session's end on the wall clock
    int minutes = 0;      // the minutes bought
    bool owesZero = false;
    // The boot the session was opened in and the boot-time clock's milliseconds at its opening:
    // while the machine has not restarted, the time left is measured on that clock, which no
    // setting of the wall clock moves. Empty in records written before they were kept.
    QByteArray bootId;
    qint64 openedAtMs = 0;
    // Whether the session's counters have reached the station's file. An opening raises only the
    // flag: until its first tick is written the counters there are an earlier session's (or the
    // file's own "0"), which say nothing of the time bought and must not shorten it.
    bool countersWritten = true;

    bool operator==(const JournalRecord&) const = default;
};

namespace SessionJournal {

// One record per line: station, paid end (ISO 8601, UTC), minutes, "1" when a "0" is owed, the boot
// id and the boot-time milliseconds of the opening, and "1" once the counters were written,
// separated by tabs. Records without the last three or the last one (an older console's) are read as
// well, their counters taken as written. CR, LF and CR LF all end a line; lines that are not such
// a record are passed over. Station names match regardless of case, as Windows names hosts: of two
// records of one station the one with the earlier paid end is kept, so an edit or a fault never
// lengthens a session.
QByteArray format(const QList<JournalRecord>& records);
QList<JournalRecord> parse(const QByteArray& bytes);

// The journal below the install root; no file means no sessions. Throws AppError when it exists
// but cannot be read, or cannot be replaced (the old journal then stays as it was). A Data folder
// that is a link is followed.
QList<JournalRecord> load();
void save(const QList<JournalRecord>& records);
// Renames a journal that cannot be read out of the way, keeping it for whoever looks into it, so
// a new one can be started; returns the name it now has, or nothing when it could not be moved.
std::optional<QString> moveAside();

// The whole seconds of the paid time still to come, never more than the minutes bought: measured
// on the boot-time clock when the record was made in this boot, else on the wall clock (which a
// flat battery or a time server may have moved either way).
qint64 secondsLeft(const JournalRecord& record);

} // namespace SessionJournal
