#pragma once

#include "install/Audit.h"
#include "sessions/Countdown.h"

#include <QString>

#include <optional>

struct JournalRecord;

// The audit rows of what is done to a station's session, built from what the row held. Recording
// them is the caller's, once the action is durable.
namespace SessionAudit {

// A session billed: its minutes, kind, tariff and cost. Over a paid session that still counted
// (before) it is a reopening, and the time that session had left is its old value.
Audit::Event opened(const QString& station, int minutes, bool games, const QString& tariff, double cost,
                    const CountdownState& before);

// The time stopped on a countdown as it stood before (minutes left), and whether the station
// took the "0" or is owed it.
Audit::Event stopped(const QString& station, const CountdownState& before, Countdown::Outcome outcome);

// The station took the closing write that the countdown owed before and owes no more: a session's
// end, or a "0" that was owed. Nothing when no such write was settled between the two.
std::optional<Audit::Event> closed(const QString& station, const CountdownState& before, const CountdownState& after);

// A journal record taken up again at start-up, with the seconds it had left (0: its time ran out
// while nobody counted it).
Audit::Event resumed(const JournalRecord& record, qint64 secondsLeft);

// A station whose session flag stands with no session of the console's.
Audit::Event foundOpen(const QString& station);

// A one-shot command the station took: the command file's line it raised.
Audit::Event command(const QString& station, int line);

// What the captions show as left, "M:SS"; nothing when they show no count.
std::optional<QString> timeLeft(const CountdownState& state);

} // namespace SessionAudit
