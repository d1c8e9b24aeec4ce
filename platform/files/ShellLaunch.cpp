#include "platform/files/ShellLaunch.h"

#include "platform/files/WinPath.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>

namespace ShellLaunch {

namespace {

Starter g_starter;

void start(const QString& program, const QStringList& arguments, const QString& workingDirectory)
{
    if (g_starter) {
        g_starter(program, arguments, workingDirectory);
        return;
    }
    QProcess::startDetached(program, arguments, workingDirectory);
}

std::optional<QString> findInDirectory(const QString& dir, const QString& name)
{
    QDir d(dir);
    if (d.exists(name))
        return d.absoluteFilePath(name);
    const QStringList entries = d.entryList(QDir::Files | QDir::Hidden);
    for (const QString& entry : entries) {
        if (entry.compare(name, Qt::CaseInsensitive) == 0)
            return d.absoluteFilePath(entry);
    }
    return std::nullopt;
}

} // namespace

std::optional<QString> locate(const QString& fileName)
{
    if (fileName.isEmpty())
        return std::nullopt;
    if (fileName.contains(QLatin1Char('\\')) || fileName.contains(QLatin1Char('/')) || fileName.contains(QLatin1Char(':'))) {
        const QString local = WinPath::resolve(fileName).localPath;
        if (QFileInfo(local).isFile())
            return local;
        return std::nullopt;
    }
    if (std::optional<QString> found = findInDirectory(QDir::currentPath(), fileName))
        return found;
    const QStringList path = qEnvironmentVariable("PATH").split(QLatin1Char(':'), Qt::SkipEmptyParts);
    for (const QString& dir : path) {
        std::optional<QString> found = findInDirectory(dir, fileName);
        if (found && QFileInfo(*found).isExecutable())
            return found;
    }
    return std::nullopt;
}

void open(const QString& fileName, const QString& parameters, const QString& directory)
{
    const std::optional<QString> found = locate(fileName);
    if (!found)
        return;
    const QString& target = *found;
    QString workDir = QDir::currentPath();
    if (!directory.isEmpty()) {
        const QString local = WinPath::resolve(directory).localPath;
        if (!local.isEmpty())
            workDir = local;
    }
    const QStringList arguments = QProcess::splitCommand(parameters);
    if (QFileInfo(target).isExecutable())
        start(target, arguments, workDir);
    else
        start(QStringLiteral("xdg-open"), {target}, workDir);
}

void restartSelf()
{
    start(QCoreApplication::applicationFilePath(), {}, QDir::currentPath());
}

void setStarterForTests(Starter starter)
{
    g_starter = std::move(starter);
}

} // namespace ShellLaunch
