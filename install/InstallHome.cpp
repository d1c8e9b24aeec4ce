#include "install/InstallHome.h"

#include "install/InstallPaths.h"
#include "platform/AppError.h"
#include "platform/files/WinPath.h"

#include <QDir>
#include <QFileInfo>
#include <cerrno>
#include <cstring>

namespace InstallHome {

QString directory()
{
    return WinPath::resolve(InstallPaths::InstallRoot).localPath;
}

bool enter()
{
    const QString dir = directory();
    const QFileInfo info(dir);
    if (dir.isEmpty() || !info.isDir())
        return false;
    if (info.canonicalFilePath() == QFileInfo(QDir::currentPath()).canonicalFilePath())
        return true;
    if (!QDir::setCurrent(dir)) {
        const int err = errno;
        throw AppError(QStringLiteral("Cannot open directory \"%1\". %2").arg(dir, QString::fromLocal8Bit(std::strerror(err))));
    }
    return true;
}

} // namespace InstallHome
