#pragma once

#include <QString>
#include <QStringList>

// Turns the Windows paths that the system names into places on this machine.
//
//   C:\a\b        -> <prefix>/drive_c/a/b
//   a\b           -> <current directory>/a/b
//   \\NAME\S\rest -> <prefix>/unc/NAME/S/rest   (a mapped directory or a link to a mounted share)
//                    or, with no such NAME there, share S of the host NAME over SMB
//
// Existing components are matched regardless of case, as on Windows; a component that does not
// exist keeps the case it was given, so a new file is created with that name.
namespace WinPath {

// The directory in QUORVEL_PREFIX, else $XDG_DATA_HOME/quorvel, else ~/.local/share/quorvel.
QString prefix();

struct Resolved
{
    QString localPath; // empty when the path cannot name anything here
    QString error;     // the system's text for why not
    // The directory that localPath lies beneath: the prefix, the current directory or a
    // station's <prefix>/unc/NAME. The base itself may be a link; nothing after it may be.
    QString base;
    // A station with no local directory: its share and the path below it, reached over SMB.
    QString remoteHost;
    QStringList remotePath;
};

Resolved resolve(const QString& windowsPath);

// True when the text can be the NAME of a UNC path: not empty, not "." or "..", and without
// slashes, backslashes or NUL characters, so that it can never reach outside <prefix>/unc.
bool isSafeUncName(const QString& name);
// False when the name cannot be the host of a URL, so that a station reached over the network
// can never carry a user name, a port or a path into one.
bool isSafeUrlHost(const QString& name);

// The path made absolute the way Windows expands it against the current directory: a current
// directory inside the prefix's drive_x reads as "X:\...", any other as "Z:\..." (the whole
// local file system seen as drive Z). Absolute and UNC paths come back unchanged.
QString fullPath(const QString& windowsPath);

} // namespace WinPath
