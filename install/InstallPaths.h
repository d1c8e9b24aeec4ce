#pragma once

#include <QString>

// Every place the console uses. The absolute ones lie under the install root; the two relative
// ones are resolved against the current directory at the moment of use.
namespace InstallPaths {

inline const QString InstallRoot = QStringLiteral("C:\\Program Files\\Kelvarin\\QuorvelServer");
inline const QString TariffFile = InstallRoot + QStringLiteral("\\commandServer\\costControl.inf");
inline const QString CardTariffFile = InstallRoot + QStringLiteral("\\commandServer\\costCard.inf");
inline const QString RosterFile = QStringLiteral("commandServer\\ComputersConect.inf");
inline const QString LedgerDir = InstallRoot + QStringLiteral("\\Data\\Control");
inline const QString CardDir = InstallRoot + QStringLiteral("\\Data\\Card");
inline const QString TempCardDir = InstallRoot + QStringLiteral("\\Data\\TempCard");
inline const QString CardProgram = QStringLiteral("Card.exe");
// The console's own record of the sessions it counts, which a restarted console resumes from.
inline const QString SessionJournal = InstallRoot + QStringLiteral("\\Data\\Sessions.journal");
// Held by the running console, so that one install has one console.
inline const QString ConsoleLock = InstallRoot + QStringLiteral("\\QuorvelServer.lock");

} // namespace InstallPaths
