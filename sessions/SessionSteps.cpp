#include "sessions/SessionSteps.h"

#include "accounting/Ledger.h"
#include "platform/AppError.h"
#include "platform/Regional.h"
#include "platform/Settings.h"
#include "stations/CommandChannel.h"

namespace SessionSteps {

namespace {

// Puts the row's countdown back as it was before the opening began.
void undoOpening(CountdownState& countdown, const CountdownState& before, LineBuffer& scratch, const QString& station)
{
    countdown = before;
    if (!before.counting)
        Countdown::lowerFlag(countdown, scratch, station);
}

} // namespace

OpenOutcome open(CountdownState& countdown, LineBuffer& scratch, Ledger& ledger, const Opening& opening)
{
    int minutes = 0;
    try {
        minutes = Regional::parseWholeNumber(opening.minutesText);
    } catch (const AppError&) {
        return {OpenResult::BadEntry, {}};
    }
    const QString& tariff = opening.games ? opening.gamesTariff : opening.internetTariff;
    if (minutes < 1 || minutes > Ledger::MaxMinutes || !Settings::tariffUsable(tariff))
        return {OpenResult::BadEntry, {}};
    try {
        ledger.open();
    } catch (const AppError& e) {
        ledger.close();
        return {OpenResult::LedgerFailed, e.text()};
    }
    try {
        RequireSessionLines(scratch, opening.station);
    } catch (const AppError&) {
        ledger.close();
        return {OpenResult::StationFailed, {}};
    }

    const CountdownState before = countdown;
    Countdown::start(countdown, minutes);
    try {
        CommandWrite(scratch, opening.station, CommandChannel::SessionFlagLine, QStringLiteral("1"));
    } catch (const AppError&) {
        ledger.close();
        undoOpening(countdown, before, scratch, opening.station);
        return {OpenResult::StationFailed, {}};
    }
    try {
        ledger.recordSession({opening.minutesText, opening.station, opening.games, tariff});
    } catch (const AppError& e) {
        undoOpening(countdown, before, scratch, opening.station);
        return {OpenResult::LedgerFailed, e.text()};
    }
    return {OpenResult::Opened, {}};
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
