#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

// The console's own record of the sessions it counts: one record per station whose session runs
// or whose closing "0" is still owed. It is replaced whole, flushed, on every opening, end, stop
// and delivered "0" (never per tick), so a console started after a crash, a kill or a power cut
// knows which stations to go on counting and which to close.
struct JournalRecord
{
    QString station;
    QDateTime paidEndUtc; // the paid session's end on the wall clock
    int minutes = 0;      // the minutes bought
    bool owesZero = false;

    bool operator==(const JournalRecord&) const = default;
};

namespace SessionJournal {

// One record per line: station, paid end (ISO 8601, UTC), minutes and "1" when a "0" is owed,
// separated by tabs. Lines that are not such a record are passed over.
QByteArray format(const QList<JournalRecord>& records);
QList<JournalRecord> parse(const QByteArray& bytes);

// The journal below the install root; no file means no sessions. Throws AppError when it exists
// but cannot be read, or cannot be replaced (the old journal then stays as it was).
QList<JournalRecord> load();
void save(const QList<JournalRecord>& records);

} // namespace SessionJournal
