#pragma once

#include "install/Audit.h"
#include "sessions/Countdown.h"

#include <QString>

class Ledger;
class LineBuffer;

// The three session commands of a station row, without the row: they work on the row's countdown
// as its captions stand (CountdownState, which the caller hands in) and
// on the ledger that the console owns. Each runs to its end and reports how it went; none throws.
// The steps done before a failure stay done, so the caller always writes the state back.
namespace SessionSteps {

// What the row holds when its open button is pressed.
struct Opening
{
    QString minutesText;    // the minutes box, as typed
    QString station;        // the name caption
    bool games = true;      // the kind chosen
    QString gamesTariff;    // both tariffs as they stand in the central control window now,
    QString internetTariff; // saved or not
};

// How an opening went, for the message the operator reads.
enum class OpenResult {
    Opened,
    BadEntry,      // minutes or tariff unusable: nothing changed
    StationFailed, // the station could not be read, lacks a session's lines or refused the flag
    FileRefused,   // the station answered, but its command file cannot be used
    LedgerFailed,  // the ledger would not open or store the bill (text: the store's reason)
};
struct OpenOutcome
{
    OpenResult result = OpenResult::Opened;
    QString text;
    // Opened: the row for the audit record, which the caller writes before telling the operator.
    Audit::Event audit = {};
};

// Opens a session, all or nothing. First, reading only: the minutes (1 to what the ledger's field
// holds), the kind's tariff (a number, not negative), the ledger (opened, its tables checked) and
// the station's command file (every line a session writes); a failed check changes nothing. Then
// it starts the countdown, raises the station's flag and bills the session. A failure after the
// countdown started undoes the opening: the row's previous countdown comes back, and a flag that
// the opening raised is lowered again unless the row was counting a paid session, which then goes
// on as it was (a "0" the station does not take is owed to it). A flag that stood already before
// the opening, or that the station did not take, is left as it is.
// The station is reached through the runner (its own thread in the console).
OpenOutcome open(CountdownState& countdown, LineBuffer& scratch, Ledger& ledger, const Opening& opening,
                 const StationRunner& runner = DirectRunner);

// One tick of the row's timer: the session's seconds that passed, and what the station is owed.
// The outcome sets the lamp; a station that did not take its write keeps the count going.
Countdown::Outcome tick(CountdownState& countdown, LineBuffer& scratch, const QString& station);

// Stops the time. Unless the station took the flag "0" (Written), the countdown is stopped all the
// same and the "0" is owed to the station.
Countdown::Outcome stop(CountdownState& countdown, LineBuffer& scratch, const QString& station,
                        const StationRunner& runner = DirectRunner);

} // namespace SessionSteps
