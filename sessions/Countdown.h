#pragma once

#include <QString>

class LineBuffer;

// One station's countdown. The two captions are the only record of the remaining time: every
// step reads them back as whole numbers and writes its results into them again, so a caption
// that is not a whole number ("--") makes the step fail.
struct CountdownState
{
    QString minutes = QStringLiteral("00");
    QString seconds = QStringLiteral("00");
    // The last tick brought the seconds to 0, so the next one deducts a minute.
    bool minuteDue = false;
    bool timerEnabled = false;
};

namespace Countdown {

// Starts (or restarts) the countdown for the minutes opened: minutes - 1 and "60". MinuteDue is
// neither read nor reset.
void start(CountdownState& state, int minutesOpened);

// One tick, standing for one second. Writes the counters (and on the ending tick the session
// flag "0") into the station's command file through the scratch buffer. Throws AppError when a
// caption is not a whole number or a write fails; the captions keep what the tick did before the
// failure, and the caller halts the countdown and shows the red lamp.
void tick(CountdownState& state, LineBuffer& scratch, const QString& stationName);

// Stops the time: timer off, "--" and "--", MinuteDue reset, then the session flag "0" (which may
// throw, leaving the first steps done).
void stop(CountdownState& state, LineBuffer& scratch, const QString& stationName);

} // namespace Countdown
