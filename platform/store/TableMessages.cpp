#include "platform/store/TableMessages.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace TableMessages {

namespace {

QString quoted(const QString& path)
{
    return QLatin1Char('"') + path + QLatin1Char('"');
}

QString label(const Place& table)
{
    return quoted(table.windowsPath);
}

bool writable(const QString& localPath)
{
    return ::access(QFile::encodeName(localPath).constData(), W_OK) == 0;
}

QString fullDisk(const Place& table)
{
    return QStringLiteral("القرص ممتلئ، فلا يمكن الكتابة في الجدول %1 ولم يُحفظ فيه شيء الآن. "
                          "أفرغ مكانا على القرص ثم أعد المحاولة.")
        .arg(label(table));
}

// Less room than a log index takes: nothing a table needs fits.
constexpr unsigned long long NoRoomBytes = 64 * 1024;

bool isFullDisk(const Place& table, const Sqlite::Failure& failure)
{
    if (failure.primaryCode() == SQLITE_FULL)
        return true;
    // A log index that cannot grow, or a log that cannot be made, is SQLite's I/O error; the
    // system's error behind it, or the room left, tells a full disk.
    if (failure.primaryCode() != SQLITE_IOERR && failure.primaryCode() != SQLITE_CANTOPEN)
        return false;
    const int err = failure.systemError();
    if (err == ENOSPC || err == EDQUOT)
        return true;
    struct statvfs disk
    {};
    return !table.localPath.isEmpty()
        && ::statvfs(QFile::encodeName(QFileInfo(table.localPath).absolutePath()).constData(), &disk) == 0
        && static_cast<unsigned long long>(disk.f_bavail) * disk.f_frsize < NoRoomBytes;
}

} // namespace

QString failure(const Place& table, const Sqlite::Failure& failure)
{
    if (isFullDisk(table, failure))
        return fullDisk(table);
    switch (failure.primaryCode()) {
    case SQLITE_READONLY:
    case SQLITE_CANTOPEN:
    case SQLITE_PERM:
        if (const std::optional<QString> part = unwritable(table))
            return *part;
        break;
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return lockedByAnother(table);
    case SQLITE_NOTADB:
        return QStringLiteral("الملف %1 ليس جدولا، فلا يمكن قراءته ولا الكتابة فيه.").arg(label(table));
    case SQLITE_CORRUPT:
        return QStringLiteral("الجدول %1 تالف (%2)، فلا يمكن العمل عليه. استرجع نسخة احتياطية منه.")
            .arg(label(table), failure.text());
    case SQLITE_CONSTRAINT:
        if (failure.code() == SQLITE_CONSTRAINT_PRIMARYKEY || failure.code() == SQLITE_CONSTRAINT_UNIQUE)
            return keyViolation(table);
        // SQLite names the field as "table.field".
        if (failure.code() == SQLITE_CONSTRAINT_NOTNULL)
            return fieldNeedsValue(table, failure.text().section(QLatin1Char('.'), -1));
        break;
    default:
        break;
    }
    QString reason = failure.text();
    if (failure.systemError() != 0)
        reason += QStringLiteral(" (%1)").arg(QString::fromLocal8Bit(std::strerror(failure.systemError())));
    return QStringLiteral("تعذر العمل على الجدول %1: %2").arg(label(table), reason);
}

std::optional<QString> unwritable(const Place& table)
{
    if (table.localPath.isEmpty())
        return std::nullopt;
    const QString folder = QFileInfo(table.localPath).absolutePath();
    if (!writable(folder))
        return QStringLiteral("لا يمكن الكتابة في المجلد %1: يُعرض الجدول %2 ولكن لا يُحفظ فيه شيء "
                              "حتى يُسمح بالكتابة في هذا المجلد.")
            .arg(quoted(table.windowsDirectory), label(table));
    if (!writable(table.localPath))
        return QStringLiteral("الملف %1 للقراءة فقط: يُعرض الجدول ولكن لا يُحفظ فيه شيء حتى يُسمح بالكتابة فيه.").arg(label(table));
    // The log files beside a table are written by every program that writes it; one left behind
    // that may not be written keeps them all from writing.
    for (const char* part : {"-wal", "-shm"}) {
        const QString local = table.localPath + QLatin1String(part);
        struct stat st
        {};
        if (::lstat(QFile::encodeName(local).constData(), &st) == 0 && !writable(local))
            return QStringLiteral("لا يمكن الكتابة في الملف %1 المرافق للجدول %2، فلا يُحفظ في الجدول شيء. "
                                  "احذف هذا الملف أو اسمح بالكتابة فيه بعد إغلاق كل برامج QuorvelServer.")
                .arg(quoted(table.windowsPath + QLatin1String(part)), label(table));
    }
    return std::nullopt;
}

QString missing(const Place& table)
{
    return QStringLiteral("الجدول %1 غير موجود.").arg(label(table));
}

QString isLink(const Place& table)
{
    return QStringLiteral("لا يُفتح الجدول %1 لأنه رابط رمزي، والروابط لا تُتبع إلى ملفات الجداول.").arg(label(table));
}

QString cannotReach(const Place& table, const QString& reason)
{
    return QStringLiteral("لا يمكن فتح الجدول %1: %2").arg(label(table), reason);
}

QString closed(const QString& tableName)
{
    if (tableName.isEmpty())
        return QStringLiteral("لا يمكن العمل على جدول مغلق.");
    return QStringLiteral("لا يمكن العمل على الجدول %1 وهو مغلق.").arg(quoted(tableName));
}

QString openReadOnly(const Place& table)
{
    return QStringLiteral("الجدول %1 مفتوح للقراءة فقط.").arg(label(table));
}

QString lockedByAnother(const Place& table)
{
    return QStringLiteral("الجدول %1 يستعمله برنامج آخر الآن، فلم يُقرأ منه ولم يُحفظ فيه شيء. أعد المحاولة بعد قليل.")
        .arg(label(table));
}

QString keyViolation(const Place& table)
{
    return QStringLiteral("في الجدول %1 سطر بهذا المفتاح من قبل، فلم يُحفظ السطر.").arg(label(table));
}

QString fieldNeedsValue(const Place& table, const QString& field)
{
    return QStringLiteral("الحقل \"%1\" في الجدول %2 يجب أن تكون له قيمة، فلم يُحفظ السطر.").arg(field, label(table));
}

} // namespace TableMessages
