#pragma once

#include <QByteArray>
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
// The owner's record of what was done at the counter, one row per event, appended only.
inline const QString AuditDir = InstallRoot + QStringLiteral("\\Data\\Audit");
inline const QString CardProgram = QStringLiteral("Card.exe");
// The console's own record of the sessions it counts, which a restarted console resumes from.
inline const QString SessionJournal = InstallRoot + QStringLiteral("\\Data\\Sessions.journal");
// Held by the running console, so that one install has one console.
inline const QString ConsoleLock = InstallRoot + QStringLiteral("\\QuorvelServer.lock");

// A station's side: the folder of the client's install that the station's share "C" reaches, and
// the two files the console uses there.
inline QString stationCommandDir(const QString& station)
{
    return QStringLiteral("\\\\") + station + QStringLiteral("\\C\\Program Files\\Kelvarin\\QuorvelNet\\command");
}
inline const QString CommandFileName = QStringLiteral("command.inf");
inline const QString ProbeFileName = QStringLiteral("conect.inf");
// A command file at rest: its eight lines all "0", no session open and no command given.
inline const QByteArray RestingCommandFile = "0\r\n0\r\n0\r\n0\r\n0\r\n0\r\n0\r\n0";

} // namespace InstallPaths
