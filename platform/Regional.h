#pragma once

#include <QChar>
#include <QDateTime>
#include <QString>
#include <optional>

// The counter computer's regional settings: short date, long time and decimal separator come
// from the process locale. Dates, times and numbers are always written with ASCII digits,
// because the single-byte code page of the files and tables has no other digits.
namespace Regional {

struct Formats
{
    QString shortDateFormat; // QDate::toString format, e.g. "dd/MM/yyyy"
    QString longTimeFormat;  // QTime::toString format, e.g. "hh:mm:ss"
    QChar decimalSeparator;
};

Formats current();
// Pins the settings for tests; std::nullopt returns to the process locale.
void setOverride(const std::optional<Formats>& settings);

QString shortDate(const QDate& date);
QString longTime(const QTime& time);

// A decimal number as the operator types it: optional blanks and sign, digits with at most one
// regional decimal separator, an optional exponent. Throws AppError otherwise.
double parseDecimal(const QString& text);
// A whole decimal number in the 32-bit range: optional blanks and sign, then digits.
// Throws AppError otherwise.
int parseWholeNumber(const QString& text);

// General number format with up to 15 significant digits and the regional separator.
QString formatGeneral(double value);

} // namespace Regional
