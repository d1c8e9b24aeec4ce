#include "platform/RegionalReader.h"

#include <QLocale>

namespace Regional {

namespace {

int runOf(const QString& format, qsizetype at)
{
    const QChar c = format.at(at);
    int n = 1;
    while (at + n < format.size() && format.at(at + n) == c)
        ++n;
    return n;
}

bool startsWithNoCase(QStringView text, qsizetype at, const QString& word)
{
    return !word.isEmpty() && text.size() - at >= word.size()
        && text.mid(at, word.size()).compare(word, Qt::CaseInsensitive) == 0;
}

// The longest of the names that the text holds at that place; its index or -1.
int matchName(QStringView text, qsizetype& at, const QStringList& names)
{
    int best = -1;
    qsizetype bestLength = 0;
    for (int i = 0; i < names.size(); ++i) {
        if (names.at(i).size() > bestLength && startsWithNoCase(text, at, names.at(i))) {
            best = i;
            bestLength = names.at(i).size();
        }
    }
    at += bestLength;
    return best;
}

QStringList monthNames()
{
    QStringList names;
    const QLocale c = QLocale::c();
    for (int m = 1; m <= 12; ++m)
        names << c.monthName(m, QLocale::LongFormat);
    for (int m = 1; m <= 12; ++m)
        names << c.monthName(m, QLocale::ShortFormat);
    return names;
}

QStringList dayNames()
{
    QStringList names;
    const QLocale c = QLocale::c();
    for (int d = 1; d <= 7; ++d)
        names << c.dayName(d, QLocale::LongFormat) << c.dayName(d, QLocale::ShortFormat);
    return names;
}

} // namespace

FormatReader::FormatReader(const QString& format)
{
    auto literal = [this](const QString& text) {
        if (!m_tokens.isEmpty() && m_tokens.last().kind == Kind::Literal)
            m_tokens.last().literal += text;
        else
            m_tokens.append(Token{Kind::Literal, 0, 0, text});
    };
    qsizetype i = 0;
    while (i < format.size()) {
        const QChar c = format.at(i);
        if (c == u'\'') {
            // Quoted text; two quotes stand for one.
            qsizetype j = i + 1;
            QString text;
            while (j < format.size()) {
                if (format.at(j) == u'\'') {
                    if (j + 1 < format.size() && format.at(j + 1) == u'\'') {
                        text += u'\'';
                        j += 2;
                        continue;
                    }
                    break;
                }
                text += format.at(j++);
            }
            literal(j == i + 1 && j < format.size() ? QStringLiteral("'") : text);
            i = j + 1;
            continue;
        }
        const int n = runOf(format, i);
        switch (c.unicode()) {
        case u'd':
            m_tokens.append(n >= 3 ? Token{Kind::DayName, 0, 0, {}} : Token{Kind::Day, 1, 2, {}});
            break;
        case u'M':
            m_tokens.append(n >= 3 ? Token{Kind::MonthName, 0, 0, {}} : Token{Kind::Month, 1, 2, {}});
            break;
        case u'y':
            if (n >= 4)
                m_tokens.append(Token{Kind::Year4, 4, 4, {}});
            else if (n >= 2)
                m_tokens.append(Token{Kind::Year2, 2, 2, {}});
            else
                literal(QStringLiteral("y"));
            break;
        case u'h':
            m_tokens.append(Token{Kind::Hour12, 1, 2, {}});
            break;
        case u'H':
            m_tokens.append(Token{Kind::Hour24, 1, 2, {}});
            break;
        case u'm':
            m_tokens.append(Token{Kind::Minute, 1, 2, {}});
            break;
        case u's':
            m_tokens.append(Token{Kind::Second, 1, 2, {}});
            break;
        case u'z':
            m_tokens.append(Token{Kind::Millis, 1, 3, {}});
            break;
        case u'A':
        case u'a':
            // "AP", "ap", "A" and "a" all write the day period.
            m_tokens.append(Token{Kind::DayPeriod, 0, 0, {}});
            if (n == 1 && i + 1 < format.size() && (format.at(i + 1) == u'P' || format.at(i + 1) == u'p'))
                ++i;
            break;
        default:
            literal(QString(n, c));
            break;
        }
        i += (c == u'A' || c == u'a') ? 1 : n;
    }
}

std::optional<FormatReader::Values> FormatReader::read(QStringView text) const
{
    static const QStringList months = monthNames();
    static const QStringList days = dayNames();
    text = text.trimmed();
    Values v;
    qsizetype at = 0;
    for (const Token& token : m_tokens) {
        if (token.kind == Kind::Literal) {
            if (text.size() - at < token.literal.size() || text.mid(at, token.literal.size()) != token.literal)
                return std::nullopt;
            at += token.literal.size();
            continue;
        }
        if (token.kind == Kind::MonthName) {
            const int m = matchName(text, at, months);
            if (m < 0)
                return std::nullopt;
            v.month = m % 12 + 1;
            continue;
        }
        if (token.kind == Kind::DayName) {
            if (matchName(text, at, days) < 0)
                return std::nullopt;
            continue;
        }
        if (token.kind == Kind::DayPeriod) {
            if (startsWithNoCase(text, at, QStringLiteral("am")) || startsWithNoCase(text, at, QStringLiteral("pm"))) {
                v.period = text.at(at).toLower() == u'p' ? 1 : 0;
                at += 2;
            } else if (at < text.size() && (text.at(at) == QChar(0x635) || text.at(at) == QChar(0x645))) {
                v.period = text.at(at) == QChar(0x645) ? 1 : 0;
                ++at;
            } else {
                return std::nullopt;
            }
            continue;
        }
        int digits = 0;
        int value = 0;
        while (digits < token.maxDigits && at < text.size() && text.at(at) >= u'0' && text.at(at) <= u'9') {
            value = value * 10 + (text.at(at).unicode() - u'0');
            ++at;
            ++digits;
        }
        if (digits < token.minDigits)
            return std::nullopt;
        switch (token.kind) {
        case Kind::Day:
            v.day = value;
            break;
        case Kind::Month:
            v.month = value;
            break;
        case Kind::Year2:
            v.year = value;
            v.twoDigitYear = true;
            break;
        case Kind::Year4:
            v.year = value;
            break;
        case Kind::Hour12:
        case Kind::Hour24:
            v.hour = value;
            v.hour12 = token.kind == Kind::Hour12;
            break;
        case Kind::Minute:
            v.minute = value;
            break;
        case Kind::Second:
            v.second = value;
            break;
        default:
            break;
        }
    }
    if (at != text.size())
        return std::nullopt;
    return v;
}

std::optional<QDate> FormatReader::date(QStringView text, const QDate& today) const
{
    const std::optional<Values> v = read(text);
    if (!v || v->day < 0 || v->month < 0 || v->year < 0)
        return std::nullopt;
    int year = v->year;
    if (v->twoDigitYear) {
        year += today.year() / 100 * 100;
        if (year > today.year() + 50)
            year -= 100;
        else if (year <= today.year() - 50)
            year += 100;
    }
    const QDate date(year, v->month, v->day);
    if (!date.isValid())
        return std::nullopt;
    return date;
}

std::optional<int> FormatReader::secondsOfDay(QStringView text) const
{
    const std::optional<Values> v = read(text);
    if (!v || v->hour < 0 || v->minute > 59 || v->second > 59)
        return std::nullopt;
    int hour = v->hour;
    // "h" counts 1 to 12 when the format has a day period; without one, and "H" always, count
    // the 24-hour clock, as Qt writes them.
    if (v->hour12 && v->period >= 0) {
        if (hour < 1 || hour > 12)
            return std::nullopt;
        hour = hour % 12 + 12 * v->period;
    }
    if (hour > 23)
        return std::nullopt;
    return hour * 3600 + v->minute * 60 + v->second;
}

} // namespace Regional
