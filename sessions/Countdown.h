#pragma once

#include "stations/StationIo.h"

#include <QDateTime>
#include <QString>

#include <exception>
#include <optional>

class LineBuffer;

// One station's countdown. The two captions show the remaining time and are what the station is
// sent; each tick steps them down by the whole seconds that really passed since the countdown
// started, measured on the boot-time clock (which runs while the machine sleeps), so a tick
// that came late or was merged with another while the window was busy costs the customer
// nothing, and one that came early takes nothing from them.
//
// A write the station does not take never stops the count: what it missed stays pending and is
// tried again on a backoff (10 s, doubling up to 60 s), and the first write that succeeds brings
// the file up to date. A session's end is tried at once, and a closing "0" that the station did
// not take is tried again every 5 s. A session that ended while its station was away owes the station its
// flag "0" until that is written.
struct CountdownState
{
    // What the station has not received yet, most important last.
    enum class Pending {
        None,
        Counters,     // the current seconds and minutes
        ZeroFlag,     // the session flag "0" (a stop, or an opening undone)
        EndOfSession, // the flag "0", then "--" for the counters
    };

    QString minutes = QStringLiteral("00");
    QString seconds = QStringLiteral("00");
    // The last step brought the seconds to 0, so the next one deducts a minute.
    bool minuteDue = false;
    // The row's timer runs: the session counts, or the station is still owed a write.
    bool timerEnabled = false;
    // The captions count a session down.
    bool counting = false;

    Pending pending = Pending::None;
    // Boot-time milliseconds before which a failed write is not tried again, and the wait that
    // led there (0: the last write succeeded).
    qint64 retryAt = 0;
    int retryDelaySeconds = 0;

    // Where the measured count stands: the start on the boot-time clock and the seconds deducted since.
    qint64 startedAtMs = 0;
    qint64 secondsCounted = 0;

    // The paid session, for the console's journal: minutes bought, the paid end (UTC) and the
    // opening on the boot-time clock (for a resumed session, where it would have been in this boot).
    int minutesOpened = 0;
    QDateTime paidEndUtc;
    qint64 openedAtMs = 0;
    // A resumed session whose station's counters could not be read: they are read at the first
    // contact, before anything is written, and the lesser time is taken.
    bool checkFileFirst = false;
    // The station's file holds this session's counters: until the first write of them succeeds
    // its counters are an earlier session's, and a restart must not take them for this one's.
    bool countersWritten = true;

    bool owesZero() const { return pending == Pending::ZeroFlag || pending == Pending::EndOfSession; }
    // The session's time runs or its closing "0" is still owed: a journal record keeps it.
    bool holdsSession() const { return counting || owesZero(); }
};

namespace Countdown {

// How a tick or a delivery went, for the row's lamp.
enum class Outcome {
    Written, // the station took what it was owed (or was owed nothing): green
    Failed,  // the station did not take it: red
    Refused, // the station answered, but its command file is not one the console can use: red
    Waiting, // a failed station's next try is not due yet, or a write is on its way: lamp as it is
};

// What the station is owed at one moment, as a write: taken on the window's thread, written on
// the station's own, and its outcome put back into the countdown, which may have moved on since.
struct Delivery
{
    CountdownState::Pending what = CountdownState::Pending::None;
    QString seconds;
    QString minutes;
    bool checkFile = false;     // counters: read the station's file first (its flag, and...)
    bool trustCounters = false; // ...its counters, never writing more time than they show
};

// What a delivery found and did on the station's thread, for delivered().
struct Sent
{
    bool flagWritten = false;       // an end's flag "0" got through, whatever failed after it
    bool fileChecked = false;       // the station's counters were read
    std::optional<qint64> fileLeft; // what they showed, when they were a count
    bool flagDown = false;          // the file's flag was "0": the session was stopped, nothing written
};

// Starts (or restarts) the countdown for the minutes opened: minutes - 1 and "60". Clears a
// minute due and anything still owed from the row's previous session.
void start(CountdownState& state, int minutesOpened);

// Resumes a session with the given seconds left (more than 0) after the console was restarted:
// the captions show that time and the next tick writes it to the station. Unless the station's
// file was read for it (fileRead), it is read before that first write: a flag found down there
// ends the session without writing anything, and counters that are this session's
// (countersWritten) and show less time bring the captions down to them.
void resume(CountdownState& state, qint64 secondsLeft, int minutesOpened, const QDateTime& paidEndUtc, bool fileRead = true,
            bool countersWritten = true);

// A session whose time ran out while nobody counted it: the captions show "--" and the station is
// owed its end (or only the flag "0", when the console had already shown the end).
void endUnattended(CountdownState& state, bool onlyTheFlag, int minutesOpened, const QDateTime& paidEndUtc);

// The counting part of a tick: the whole seconds that passed since the last one came off the
// captions (none when less than a second did), and the station is owed the counters, or its end.
void advance(CountdownState& state);

// What to send the station now; nothing when it is owed nothing or, unless insist, when a failed
// station's next try is not due.
std::optional<Delivery> due(const CountdownState& state, bool insist);
// Writes a delivery into the station's command file (on the station's thread). Throws AppError;
// sent tells what got through before a failure.
void send(const Delivery& delivery, LineBuffer& scratch, const QString& stationName, Sent& sent);
// Puts a delivery's outcome back: what was delivered is no longer owed (unless the countdown
// owes something newer by now); a failure waits for the backoff. Counters read at the first
// contact that show less time than the captions bring the captions down to them; a flag read
// down there ends the session, owing the station nothing.
Outcome delivered(CountdownState& state, const Delivery& delivery, std::exception_ptr error, const Sent& sent);

// One tick, on the caller's thread: advance() and what is due sent at once. Never throws for the
// station's sake: a write that fails is left pending.
Outcome tick(CountdownState& state, LineBuffer& scratch, const QString& stationName);

// Tries at once what the station is owed, whatever the backoff (a refresh found the station).
Outcome deliver(CountdownState& state, LineBuffer& scratch, const QString& stationName,
                const StationRunner& runner = DirectRunner);

// Stops the time: "--" and "--", MinuteDue reset, and the session flag "0" sent at once. Returns
// Failed when the station did not take it; the "0" is then owed and tried again.
Outcome stop(CountdownState& state, LineBuffer& scratch, const QString& stationName, const StationRunner& runner = DirectRunner);

// Sends the session flag "0" at once, the captions left as they are (an opening undone). Returns
// Failed when the station did not take it; the "0" is then owed and tried again.
Outcome lowerFlag(CountdownState& state, LineBuffer& scratch, const QString& stationName,
                  const StationRunner& runner = DirectRunner);

// The captions' remaining seconds, when both are whole numbers in range (seconds 0 to 59,
// minutes 0 or more): a station's command file read back, say.
std::optional<qint64> remainingSeconds(const QString& minutes, const QString& seconds);

} // namespace Countdown
