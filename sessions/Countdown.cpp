#include "sessions/Countdown.h"

#include "platform/Regional.h"
#include "stations/CommandChannel.h"

namespace Countdown {

namespace {

const QString Ended = QStringLiteral("--");

// Wide arithmetic: the captions of a session opened with very few minutes keep falling.
qint64 read(const QString& caption)
{
    return Regional::parseWholeNumber(caption);
}

QString text(qint64 value)
{
    return QString::number(value);
}

} // namespace

void start(CountdownState& state, int minutesOpened)
{
    state.minutes = text(qint64(minutesOpened) - 1);
    state.timerEnabled = true;
    state.seconds = QStringLiteral("60");
}

void tick(CountdownState& state, LineBuffer& scratch, const QString& stationName)
{
    state.seconds = text(read(state.seconds) - 1);

    if (state.minuteDue) {
        state.seconds = QStringLiteral("59");
        state.minutes = text(read(state.minutes) - 1);
        if (read(state.minutes) == -1) {
            state.timerEnabled = false;
            state.seconds = Ended;
            state.minutes = Ended;
            state.minuteDue = false;
            CommandWrite(scratch, stationName, CommandChannel::SessionFlagLine, QStringLiteral("0"));
        }
        state.minuteDue = false;
    }

    // On the ending tick the caption reads "--": the failure only means no minute falls due.
    try {
        if (read(state.seconds) == 0)
            state.minuteDue = true;
    } catch (...) {
    }

    CommandWriteLines(scratch, stationName,
                      {{CommandChannel::SecondsLine, state.seconds}, {CommandChannel::MinutesLine, state.minutes}});
}

void stop(CountdownState& state, LineBuffer& scratch, const QString& stationName)
{
    state.timerEnabled = false;
    state.seconds = Ended;
    state.minutes = Ended;
    state.minuteDue = false;
    CommandWrite(scratch, stationName, CommandChannel::SessionFlagLine, QStringLiteral("0"));
}

} // namespace Countdown
