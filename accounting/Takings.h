#pragma once

#include <QDate>
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

// The owner's takings over a period, from the ledger: figures, tables per day, station, hour of
// day and kind, and the same figures for the period of the same length just before.
//
// The ledger keeps a day and a start time only as text in the regional formats of the machine
// that billed them; each is read with the current formats (Regional::FormatReader). A day whose
// text cannot be read belongs to no period: it is listed apart, with its entries' sums, in every
// report, and kept out of the period's figures and tables, which say how many there are. An
// entry whose start time cannot be read counts everywhere but in the hours, where it has a row
// of its own.
namespace Takings {

struct Period
{
    QDate from;
    QDate to;

    qint64 days() const { return from.daysTo(to) + 1; }
    // The period of the same length that ends the day before this one begins.
    Period previous() const;
    bool contains(const QDate& date) const { return date >= from && date <= to; }
    bool operator==(const Period&) const = default;
};

enum class Preset { Today, Yesterday, ThisWeek, ThisMonth, LastMonth, ThisYear };
// Every preset, in the order the window offers them, and its caption.
QList<Preset> presets();
QString caption(Preset preset);
// The week begins on the given day (the regional first day of the week); a period that runs "this
// week", "this month" or "this year" ends today.
Period periodOf(Preset preset, const QDate& today, Qt::DayOfWeek firstDayOfWeek);

struct Sums
{
    qint64 sessions = 0;
    qint64 minutes = 0;
    double games = 0;
    double internet = 0;
    double total = 0; // every kind, also a word that is neither

    void add(const Sums& other);
};

struct Figures
{
    Sums sums;
    qint64 days = 0; // days of the period up to today, at least one
    double perSession() const { return sums.sessions ? sums.total / double(sums.sessions) : 0; }
    double perDay() const { return days ? sums.total / double(days) : 0; }
    int busiestHour = -1; // the hour of day that took most, -1 when none did
    double busiestHourTakings = 0;
    QString topStation; // empty when no station took anything
    bool hasTopStation = false;
    double topStationTakings = 0;
    // Minutes sold ÷ (stations of the roster × minutes from each day's first opening to its last
    // session's end); nothing without a roster or without a session whose time can be read.
    std::optional<double> use;
};

struct DayRow
{
    QDate date;        // invalid for a day whose text cannot be read
    QStringList texts; // the day's texts as stored
    Sums sums;
    // The stored daily total of one of its texts differs from its entries: it needs a recompute.
    bool stale = false;
};

struct StationRow
{
    QString station;
    Sums sums;
    double share = 0; // of the period's takings, 0 to 1
};

struct HourRow
{
    int hour = 0; // 0 to 23, or -1 for start times that cannot be read
    Sums sums;
};

struct KindRow
{
    QString kind; // the word as stored
    Sums sums;
};

struct Result
{
    Period period;
    QDate today;
    Figures current;
    Figures previous;
    QList<DayRow> days;       // of the period, in calendar order
    QList<DayRow> unreadable; // days whose text cannot be read, in text order
    Sums unreadableSums;
    QList<StationRow> stations; // by takings, most first; stations of the roster that took nothing too
    QList<HourRow> hours;       // 0 to 23, then the unreadable ones when there are any
    QList<KindRow> kinds;       // by takings, most first
    int rosterStations = 0;     // 0 when the roster cannot be read
};

// The stations named in the roster of the install (its first twelve lines that are not empty);
// nothing when the roster cannot be read.
std::optional<QStringList> rosterStations();

// Reads the ledger in one read transaction per table (the entries first, then the days, so every
// entry read has its day), never holding either table open afterwards, and never blocking a bill.
// today anchors two-digit years and the days counted so far. Throws AppError naming the table
// when the ledger cannot be read.
Result compute(const Period& period, const QDate& today, const std::optional<QStringList>& roster);

// The SQL that the computation runs on the entries table, the day texts bound as a JSON array to
// ?1 and the start time read by the function quorvel_seconds (for the benchmark's floor).
QStringList entryQueries();

} // namespace Takings
