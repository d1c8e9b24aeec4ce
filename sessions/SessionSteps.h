#pragma once

#include "sessions/Countdown.h"

#include <QString>

class Ledger;
class LineBuffer;

// The three session commands of a station row, without the row: they work on the row's countdown
// as its captions stand (CountdownState, read from the row and written back by the caller) and
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

// Opens a session: starts the countdown from the minutes, raises the station's session flag and
// bills the session at the tariff of its kind. Returns false when any step failed (the caller
// shows the connection message): minutes that are not a whole number change nothing; after that
// the countdown runs, and after the flag the station is open even if the bill failed.
bool open(CountdownState& countdown, LineBuffer& scratch, Ledger& ledger, const Opening& opening);

// One tick of the row's timer: the session's seconds that passed, and what the station is owed.
// The outcome sets the lamp; a station that did not take its write keeps the count going.
Countdown::Outcome tick(CountdownState& countdown, LineBuffer& scratch, const QString& station);

// Stops the time. Returns false when the station did not take the flag "0"; the countdown is
// stopped all the same and the "0" is owed to the station.
bool stop(CountdownState& countdown, LineBuffer& scratch, const QString& station);

} // namespace SessionSteps
