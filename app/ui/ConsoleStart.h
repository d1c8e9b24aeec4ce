#pragma once

#include <optional>

#include <QString>

class ConsoleLock;

// The console's start as the program runs it: one console per install, its windows and its
// message loop, and the order in which they end.
namespace ConsoleStart {

// Whether this process goes on as the install's console. A foreign lock is named in a box that
// offers to take it over; a lock that cannot be made is told once; a running console that neither
// answers nor ends is named in the error box. exitCode is set when the process is to end.
bool admit(ConsoleLock& lock, int& exitCode);

// Admits, shows the chooser and runs the message loop; the windows end before the lock is let go.
int run(const std::optional<QString>& lockPath);

} // namespace ConsoleStart
