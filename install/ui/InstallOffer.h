#pragma once

#include <QString>

// Brings a program of the install to its install directory, wherever it was started from. When
// there is no install yet, asks whether to make one (what quorvel-setup makes, without demo
// stations), naming where, and makes it, linking the programs from programDir. False when the
// program should end: the offer was declined, or the install could not be made (said in the
// error box).
bool enterInstallOrOffer(const QString& programDir);
