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

bool tick(CountdownState& countdown, LineBuffer& scratch, const QString& station)
{
    try {
        Countdown::tick(countdown, scratch, station);
    } catch (...) {
        // No message: the red lamp is the report, and the countdown halts where it stood.
        countdown.timerEnabled = false;
        return false;
    }
    return true;
}

bool stop(CountdownState& countdown, LineBuffer& scratch, const QString& station)
{
    try {
        Countdown::stop(countdown, scratch, station);
    } catch (...) {
        return false;
    }
    return true;
}

} // namespace SessionSteps
