// Typed minutes and tariffs: any text is accepted as a whole number or a decimal exactly when an
// independent reading says it is one, and an accepted value is the one that reading gives, with
// no overflow and no number read as zero because it is too small. The first byte picks the regional decimal separator; the rest
// is UTF-8 text.

#include "FuzzCommon.h"

#include "install/SettingFiles.h"
#include "platform/AppError.h"
#include "platform/Regional.h"

#include <cerrno>
#include <cmath>
#include <optional>

namespace {

bool asciiBlank(QChar c)
{
    return c == QLatin1Char(' ') || (c >= QChar(9) && c <= QChar(13));
}

bool asciiDigit(QChar c)
{
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

std::optional<int> wholeNumber(const QString& text)
{
    qsizetype i = 0, end = text.size();
    while (i < end && asciiBlank(text.at(i)))
        ++i;
    while (end > i && asciiBlank(text.at(end - 1)))
        --end;
    bool negative = false;
    if (i < end && (text.at(i) == QLatin1Char('+') || text.at(i) == QLatin1Char('-')))
        negative = text.at(i++) == QLatin1Char('-');
    if (i == end)
        return std::nullopt;
    qint64 value = 0;
    for (; i < end; ++i) {
        if (!asciiDigit(text.at(i)))
            return std::nullopt;
        value = value * 10 + (text.at(i).unicode() - '0');
        if (value > qint64(INT_MAX) + 1)
            return std::nullopt;
    }
    value = negative ? -value : value;
    if (value > INT_MAX || value < INT_MIN)
        return std::nullopt;
    return int(value);
}

// Sign, digits with at most one separator and at least one digit, optional exponent; finite.
std::optional<double> decimal(const QString& typed, QChar sep)
{
    const QString s = typed.trimmed();
    QByteArray plain;
    qsizetype i = 0;
    if (i < s.size() && (s.at(i) == QLatin1Char('+') || s.at(i) == QLatin1Char('-')))
        plain += char(s.at(i++).unicode());
    int digits = 0;
    bool seenSep = false;
    for (; i < s.size(); ++i) {
        if (asciiDigit(s.at(i))) {
            ++digits;
            plain += char(s.at(i).unicode());
        } else if (s.at(i) == sep && !seenSep) {
            seenSep = true;
            plain += '.';
        } else {
            break;
        }
    }
    if (digits == 0)
        return std::nullopt;
    if (i < s.size() && (s.at(i) == QLatin1Char('e') || s.at(i) == QLatin1Char('E'))) {
        plain += 'e';
        ++i;
        if (i < s.size() && (s.at(i) == QLatin1Char('+') || s.at(i) == QLatin1Char('-')))
            plain += char(s.at(i++).unicode());
        const qsizetype start = i;
        while (i < s.size() && asciiDigit(s.at(i)))
            plain += char(s.at(i++).unicode());
        if (i == start)
            return std::nullopt;
    }
    if (i != s.size())
        return std::nullopt;
    // Beyond double's range either way is refused rather than read as infinity, or as zero when the
    // typed number is not zero. A number below the normal range still has a value (glibc sets ERANGE
    // for it all the same) and is taken.
    errno = 0;
    const double value = std::strtod(plain.constData(), nullptr);
    if (!std::isfinite(value) || (errno == ERANGE && value == 0))
        return std::nullopt;
    return value;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 1)
        return 0;
    const QChar sep = (data[0] & 1) ? QLatin1Char(',') : QLatin1Char('.');
    Regional::setOverride(Regional::Formats{QStringLiteral("dd/MM/yyyy"), QStringLiteral("hh:mm:ss"), sep});
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1));

    const std::optional<int> whole = wholeNumber(text);
    try {
        const int value = Regional::parseWholeNumber(text);
        FUZZ_CHECK(whole && *whole == value);
    } catch (const AppError&) {
        FUZZ_CHECK(!whole);
    }

    const std::optional<double> number = decimal(text, sep);
    try {
        const double value = Regional::parseDecimal(text);
        FUZZ_CHECK(number && *number == value);
        // The games tariff's range check reads the same number.
        FUZZ_CHECK(SettingFiles::gamesTariffAccepted(text) == (value >= 0 && value <= 10));
    } catch (const AppError&) {
        FUZZ_CHECK(!number);
    }
    return 0;
}
