// Any bytes as the console's journal of sessions, which a crash or a power cut may leave cut short
// and anybody may edit: every whole record is read, the rest passed over, what is read writes back
// as the same records, one per station whatever the case of its name, and no record is ever given
// more time than its minutes bought.

#include "FuzzCommon.h"

#include "sessions/SessionJournal.h"

#include <QSet>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    const QList<JournalRecord> records = SessionJournal::parse(bytes);
    // One record per line at most, CR, LF and CR LF all ending one.
    FUZZ_CHECK(records.size() <= bytes.count('\n') + bytes.count('\r') + 1);
    // Written and read again, the records are what they were written as.
    const QByteArray written = SessionJournal::format(records);
    const QList<JournalRecord> again = SessionJournal::parse(written);
    FUZZ_CHECK(again.size() == records.size());
    FUZZ_CHECK(SessionJournal::format(again) == written);
    QSet<QString> stations;
    for (const JournalRecord& r : again) {
        FUZZ_CHECK(!r.station.isEmpty() && r.paidEndUtc.isValid());
        FUZZ_CHECK(!stations.contains(r.station.toCaseFolded()));
        stations.insert(r.station.toCaseFolded());
        const qint64 left = SessionJournal::secondsLeft(r);
        FUZZ_CHECK(left >= 0 && left <= std::max<qint64>(0, qint64(r.minutes) * 60));
    }
    return 0;
}
