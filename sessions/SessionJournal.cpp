#include "sessions/SessionJournal.h"

#include "install/InstallPaths.h"
#include "platform/files/WinFile.h"
#include "platform/files/WinPath.h"

#include <QFileInfo>

namespace SessionJournal {

QByteArray format(const QList<JournalRecord>& records)
{
    QByteArray bytes;
    for (const JournalRecord& r : records) {
        bytes += r.station.toUtf8() + '\t' + r.paidEndUtc.toUTC().toString(Qt::ISODate).toLatin1() + '\t'
            + QByteArray::number(r.minutes) + '\t' + (r.owesZero ? "1" : "0") + "\r\n";
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
        if (fields.size() != 4)
            continue;
        JournalRecord r;
        r.station = QString::fromUtf8(fields[0]);
        r.paidEndUtc = QDateTime::fromString(QString::fromLatin1(fields[1]), Qt::ISODate);
        bool minutesOk = false;
        r.minutes = fields[2].toInt(&minutesOk);
        if (r.station.isEmpty() || !r.paidEndUtc.isValid() || !minutesOk || (fields[3] != "0" && fields[3] != "1"))
            continue;
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

} // namespace SessionJournal
