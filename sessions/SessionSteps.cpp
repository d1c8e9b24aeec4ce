#include "sessions/SessionSteps.h"

#include "accounting/Ledger.h"
#include "platform/Regional.h"
#include "stations/CommandChannel.h"

namespace SessionSteps {

bool open(CountdownState& countdown, LineBuffer& scratch, Ledger& ledger, const Opening& opening)
{
    try {
        const int minutes = Regional::parseWholeNumber(opening.minutesText);
        Countdown::start(countdown, minutes);
        CommandWrite(scratch, opening.station, CommandChannel::SessionFlagLine, QStringLiteral("1"));
        ledger.recordSession({opening.minutesText, opening.station, opening.games,
                              opening.games ? opening.gamesTariff : opening.internetTariff});
    } catch (...) {
        // Whatever failed, the steps done stay done: a started countdown runs on and a raised flag
        // stays raised, even when the bill could not be completed.
        return false;
    }
    return true;
}

Countdown::Outcome tick(CountdownState& countdown, LineBuffer& scratch, const QString& station)
{
    try {
        return Countdown::tick(countdown, scratch, station);
    } catch (...) {
        // Captions that are no longer a count cannot be counted on; the red lamp is the report.
        countdown.counting = false;
        countdown.timerEnabled = countdown.pending != CountdownState::Pending::None;
        return Countdown::Outcome::Failed;
    }
}

bool stop(CountdownState& countdown, LineBuffer& scratch, const QString& station)
{
    return Countdown::stop(countdown, scratch, station) == Countdown::Outcome::Written;
}

} // namespace SessionSteps
