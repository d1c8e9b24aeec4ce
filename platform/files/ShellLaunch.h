#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

// Starts programs and opens documents the way the Windows shell does, without waiting and
// without reporting anything: the caller does not examine the result.
namespace ShellLaunch {

// Opens a file: a program file name is looked up in the current directory, then on PATH,
// regardless of case; a program is started detached in `directory` (the current directory
// when empty); any other existing file goes to the desktop's opener.
void open(const QString& fileName, const QString& parameters, const QString& directory);

// Starts the running executable again, detached, in the same current directory.
void restartSelf();

// Where a program file name leads: the local path, or nothing when nothing is found.
std::optional<QString> locate(const QString& fileName);

// Tests replace the final start so that nothing is really launched.
using Starter = std::function<void(const QString& program, const QStringList& arguments, const QString& workingDirectory)>;
void setStarterForTests(Starter starter);

} // namespace ShellLaunch
