#include "platform/store/TableFiles.h"

#include "platform/AppError.h"
#include "platform/files/WinPath.h"
#include "platform/store/Sqlite.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

namespace TableFiles {

bool create(const QString& directory, const Definition& definition)
{
    const QString windowsPath = directory + QLatin1Char('\\') + definition.fileName;
    const WinPath::Resolved target = WinPath::resolve(windowsPath);
    if (target.localPath.isEmpty())
        throw AppError(QStringLiteral("Cannot create table \"%1\". %2").arg(windowsPath, target.error));
    if (QFileInfo::exists(target.localPath) || QFileInfo(target.localPath).isSymLink())
        return false;

    const QString building = QFileInfo(target.localPath).absolutePath() + QStringLiteral("/.") + definition.fileName
        + QStringLiteral(".new-%1").arg(QCoreApplication::applicationPid());
    QFile::remove(building);
    try {
        {
            Sqlite::Connection db = Sqlite::open(building, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
            Sqlite::exec(db.get(),
                         QStringLiteral("PRAGMA journal_mode=WAL; PRAGMA synchronous=FULL; BEGIN; ")
                             + definition.statements.join(u"; ") + QStringLiteral("; COMMIT"));
        }
        // rename() never replaces: a file that appeared meanwhile is kept.
        if (!QFile::rename(building, target.localPath)) {
            QFile::remove(building);
            if (QFileInfo::exists(target.localPath))
                return false;
            throw AppError(QStringLiteral("Cannot create table \"%1\"").arg(windowsPath));
        }
    } catch (const Sqlite::Failure& failure) {
        QFile::remove(building);
        for (const char* part : {"-journal", "-wal", "-shm"})
            QFile::remove(building + QLatin1String(part));
        throw AppError(QStringLiteral("Cannot create table \"%1\". %2").arg(windowsPath, failure.text()));
    }
    return true;
}

} // namespace TableFiles
