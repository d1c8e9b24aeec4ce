#include "sessions/Countdown.h"

#include "platform/AppError.h"
#include "platform/Clock.h"
#include "platform/Regional.h"
#include "platform/WinFile.h"
#include "stations/CommandChannel.h"

#include <algorithm>

namespace Countdown {

namespace {

const QString Ended = QStringLiteral("--");
constexpr int FirstRetrySeconds = 10;
constexpr int LongestRetrySeconds = 60;

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

// Sends the station what it is owed, unless a failed station's next try is not due and the
// caller does not insist.
Outcome attempt(CountdownState& state, LineBuffer& scratch, const QString& stationName, bool insist)
{
    using Pending = CountdownState::Pending;
    Outcome outcome = Outcome::Written;
    const qint64 now = Clock::monotonicMs();
    if (state.pending != Pending::None && !insist && now < state.retryAt) {
        outcome = Outcome::Waiting;
    } else if (state.pending != Pending::None) {
        try {
            switch (state.pending) {
            case Pending::None:
                break;
            case Pending::Counters:
                CommandWriteLines(scratch, stationName,
                                  {{CommandChannel::SecondsLine, state.seconds}, {CommandChannel::MinutesLine, state.minutes}});
                break;
            case Pending::ZeroFlag:
                CommandWrite(scratch, stationName, CommandChannel::SessionFlagLine, QStringLiteral("0"));
                break;
            case Pending::EndOfSession:
                CommandWrite(scratch, stationName, CommandChannel::SessionFlagLine, QStringLiteral("0"));
                // The flag closes the station; the counters' "--" that follow are not owed.
                clearPending(state);
                CommandWriteLines(scratch, stationName, {{CommandChannel::SecondsLine, Ended}, {CommandChannel::MinutesLine, Ended}});
                break;
            }
            clearPending(state);
        } catch (const AppError& e) {
            if (state.pending != Pending::None) {
                state.retryDelaySeconds = state.retryDelaySeconds == 0
                    ? FirstRetrySeconds
                    : std::min(state.retryDelaySeconds * 2, LongestRetrySeconds);
                state.retryAt = now + qint64(state.retryDelaySeconds) * 1000;
            }
            outcome = dynamic_cast<const WinFile::Refused*>(&e) ? Outcome::Refused : Outcome::Failed;
        }
    }
    state.timerEnabled = state.counting || state.pending != Pending::None;
    return outcome;
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
}

void resume(CountdownState& state, qint64 secondsLeft, int minutesOpened, const QDateTime& paidEndUtc)
{
    // Captions m and s stand for 60 m + s seconds left, as after that many ticks of a session.
    state.minutes = text(secondsLeft / 60);
    state.seconds = text(secondsLeft % 60);
    state.minuteDue = secondsLeft % 60 == 0;
    state.counting = true;
    state.timerEnabled = true;
    clearPending(state);
    state.pending = CountdownState::Pending::Counters;
    restartClock(state);
    state.minutesOpened = minutesOpened;
    state.paidEndUtc = paidEndUtc;
}

void endUnattended(CountdownState& state, bool onlyTheFlag, int minutesOpened, const QDateTime& paidEndUtc)
{
    showEnded(state);
    clearPending(state);
    state.pending = onlyTheFlag ? CountdownState::Pending::ZeroFlag : CountdownState::Pending::EndOfSession;
    state.timerEnabled = true;
    state.minutesOpened = minutesOpened;
    state.paidEndUtc = paidEndUtc;
}

Outcome tick(CountdownState& state, LineBuffer& scratch, const QString& stationName)
{
    if (state.counting) {
        const qint64 elapsed = (Clock::monotonicMs() - state.startedAtMs) / 1000;
        const qint64 due = std::max<qint64>(1, elapsed - state.secondsCounted);
        for (qint64 i = 0; i < due && state.counting; ++i) {
            stepOneSecond(state);
            ++state.secondsCounted;
        }
        if (!state.counting)
            state.pending = CountdownState::Pending::EndOfSession;
        else if (state.pending == CountdownState::Pending::None)
            state.pending = CountdownState::Pending::Counters;
    }
    return attempt(state, scratch, stationName, false);
}

Outcome deliver(CountdownState& state, LineBuffer& scratch, const QString& stationName)
{
    return attempt(state, scratch, stationName, true);
}

Outcome stop(CountdownState& state, LineBuffer& scratch, const QString& stationName)
{
    showEnded(state);
    return lowerFlag(state, scratch, stationName);
}

Outcome lowerFlag(CountdownState& state, LineBuffer& scratch, const QString& stationName)
{
    clearPending(state);
    state.pending = CountdownState::Pending::ZeroFlag;
    return attempt(state, scratch, stationName, true);
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
