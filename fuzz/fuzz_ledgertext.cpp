// A ledger's day and start-time texts read back with a regional format. The first byte picks the
// format: one of the formats the console writes with, whose texts must read back as the date or
// time they were written from; or, with its top bit set, a format taken from the input up to the
// first newline, where only the bounds are checked. The rest is UTF-8 text.

#include "FuzzCommon.h"

#include "platform/RegionalReader.h"

#include <QLocale>

namespace {

const char* const DateFormats[] = {"dd/MM/yyyy", "d/M/yyyy",    "M/d/yy",     "yyyy-MM-dd",
                                   "d.M.yy",     "dd-MMM-yyyy", "d MMM yyyy", "dddd, d MMMM yyyy"};
const char* const TimeFormats[] = {"hh:mm:ss", "h:mm:ss", "HH:mm:ss", "h:mm:ss AP", "hh:mm:ss ap", "h:mm:ss a"};
const QDate Today(2026, 12, 11);

void check(const QString& dateFormat, const QString& timeFormat, const QString& text, bool roundTrip)
{
    const Regional::FormatReader dates(dateFormat), times(timeFormat);
    if (const std::optional<QDate> date = dates.date(text, Today)) {
        FUZZ_CHECK(date->isValid());
        if (roundTrip) {
            // What was read is what the format writes for that date, read again.
            const QString written = QLocale::c().toString(*date, dateFormat);
            FUZZ_CHECK(dates.date(written, Today) == date);
            if (!dateFormat.contains(QLatin1String("yyyy")))
                FUZZ_CHECK(std::abs(date->year() - Today.year()) <= 50);
        }
    }
    if (const std::optional<int> seconds = times.secondsOfDay(text)) {
        FUZZ_CHECK(*seconds >= 0 && *seconds < 86400);
        if (roundTrip) {
            const QString written = QLocale::c().toString(QTime(0, 0).addSecs(*seconds), timeFormat);
            FUZZ_CHECK(times.secondsOfDay(written) == seconds);
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    const auto pick = data[0];
    QByteArray rest(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1));
    if (pick & 0x80) {
        const qsizetype newline = rest.indexOf('\n');
        if (newline < 0)
            return 0;
        const QString format = QString::fromUtf8(rest.left(newline));
        check(format, format, QString::fromUtf8(rest.mid(newline + 1)), false);
        return 0;
    }
    check(QString::fromLatin1(DateFormats[pick % std::size(DateFormats)]),
          QString::fromLatin1(TimeFormats[pick % std::size(TimeFormats)]), QString::fromUtf8(rest), true);
    return 0;
}
