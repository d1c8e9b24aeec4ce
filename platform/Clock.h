#pragma once

#include <QByteArray>
#include <QDateTime>

// The one source of "now", so that tests can stand at any moment (23:59:59, say).
namespace Clock {

QDateTime now();
// Fixes "now" for tests; an invalid value returns to the real clock.
void setFixed(const QDateTime& moment);

// Milliseconds since the machine booted, on the boot-time clock: it only moves forward, whatever
// is done to the wall clock, and it goes on running while the machine is suspended, so a sleep
// of the counter PC is counted like any other time. What a session's remaining time is
// measured on.
qint64 monotonicMs();
// Moves the boot-time clock forward for tests, as a window blocked for that long would see it.
void advanceMonotonicForTests(qint64 ms);
// While held, the boot-time clock stands still but for advanceMonotonicForTests(): a test then
// says exactly how much time passes between two ticks.
void holdMonotonicForTests(bool hold);

// What tells this boot of the machine from every other; the boot-time clock counts from it. Empty
// when the system does not say.
QByteArray bootId();

} // namespace Clock
