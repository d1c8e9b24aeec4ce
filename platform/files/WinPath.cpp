#include "platform/files/WinPath.h"
#include "platform/files/SystemTexts.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QStringList>

namespace WinPath {

QString prefix()
{
    const QString env = qEnvironmentVariable("QUORVEL_PREFIX");
    if (!env.isEmpty())
        return QDir::cleanPath(QDir::current().absoluteFilePath(env));
    const QString xdg = qEnvironmentVariable("XDG_DATA_HOME");
    if (!xdg.isEmpty())
        return QDir::cleanPath(xdg + QStringLiteral("/quorvel"));
    return QDir::homePath() + QStringLiteral("/.local/share/quorvel");
}

bool isSafeUncName(const QString& name)
{
    if (name.isEmpty() || name == QLatin1String(".") || name == QLatin1String(".."))
        return false;
    for (QChar c : name) {
        if (c == QLatin1Char('/') || c == QLatin1Char('\\') || c.unicode() == 0)
            return false;
    }
    return true;
}

bool isSafeUrlHost(const QString& name)
{
    if (name.isEmpty() || name.startsWith(QLatin1Char('.')) || name.startsWith(QLatin1Char('-')))
        return false;
    for (QChar c : name) {
        if (!c.isLetterOrNumber() && c != QLatin1Char('-') && c != QLatin1Char('_') && c != QLatin1Char('.'))
            return false;
    }
    return true;
}

namespace {

// Appends one component below base, matching an existing entry regardless of case.
QString childOf(const QString& base, const QString& component)
{
    const QString exact = base + QLatin1Char('/') + component;
    if (QFileInfo::exists(exact))
        return exact;
    const QStringList entries = QDir(base).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QString& entry : entries) {
        if (entry.compare(component, Qt::CaseInsensitive) == 0)
            return base + QLatin1Char('/') + entry;
    }
    return exact;
}

QStringList splitComponents(const QString& path)
{
    QString p = path;
    p.replace(QLatin1Char('/'), QLatin1Char('\\'));
    return p.split(QLatin1Char('\\'), Qt::SkipEmptyParts);
}

// Walks components below a root that they may not leave ("..", when it would climb above the
// root, stays at the root, as on Windows).
QString walk(const QString& root, const QStringList& components)
{
    QStringList kept;
    for (const QString& c : components) {
        if (c == QLatin1String("."))
            continue;
        if (c == QLatin1String("..")) {
            if (!kept.isEmpty())
                kept.removeLast();
            continue;
        }
        kept.append(c);
    }
    QString place = root;
    for (const QString& c : kept)
        place = childOf(place, c);
    return place;
}

Resolved failed(const QString& error)
{
    Resolved r;
    r.error = error;
    return r;
}

Resolved beneath(const QString& localPath, const QString& base)
{
    Resolved r;
    r.localPath = localPath;
    r.base = base;
    return r;
}

} // namespace

QString fullPath(const QString& windowsPath)
{
    const bool absolute = windowsPath.startsWith(QLatin1Char('\\')) || windowsPath.startsWith(QLatin1Char('/'))
        || (windowsPath.size() >= 2 && windowsPath.at(1) == QLatin1Char(':'));
    if (absolute)
        return windowsPath;
    const QString cwd = QDir::currentPath();
    const QString drives = prefix() + QStringLiteral("/drive_");
    QString base;
    if (cwd.startsWith(drives) && cwd.size() > drives.size()
        && (cwd.size() == drives.size() + 1 || cwd.at(drives.size() + 1) == QLatin1Char('/'))) {
        base = cwd.at(drives.size()).toUpper() + QStringLiteral(":") + cwd.mid(drives.size() + 1);
    } else {
        base = QStringLiteral("Z:") + cwd;
    }
    base.replace(QLatin1Char('/'), QLatin1Char('\\'));
    if (!base.endsWith(QLatin1Char('\\')))
        base += QLatin1Char('\\');
    return base + windowsPath;
}

Resolved resolve(const QString& windowsPath)
{
    if (windowsPath.contains(QChar(0)))
        return failed(QStringLiteral("The filename, directory name, or volume label syntax is incorrect"));

    if (windowsPath.startsWith(QLatin1String("\\\\"))) {
        const QString rest = windowsPath.mid(2);
        const qsizetype slash = rest.indexOf(QLatin1Char('\\'));
        const QString name = slash < 0 ? rest : rest.left(slash);
        if (!isSafeUncName(name))
            return failed(SystemTexts::networkPathNotFound());
        const QString uncRoot = prefix() + QStringLiteral("/unc");
        const QString host = childOf(uncRoot, name);
        const QStringList components = splitComponents(slash < 0 ? QString() : rest.mid(slash + 1));
        // A share path never climbs: "." and ".." are refused so nothing outside the station's
        // mapped directory can be named.
        for (const QString& c : components) {
            if (c == QLatin1String(".") || c == QLatin1String(".."))
                return failed(SystemTexts::networkPathNotFound());
        }
        const QFileInfo hostInfo(host);
        if (!hostInfo.exists() && !hostInfo.isSymLink() && !components.isEmpty()) {
            if (!isSafeUrlHost(name))
                return failed(SystemTexts::networkPathNotFound());
            Resolved remote = failed(SystemTexts::networkPathNotFound());
            remote.remoteHost = name;
            remote.remotePath = components;
            return remote;
        }
        if (!hostInfo.isDir())
            return failed(SystemTexts::networkPathNotFound());
        QString place = host;
        for (const QString& c : components)
            place = childOf(place, c);
        return beneath(place, host);
    }

    if (windowsPath.size() >= 2 && windowsPath.at(1) == QLatin1Char(':') && windowsPath.at(0).isLetter()) {
        const QString drive = QStringLiteral("drive_") + windowsPath.at(0).toLower();
        return beneath(walk(childOf(prefix(), drive), splitComponents(windowsPath.mid(2))), prefix());
    }

    if (windowsPath.startsWith(QLatin1Char('\\')) || windowsPath.startsWith(QLatin1Char('/')))
        return beneath(walk(childOf(prefix(), QStringLiteral("drive_c")), splitComponents(windowsPath)), prefix());

    const QString cwd = QDir::currentPath();
    return beneath(walk(cwd, splitComponents(windowsPath)), cwd);
}

} // namespace WinPath
