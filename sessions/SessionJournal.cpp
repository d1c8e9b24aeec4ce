#include "sessions/SessionJournal.h"

#include "install/InstallPaths.h"
#include "platform/Clock.h"
#include "platform/files/WinFile.h"
#include "platform/files/WinPath.h"

#include <QFileInfo>

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

QList<JournalRecord> load()
{
    const WinPath::Resolved place = WinPath::resolve(InstallPaths::SessionJournal);
    // A console that never counted a session has no journal; only an existing one must be read.
    if (!place.localPath.isEmpty() && !QFileInfo(place.localPath).exists() && !QFileInfo(place.localPath).isSymLink())
        return {};
    return parse(WinFile::read(InstallPaths::SessionJournal));
}

void save(const QList<JournalRecord>& records)
{
    WinFile::replace(InstallPaths::SessionJournal, format(records));
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
