#pragma once

#include <QString>

// Where a program of the install finds its install, wherever it was started from: the install
// directory that the prefix holds, which the programs take as their current directory, since the
// roster and "Card.exe" are named relative to it.
namespace InstallHome {

// <prefix>/drive_c/Program Files/Kelvarin/QuorvelServer, as this machine has it.
QString directory();

// Makes the install directory the current one; started from it, nothing changes. False, with
// the current directory left as it was, when there is no install yet. Throws AppError when the
// directory exists but cannot be entered.
bool enter();

} // namespace InstallHome
