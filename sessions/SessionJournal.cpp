#include "sessions/SessionJournal.h"

#include "install/InstallPaths.h"
#include "platform/AppError.h"
#include "platform/Clock.h"
#include "platform/files/WinPath.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSaveFile>

#include <cerrno>
#include <cstdio>

#include <algorithm>

namespace SessionJournal {

QByteArray format(const QList<JournalRecord>& records)
{
    QByteArray bytes;
    for (const JournalRecord& r : records) {
        bytes += r.station.toUtf8() + '\t' + r.paidEndUtc.toUTC().toString(Qt::ISODate).toLatin1() + '\t'
            + QByteArray::number(r.minutes) + '\t' + (r.owesZero ? "1" : "0") + '\t' + r.bootId + '\t'
            + QByteArray::number(r.bootId.isEmpty() ? 0 : r.openedAtMs) + '\t' + (r.countersWritten ? "1" : "0") + "\r\n";
    }
    return bytes;
}

QList<JournalRecord> parse(const QByteArray& bytes)
{
    QList<JournalRecord> records;
    QHash<QString, qsizetype> byStation; // case-folded name: its record's place
    QByteArray text = bytes;
    text.replace("\r\n", "\n").replace('\r', '\n');
    for (const QByteArray& line : text.split('\n')) {
        const QList<QByteArray> fields = line.split('\t');
        if (fields.size() != 4 && fields.size() != 6 && fields.size() != 7)
            continue;
        JournalRecord r;
        r.station = QString::fromUtf8(fields[0]);
        r.paidEndUtc = QDateTime::fromString(QString::fromLatin1(fields[1]), Qt::ISODate);
        bool minutesOk = false;
        r.minutes = fields[2].toInt(&minutesOk);
        if (r.station.isEmpty() || !r.paidEndUtc.isValid() || !minutesOk || (fields[3] != "0" && fields[3] != "1"))
            continue;
        if (fields.size() == 7 && fields[6] != "0" && fields[6] != "1")
            continue;
        if (fields.size() >= 6) {
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
        r.countersWritten = fields.size() != 7 || fields[6] == "1";
        const QString key = r.station.toCaseFolded();
        const auto place = byStation.constFind(key);
        if (place == byStation.cend()) {
            byStation.insert(key, records.size());
            records.append(r);
            continue;
        }
        JournalRecord& same = records[*place];
        if (r.paidEndUtc < same.paidEndUtc || (r.paidEndUtc == same.paidEndUtc && r.owesZero && !same.owesZero))
            same = r;
    }
    return records;
}

namespace {

constexpr qint64 MaxJournalSize = 1024 * 1024;

QString shownPath()
{
    return WinPath::fullPath(InstallPaths::SessionJournal);
}

// The operator reads what failed, which file, and what it means for the customers' sessions.
AppError readError(const QString& reason)
{
    return AppError(QStringLiteral("تعذرت قراءة سجل الجلسات \"%1\": %2.\n"
                                   "الجلسات التي كانت جارية قبل إعادة التشغيل لا تُستأنف منه، "
                                   "والأجهزة التي تركها مفتوحة تُذكر بأسمائها.")
                        .arg(shownPath(), reason));
}

AppError saveError(const QString& reason)
{
    return AppError(QStringLiteral("تعذر حفظ سجل الجلسات \"%1\": %2.\n"
                                   "الجلسات الجارية لن تُستأنف بعد إعادة التشغيل حتى يُصلح الملف؛ "
                                   "يعيد البرنامج المحاولة كل بضع ثوان.")
                        .arg(shownPath(), reason));
}

// The system's own words follow for whoever fixes it; the sentence before them is the operator's.
QString systemReason(const QString& systemText)
{
    return QStringLiteral("خطأ في النظام (%1)").arg(systemText);
}

// The journal is the console's own file, kept with the tables: a Data folder (or one above it)
// that is a link to another disk is followed, as the tables' is.
QString localPath(AppError (*failure)(const QString&))
{
    const WinPath::Resolved place = WinPath::resolve(InstallPaths::SessionJournal);
    if (place.localPath.isEmpty())
        throw failure(QStringLiteral("مكانه غير موجود (%1)").arg(place.error));
    return place.localPath;
}

} // namespace

QList<JournalRecord> load()
{
    const QString path = localPath(readError);
    const QFileInfo info(path);
    // A console that never counted a session has no journal; only an existing one must be read.
    if (!info.exists() && !info.isSymLink())
        return {};
    if (!info.exists())
        throw readError(QStringLiteral("إنه رابط لا يؤدي إلى ملف"));
    if (!info.isFile())
        throw readError(QStringLiteral("إنه ليس ملفا، بل مجلد أو جهاز"));
    if (info.size() > MaxJournalSize)
        throw readError(QStringLiteral("حجمه أكبر من 1 ميغابايت، فليس سجل جلسات"));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw readError(systemReason(file.errorString()));
    const QByteArray bytes = file.read(MaxJournalSize + 1);
    if (file.error() != QFileDevice::NoError)
        throw readError(systemReason(file.errorString()));
    if (bytes.size() > MaxJournalSize)
        throw readError(QStringLiteral("حجمه أكبر من 1 ميغابايت، فليس سجل جلسات"));
    return parse(bytes);
}

void save(const QList<JournalRecord>& records)
{
    // Written beside the old one, flushed and renamed over it: the journal is whole, old or new.
    // Unbuffered, so that a write the disk refuses fails here: a buffered one fails only in the
    // flush at commit(), which does not notice and would put an empty journal in place.
    QSaveFile file(localPath(saveError));
    const QByteArray bytes = format(records);
    errno = 0;
    if (file.open(QIODevice::WriteOnly | QIODevice::Unbuffered) && file.write(bytes) == bytes.size() && file.commit())
        return;
    const bool full = errno == ENOSPC || errno == EDQUOT || file.error() == QFileDevice::ResourceError;
    throw saveError(full ? QStringLiteral("القرص ممتلئ") : systemReason(file.errorString()));
}

std::optional<QString> moveAside()
{
    const QString path = localPath(readError);
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
