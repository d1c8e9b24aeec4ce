#pragma once

#include <QDateTime>

// The one source of "now", so that tests can stand at any moment (23:59:59, say).
namespace Clock {

QDateTime now();
// Fixes "now" for tests; an invalid value returns to the real clock.
void setFixed(const QDateTime& moment);

} // namespace Clock
