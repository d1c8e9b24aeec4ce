#include "platform/Regional.h"

#include "platform/AppError.h"

#include <QLocale>
#include <QRegularExpression>
#include <cmath>

namespace Regional {

namespace {

std::optional<Formats> g_override;

// Some locales write the day period or month names; keep the digits ASCII by formatting with
// the C locale while using the system locale's pattern.
QString asciiDigits(QString text)
{
    for (QChar& c : text) {
        const int d = c.digitValue();
        if (d >= 0 && c.unicode() > 0x7f)
            c = QChar(u'0' + d);
    }
    return text;
}

} // namespace

Formats current()
{
    if (g_override)
        return *g_override;
    const QLocale locale = QLocale::system();
    QString sep = locale.decimalPoint();
    // A Windows long time has no time zone; some locales add one, which would only crowd the
    // 15 bytes of a stored time.
    QString longTime = locale.timeFormat(QLocale::LongFormat);
    static const QRegularExpression zone(QStringLiteral("\\s*\\bt+\\b"));
    longTime.remove(zone);
    return {locale.dateFormat(QLocale::ShortFormat), longTime.trimmed(), sep.isEmpty() ? QChar(u'.') : sep.at(0)};
}

void setOverride(const std::optional<Formats>& settings)
{
    g_override = settings;
}

QString shortDate(const QDate& date)
{
    return asciiDigits(QLocale::c().toString(date, current().shortDateFormat));
}

QString longTime(const QTime& time)
{
    return asciiDigits(QLocale::c().toString(time, current().longTimeFormat));
}

double parseDecimal(const QString& text)
{
    const QChar sep = current().decimalSeparator;
    const QString s = text.trimmed();
    // Compiling the pattern costs many times a match, and a card batch reads a tariff a card.
    thread_local QChar patternSep;
    thread_local QRegularExpression pattern;
    if (pattern.pattern().isEmpty() || patternSep != sep) {
        const QString esc = QRegularExpression::escape(QString(sep));
        pattern = QRegularExpression(QStringLiteral("^[+-]?(\\d+(%1\\d*)?|%1\\d+)([eE][+-]?\\d+)?$").arg(esc));
        patternSep = sep;
    }
    bool ok = false;
    double value = 0;
    if (pattern.match(s).hasMatch()) {
        QString plain = s;
        plain.replace(sep, QLatin1Char('.'));
        value = QLocale::c().toDouble(plain, &ok);
        ok = ok && std::isfinite(value);
    }
    if (!ok)
        throw AppError(QStringLiteral("'%1' is not a valid floating point value").arg(text));
    return value;
}

int parseWholeNumber(const QString& text)
{
    static const QRegularExpression pattern(QStringLiteral("^\\s*[+-]?\\d+\\s*$"));
    bool ok = false;
    int value = 0;
    if (pattern.match(text).hasMatch())
        value = QLocale::c().toInt(text.trimmed(), &ok);
    if (!ok)
        throw AppError(QStringLiteral("'%1' is not a valid integer value").arg(text));
    return value;
}

QString formatGeneral(double value)
{
    QString s = QString::number(value, 'g', 15);
    const QChar sep = current().decimalSeparator;
    if (sep != QLatin1Char('.'))
        s.replace(QLatin1Char('.'), sep);
    return s;
}

} // namespace Regional
