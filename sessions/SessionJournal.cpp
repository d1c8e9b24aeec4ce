#include "sessions/SessionJournal.h"

#include "install/InstallPaths.h"
#include "platform/AppError.h"
#include "platform/Clock.h"
#include "platform/files/SystemTexts.h"
#include "platform/files/WinPath.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <cstdio>

#include <algorithm>

namespace SessionJournal {

QByteArray format(const QList<JournalRecord>& records)
{
    QByteArray bytes;
    for (const JournalRecord& r : records) {
        bytes += r.station.toUtf8() + '\t' + r.paidEndUtc.toUTC().toString(Qt::ISODate).toLatin1() + '\t'
            + QByteArray::number(r.minutes) + '\t' + (r.owesZero ? "1" : "0");
        if (!r.bootId.isEmpty())
            bytes += '\t' + r.bootId + '\t' + QByteArray::number(r.openedAtMs);
        bytes += "\r\n";
    }
    return bytes;
}

QList<JournalRecord> parse(const QByteArray& bytes)
{
    QList<JournalRecord> records;
    for (QByteArray line : bytes.split('\n')) {
        if (line.endsWith('\r'))
            line.chop(1);
        const QList<QByteArray> fields = line.split('\t');
        if (fields.size() != 4 && fields.size() != 6)
            continue;
        JournalRecord r;
        r.station = QString::fromUtf8(fields[0]);
        r.paidEndUtc = QDateTime::fromString(QString::fromLatin1(fields[1]), Qt::ISODate);
        bool minutesOk = false;
        r.minutes = fields[2].toInt(&minutesOk);
        if (r.station.isEmpty() || !r.paidEndUtc.isValid() || !minutesOk || (fields[3] != "0" && fields[3] != "1"))
            continue;
        if (fields.size() == 6) {
            bool openedOk = false;
            r.openedAtMs = fields[5].toLongLong(&openedOk);
            r.bootId = fields[4];
            // A record whose clock cannot be read is measured on the wall clock alone.
            if (!openedOk || r.bootId.isEmpty()) {
                r.bootId.clear();
                r.openedAtMs = 0;
            }
        }
        r.paidEndUtc = r.paidEndUtc.toUTC();
        r.owesZero = fields[3] == "1";
        records.append(r);
    }
    return records;
}

namespace {

constexpr qint64 MaxJournalSize = 1024 * 1024;

// The journal is the console's own file, kept with the tables: a Data folder (or one above it)
// that is a link to another disk is followed, as the tables' is.
QString localPath()
{
    const WinPath::Resolved place = WinPath::resolve(InstallPaths::SessionJournal);
    if (place.localPath.isEmpty())
        throw AppError(
            QStringLiteral("Cannot open file \"%1\". %2").arg(WinPath::fullPath(InstallPaths::SessionJournal), place.error));
    return place.localPath;
}

AppError openError(const QString& reason)
{
    return AppError(QStringLiteral("Cannot open file \"%1\". %2").arg(WinPath::fullPath(InstallPaths::SessionJournal), reason));
}

} // namespace

QList<JournalRecord> load()
{
    const QString path = localPath();
    const QFileInfo info(path);
    // A console that never counted a session has no journal; only an existing one must be read.
    if (!info.exists() && !info.isSymLink())
        return {};
    if (!info.exists())
        throw openError(SystemTexts::fileNotFound()); // a link that leads nowhere
    if (!info.isFile())
        throw openError(SystemTexts::notAFile());
    if (info.size() > MaxJournalSize)
        throw openError(SystemTexts::fileTooLarge());
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw openError(file.errorString());
    const QByteArray bytes = file.read(MaxJournalSize + 1);
    if (file.error() != QFileDevice::NoError)
        throw openError(file.errorString());
    if (bytes.size() > MaxJournalSize)
        throw openError(SystemTexts::fileTooLarge());
    return parse(bytes);
}

void save(const QList<JournalRecord>& records)
{
    // Written beside the old one, flushed and renamed over it: the journal is whole, old or new.
    QSaveFile file(localPath());
    const QByteArray bytes = format(records);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        throw AppError(QStringLiteral("Cannot create file \"%1\". %2")
                           .arg(WinPath::fullPath(InstallPaths::SessionJournal), file.errorString()));
}

std::optional<QString> moveAside()
{
    const QString path = localPath();
    const QFileInfo info(path);
    const QString aside = info.absolutePath() + QLatin1Char('/') + info.fileName() + QLatin1Char('.')
        + Clock::now().toUTC().toString(QStringLiteral("yyyyMMdd-HHmmss")) + QStringLiteral(".unreadable");
    // A folder or a file alike; the link itself when the journal is a link that leads nowhere.
    if (std::rename(QFile::encodeName(path).constData(), QFile::encodeName(aside).constData()) != 0)
        return std::nullopt;
    return QDir::toNativeSeparators(aside);
}

qint64 secondsLeft(const JournalRecord& record)
{
    const qint64 bought = qint64(record.minutes) * 60;
    qint64 left = 0;
    if (!record.bootId.isEmpty() && record.bootId == Clock::bootId()) {
        // Whole seconds, rounded towards the paid end: a part of a second is not given.
        left = (record.openedAtMs + bought * 1000 - Clock::monotonicMs()) / 1000;
    } else {
        left = Clock::now().toUTC().secsTo(record.paidEndUtc);
    }
    return std::max<qint64>(0, std::min(left, bought));
}

} // namespace SessionJournal
