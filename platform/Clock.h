#pragma once

#include <QDateTime>

// The one source of "now", so that tests can stand at any moment (23:59:59, say).
namespace Clock {

QDateTime now();
// Fixes "now" for tests; an invalid value returns to the real clock.
void setFixed(const QDateTime& moment);

// Milliseconds on a clock that only moves forward, whatever is done to the wall clock: what a
// session's remaining time is measured on.
qint64 monotonicMs();
// Moves the monotonic clock forward for tests, as a window blocked for that long would see it.
void advanceMonotonicForTests(qint64 ms);

} // namespace Clock
