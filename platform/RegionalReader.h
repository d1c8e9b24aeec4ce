#pragma once

#include <QDate>
#include <QList>
#include <QString>
#include <QStringView>
#include <optional>

// Reads dates and times back from the texts the regional formats wrote (Regional::shortDate,
// Regional::longTime): the ledger keeps a day and a start time only as such text. A format is
// compiled once into its fields and literals, so a year of entries is read without Qt's general
// parser. Numbers are ASCII digits; month and day names are the C locale's, as they are written;
// the day periods are "AM"/"PM" in any case, or the Arabic "ص"/"م" of older Windows texts.
namespace Regional {

class FormatReader
{
public:
    // A QDate/QTime format such as "dd/MM/yyyy" or "h:mm:ss AP"; quoted text is a literal.
    explicit FormatReader(const QString& format);

    // The date the text names. A two-digit year is taken in the century around today: the year
    // within fifty years of today's. Nothing when the text does not follow the format or names
    // no real date.
    std::optional<QDate> date(QStringView text, const QDate& today) const;
    // The seconds since midnight of the time the text names; nothing when it does not follow the
    // format or names no real time.
    std::optional<int> secondsOfDay(QStringView text) const;

private:
    enum class Kind { Literal, Day, DayName, Month, MonthName, Year2, Year4, Hour12, Hour24, Minute, Second, Millis, DayPeriod };
    struct Token
    {
        Kind kind;
        int minDigits = 1;
        int maxDigits = 2;
        QString literal;
    };
    struct Values
    {
        int day = -1, month = -1, year = -1, hour = -1, minute = 0, second = 0;
        bool twoDigitYear = false;
        bool hour12 = false;
        int period = -1; // 0 before noon, 1 after
    };
    std::optional<Values> read(QStringView text) const;

    QList<Token> m_tokens;
};

} // namespace Regional
