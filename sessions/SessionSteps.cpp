#include "sessions/SessionSteps.h"

#include "accounting/Ledger.h"
#include "install/SettingFiles.h"
#include "platform/AppError.h"
#include "platform/Clock.h"
#include "platform/Regional.h"
#include "platform/files/LineBuffer.h"
#include "platform/files/WinFile.h"
#include "sessions/SessionAudit.h"
#include "stations/CommandChannel.h"

namespace SessionSteps {

namespace {

// Puts the row's countdown back as it was before the opening began.
void undoOpening(CountdownState& countdown, const CountdownState& before, bool raised, LineBuffer& scratch,
                 const QString& station, const StationRunner& runner)
{
    countdown = before;
    if (before.counting || !raised)
        return;
    // A "0" owed from here is kept in the journal like a session's: it needs a moment to stand on.
    if (!countdown.paidEndUtc.isValid())
        countdown.paidEndUtc = Clock::now().toUTC();
    Countdown::lowerFlag(countdown, scratch, station, runner);
}

OpenOutcome stationFailure(const AppError& e)
{
    return {dynamic_cast<const WinFile::Refused*>(&e) ? OpenResult::FileRefused : OpenResult::StationFailed, {}};
}

} // namespace

OpenOutcome open(CountdownState& countdown, LineBuffer& scratch, Ledger& ledger, const Opening& opening,
                 const StationRunner& runner)
{
    int minutes = 0;
    try {
        minutes = Regional::parseWholeNumber(opening.minutesText);
    } catch (const AppError&) {
        return {OpenResult::BadEntry, {}};
    }
    const QString& tariff = opening.games ? opening.gamesTariff : opening.internetTariff;
    if (minutes < 1 || minutes > Ledger::MaxMinutes || !SettingFiles::tariffUsable(tariff))
        return {OpenResult::BadEntry, {}};
    try {
        ledger.open();
        ledger.requireWritable();
    } catch (const AppError& e) {
        ledger.close();
        return {OpenResult::LedgerFailed, e.text()};
    }
    const CountdownState before = countdown;
    Countdown::start(countdown, minutes);
    // The check and the flag in one visit to the station. A failed check or flag has changed
    // nothing on the station; only a flag that this opening raised is lowered again by its undo,
    // never one that stood already (another session's, whoever opened it).
    bool raised = false;
    try {
        runner([&] {
            RequireSessionLines(scratch, opening.station);
            const bool stoodAlready = scratch.line(CommandChannel::SessionFlagLine) == QStringLiteral("1");
            CommandWrite(scratch, opening.station, CommandChannel::SessionFlagLine, QStringLiteral("1"));
            raised = !stoodAlready;
        });
    } catch (const AppError& e) {
        ledger.close();
        countdown = before;
        return stationFailure(e);
    }
    double cost = 0;
    try {
        cost = ledger.recordSession({opening.minutesText, opening.station, opening.games, tariff});
    } catch (const AppError& e) {
        undoOpening(countdown, before, raised, scratch, opening.station, runner);
        return {OpenResult::LedgerFailed, e.text()};
    }
    return {OpenResult::Opened, {}, SessionAudit::opened(opening.station, minutes, opening.games, tariff, cost, before)};
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

Countdown::Outcome stop(CountdownState& countdown, LineBuffer& scratch, const QString& station, const StationRunner& runner)
{
    return Countdown::stop(countdown, scratch, station, runner);
}

} // namespace SessionSteps
