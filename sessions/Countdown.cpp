#include "sessions/Countdown.h"

#include "platform/AppError.h"
#include "platform/Clock.h"
#include "platform/Regional.h"
#include "platform/files/LineBuffer.h"
#include "platform/files/WinFile.h"
#include "stations/CommandChannel.h"

#include <algorithm>

namespace Countdown {

namespace {

const QString Ended = QStringLiteral("--");
constexpr int FirstRetrySeconds = 10;
constexpr int LongestRetrySeconds = 60;
// A closing "0" leaves a station open for as long as it waits: tried again every few seconds.
constexpr int FlagRetrySeconds = 5;

// Wide arithmetic: the captions of a session opened with very few minutes keep falling.
qint64 read(const QString& caption)
{
    return Regional::parseWholeNumber(caption);
}

QString text(qint64 value)
{
    return QString::number(value);
}

void clearPending(CountdownState& state)
{
    state.pending = CountdownState::Pending::None;
    state.retryAt = 0;
    state.retryDelaySeconds = 0;
}

void restartClock(CountdownState& state)
{
    state.startedAtMs = Clock::monotonicMs();
    state.secondsCounted = 0;
}

// The captions for that many seconds left, as after that many ticks of a session.
void showLeft(CountdownState& state, qint64 secondsLeft)
{
    state.minutes = text(secondsLeft / 60);
    state.seconds = text(secondsLeft % 60);
    state.minuteDue = secondsLeft % 60 == 0;
}

void showEnded(CountdownState& state)
{
    state.counting = false;
    state.seconds = Ended;
    state.minutes = Ended;
    state.minuteDue = false;
}

// One second of the session, on the captions alone.
void stepOneSecond(CountdownState& state)
{
    state.seconds = text(read(state.seconds) - 1);
    if (state.minuteDue) {
        state.seconds = QStringLiteral("59");
        state.minutes = text(read(state.minutes) - 1);
        state.minuteDue = false;
        if (read(state.minutes) == -1) {
            showEnded(state);
            return;
        }
    }
    if (read(state.seconds) == 0)
        state.minuteDue = true;
}

void backOff(CountdownState& state)
{
    if (state.owesZero())
        state.retryDelaySeconds = FlagRetrySeconds;
    else
        state.retryDelaySeconds = state.retryDelaySeconds == 0 ? FirstRetrySeconds
                                                               : std::min(state.retryDelaySeconds * 2, LongestRetrySeconds);
    state.retryAt = Clock::monotonicMs() + qint64(state.retryDelaySeconds) * 1000;
}

// Sends what is due through the runner and puts the outcome back.
Outcome attempt(CountdownState& state, LineBuffer& scratch, const QString& stationName, bool insist, const StationRunner& runner)
{
    const std::optional<Delivery> d = due(state, insist);
    if (!d) {
        state.timerEnabled = state.counting || state.pending != CountdownState::Pending::None;
        return state.pending == CountdownState::Pending::None ? Outcome::Written : Outcome::Waiting;
    }
    Sent sent;
    std::exception_ptr error;
    try {
        runner([&] { send(*d, scratch, stationName, sent); });
    } catch (const AppError&) {
        error = std::current_exception();
    }
    return delivered(state, *d, error, sent);
}

} // namespace

void start(CountdownState& state, int minutesOpened)
{
    state.minutes = text(qint64(minutesOpened) - 1);
    state.seconds = QStringLiteral("60");
    state.minuteDue = false;
    state.counting = true;
    state.timerEnabled = true;
    clearPending(state);
    restartClock(state);
    state.minutesOpened = minutesOpened;
    state.paidEndUtc = Clock::now().toUTC().addSecs(qint64(minutesOpened) * 60);
    state.openedAtMs = state.startedAtMs;
    state.checkFileFirst = false;
    state.countersWritten = false;
}

void resume(CountdownState& state, qint64 secondsLeft, int minutesOpened, const QDateTime& paidEndUtc, bool fileRead,
            bool countersWritten)
{
    showLeft(state, secondsLeft);
    state.counting = true;
    state.timerEnabled = true;
    clearPending(state);
    state.pending = CountdownState::Pending::Counters;
    restartClock(state);
    state.minutesOpened = minutesOpened;
    state.paidEndUtc = paidEndUtc;
    // Where the opening stands on this boot's clock, so the journal measures on it from now on.
    state.openedAtMs = state.startedAtMs - (qint64(minutesOpened) * 60 - secondsLeft) * 1000;
    state.checkFileFirst = !fileRead;
    state.countersWritten = countersWritten;
}

void endUnattended(CountdownState& state, bool onlyTheFlag, int minutesOpened, const QDateTime& paidEndUtc)
{
    showEnded(state);
    clearPending(state);
    state.pending = onlyTheFlag ? CountdownState::Pending::ZeroFlag : CountdownState::Pending::EndOfSession;
    state.timerEnabled = true;
    state.minutesOpened = minutesOpened;
    state.paidEndUtc = paidEndUtc;
    state.checkFileFirst = false;
}

void advance(CountdownState& state)
{
    if (!state.counting)
        return;
    // Only seconds that have wholly passed: a tick that comes a little early takes nothing, and the
    // one after it takes what is due by then.
    const qint64 elapsed = (Clock::monotonicMs() - state.startedAtMs) / 1000;
    const qint64 due = std::max<qint64>(0, elapsed - state.secondsCounted);
    for (qint64 i = 0; i < due && state.counting; ++i) {
        stepOneSecond(state);
        ++state.secondsCounted;
    }
    if (!state.counting) {
        // The end is tried at once, whatever the counters' backoff had come to.
        clearPending(state);
        state.pending = CountdownState::Pending::EndOfSession;
    } else if (state.pending == CountdownState::Pending::None)
        state.pending = CountdownState::Pending::Counters;
    state.timerEnabled = true;
}

std::optional<Delivery> due(const CountdownState& state, bool insist)
{
    if (state.pending == CountdownState::Pending::None)
        return std::nullopt;
    if (!insist && Clock::monotonicMs() < state.retryAt)
        return std::nullopt;
    const bool checkFile = state.checkFileFirst && state.pending == CountdownState::Pending::Counters;
    return Delivery{state.pending, state.seconds, state.minutes, checkFile, checkFile && state.countersWritten};
}

void send(const Delivery& delivery, LineBuffer& scratch, const QString& stationName, Sent& sent)
{
    using Pending = CountdownState::Pending;
    switch (delivery.what) {
    case Pending::None:
        break;
    case Pending::Counters: {
        QString seconds = delivery.seconds;
        QString minutes = delivery.minutes;
        if (delivery.checkFile) {
            RequireSessionLines(scratch, stationName);
            sent.fileChecked = true;
            // Stopped while nobody could note it: the station stays closed, nothing is written.
            if (scratch.line(CommandChannel::SessionFlagLine) == QStringLiteral("0")) {
                sent.flagDown = true;
                return;
            }
            if (delivery.trustCounters)
                sent.fileLeft = remainingSeconds(scratch.line(CommandChannel::MinutesLine),
                                                 scratch.line(CommandChannel::SecondsLine));
            const std::optional<qint64> captionsLeft = remainingSeconds(minutes, seconds);
            if (sent.fileLeft && captionsLeft && *sent.fileLeft < *captionsLeft) {
                // The station never shows more than it did: what it showed is written back.
                seconds = scratch.line(CommandChannel::SecondsLine);
                minutes = scratch.line(CommandChannel::MinutesLine);
            }
        }
        CommandWriteLines(scratch, stationName, {{CommandChannel::SecondsLine, seconds}, {CommandChannel::MinutesLine, minutes}});
        break;
    }
    case Pending::ZeroFlag:
        CommandWrite(scratch, stationName, CommandChannel::SessionFlagLine, QStringLiteral("0"));
        sent.flagWritten = true;
        break;
    case Pending::EndOfSession:
        CommandWrite(scratch, stationName, CommandChannel::SessionFlagLine, QStringLiteral("0"));
        // The flag closes the station; the counters' "--" that follow are not owed.
        sent.flagWritten = true;
        CommandWriteLines(scratch, stationName, {{CommandChannel::SecondsLine, Ended}, {CommandChannel::MinutesLine, Ended}});
        break;
    }
}

Outcome delivered(CountdownState& state, const Delivery& delivery, std::exception_ptr error, const Sent& sent)
{
    using Pending = CountdownState::Pending;
    if (sent.fileChecked && state.checkFileFirst) {
        state.checkFileFirst = false;
        if (sent.flagDown && state.counting) {
            showEnded(state);
            clearPending(state);
            state.timerEnabled = false;
            return Outcome::Written;
        }
        const std::optional<qint64> captionsLeft = state.counting ? remainingSeconds(state.minutes, state.seconds) : std::nullopt;
        if (sent.fileLeft && captionsLeft && *sent.fileLeft < *captionsLeft) {
            if (*sent.fileLeft > 0) {
                showLeft(state, *sent.fileLeft);
            } else {
                showEnded(state);
                clearPending(state);
                state.pending = Pending::EndOfSession;
            }
        }
    }
    // What the write settled, if the countdown still owes that and nothing newer: counters that
    // moved on since, or a session opened meanwhile, are still to be sent.
    const bool stillOwed = state.pending == delivery.what
        && (delivery.what != Pending::Counters || (state.seconds == delivery.seconds && state.minutes == delivery.minutes));
    const bool settled = !error
        || ((delivery.what == Pending::ZeroFlag || delivery.what == Pending::EndOfSession) && sent.flagWritten);
    Outcome outcome = Outcome::Written;
    if (!error && delivery.what == Pending::Counters)
        state.countersWritten = true;
    if (settled && stillOwed)
        clearPending(state);
    else if (settled) {
        state.retryAt = 0;
        state.retryDelaySeconds = 0;
    }
    if (error) {
        if (state.pending != Pending::None)
            backOff(state);
        try {
            std::rethrow_exception(error);
        } catch (const WinFile::Refused&) {
            outcome = Outcome::Refused;
        } catch (...) {
            outcome = Outcome::Failed;
        }
    }
    state.timerEnabled = state.counting || state.pending != Pending::None;
    return outcome;
}

Outcome tick(CountdownState& state, LineBuffer& scratch, const QString& stationName)
{
    advance(state);
    return attempt(state, scratch, stationName, false, DirectRunner);
}

Outcome deliver(CountdownState& state, LineBuffer& scratch, const QString& stationName, const StationRunner& runner)
{
    return attempt(state, scratch, stationName, true, runner);
}

Outcome stop(CountdownState& state, LineBuffer& scratch, const QString& stationName, const StationRunner& runner)
{
    showEnded(state);
    return lowerFlag(state, scratch, stationName, runner);
}

Outcome lowerFlag(CountdownState& state, LineBuffer& scratch, const QString& stationName, const StationRunner& runner)
{
    clearPending(state);
    state.pending = CountdownState::Pending::ZeroFlag;
    return attempt(state, scratch, stationName, true, runner);
}

std::optional<qint64> remainingSeconds(const QString& minutes, const QString& seconds)
{
    try {
        const qint64 m = read(minutes);
        const qint64 s = read(seconds);
        if (m < 0 || s < 0 || s > 59)
            return std::nullopt;
        return m * 60 + s;
    } catch (const AppError&) {
        return std::nullopt;
    }
}

} // namespace Countdown
