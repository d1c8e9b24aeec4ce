#include "accounting/Takings.h"

#include "install/InstallPaths.h"
#include "install/SessionKind.h"
#include "install/Tables.h"
#include "platform/AppError.h"
#include "platform/Regional.h"
#include "platform/RegionalReader.h"
#include "platform/files/LineBuffer.h"
#include "platform/store/Sqlite.h"

#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QMap>
#include <algorithm>
#include <cmath>
#include <map>

namespace Takings {

Period Period::previous() const
{
    return {from.addDays(-days()), from.addDays(-1)};
}

QList<Preset> presets()
{
    return {Preset::Today, Preset::Yesterday, Preset::ThisWeek, Preset::ThisMonth, Preset::LastMonth, Preset::ThisYear};
}

QString caption(Preset preset)
{
    switch (preset) {
    case Preset::Today:
        return QStringLiteral("اليوم");
    case Preset::Yesterday:
        return QStringLiteral("أمس");
    case Preset::ThisWeek:
        return QStringLiteral("هذا الأسبوع");
    case Preset::ThisMonth:
        return QStringLiteral("هذا الشهر");
    case Preset::LastMonth:
        return QStringLiteral("الشهر الماضي");
    case Preset::ThisYear:
        return QStringLiteral("هذه السنة");
    }
    return {};
}

Period periodOf(Preset preset, const QDate& today, Qt::DayOfWeek firstDayOfWeek)
{
    switch (preset) {
    case Preset::Today:
        return {today, today};
    case Preset::Yesterday:
        return {today.addDays(-1), today.addDays(-1)};
    case Preset::ThisWeek:
        return {today.addDays(-((today.dayOfWeek() - int(firstDayOfWeek) + 7) % 7)), today};
    case Preset::ThisMonth:
        return {QDate(today.year(), today.month(), 1), today};
    case Preset::LastMonth: {
        const QDate first = QDate(today.year(), today.month(), 1).addMonths(-1);
        return {first, first.addMonths(1).addDays(-1)};
    }
    case Preset::ThisYear:
        return {QDate(today.year(), 1, 1), today};
    }
    return {today, today};
}

void Sums::add(const Sums& other)
{
    sessions += other.sessions;
    minutes += other.minutes;
    games += other.games;
    internet += other.internet;
    total += other.total;
}

std::optional<QStringList> rosterStations()
{
    LineBuffer roster;
    try {
        roster.load(InstallPaths::InstallRoot + QLatin1Char('\\') + InstallPaths::RosterFile);
    } catch (const AppError&) {
        return std::nullopt;
    }
    // The main window has twelve rows; a line past them names no station.
    QStringList stations;
    for (qsizetype i = 0; i < std::min<qsizetype>(roster.lineCount(), 12); ++i) {
        if (!roster.line(i).trimmed().isEmpty())
            stations.append(roster.line(i));
    }
    return stations;
}

QStringList entryQueries()
{
    const QString table = Sqlite::quoted(Tables::ledgerEntries().name);
    const QString day = Sqlite::quoted(Tables::EntryField::Date);
    const QString start = Sqlite::quoted(Tables::EntryField::Start);
    const QString minutes = Sqlite::quoted(Tables::EntryField::Minutes);
    const QString kind = Sqlite::quoted(Tables::EntryField::Kind);
    const QString cost = Sqlite::quoted(Tables::EntryField::Cost);
    const QString station = Sqlite::quoted(Tables::EntryField::Station);
    const QString where = QStringLiteral(" FROM %1 WHERE %2 IN (SELECT value FROM json_each(?1))").arg(table, day);
    const QString sums = QStringLiteral("count(*), total(%1), total(%2)").arg(minutes, cost);
    return {
        // Per day and kind, with the day's first opening and its last session's end.
        QStringLiteral("SELECT %1, %2, %3, min(s), max(s + ifnull(%4, 0) * 60) FROM (SELECT %1, %2, %4, %5, "
                       "quorvel_seconds(%6) AS s%7) GROUP BY 1, 2")
            .arg(day, kind, sums, minutes, cost, start, where),
        QStringLiteral("SELECT %1, %2, %3%4 GROUP BY 1, 2").arg(day, station, sums, where),
        QStringLiteral("SELECT %1, quorvel_seconds(%2) / 3600, %3%4 GROUP BY 1, 2").arg(day, start, sums, where),
    };
}

namespace {

// The seconds of day of a start time in the current long time format, or NULL.
void secondsOfDay(sqlite3_context* context, int, sqlite3_value** args)
{
    const auto* reader = static_cast<const Regional::FormatReader*>(sqlite3_user_data(context));
    if (sqlite3_value_type(args[0]) != SQLITE_TEXT) {
        sqlite3_result_null(context);
        return;
    }
    const auto* bytes = reinterpret_cast<const char*>(sqlite3_value_text(args[0]));
    const int size = sqlite3_value_bytes(args[0]);
    std::optional<int> seconds;
    // Times are nearly always ASCII: read them without making a string.
    char16_t ascii[32];
    bool plain = size <= 32;
    for (int i = 0; plain && i < size; ++i) {
        plain = static_cast<unsigned char>(bytes[i]) < 0x80;
        ascii[i] = char16_t(bytes[i]);
    }
    if (plain)
        seconds = reader->secondsOfDay(QStringView(ascii, size));
    else
        seconds = reader->secondsOfDay(QString::fromUtf8(bytes, size));
    if (seconds)
        sqlite3_result_int(context, *seconds);
    else
        sqlite3_result_null(context);
}

// A read transaction for the life of the object; ends without writing anything.
class ReadTransaction
{
public:
    explicit ReadTransaction(sqlite3* db)
        : m_db(db)
    {
        Sqlite::exec(m_db, QStringLiteral("BEGIN"));
    }
    ~ReadTransaction() { sqlite3_exec(m_db, "COMMIT", nullptr, nullptr, nullptr); }
    ReadTransaction(const ReadTransaction&) = delete;
    ReadTransaction& operator=(const ReadTransaction&) = delete;

private:
    sqlite3* m_db;
};

enum class Bucket { Current, Previous, Unreadable, None };

struct DayText
{
    std::optional<QDate> date;
    Bucket bucket = Bucket::None;
    std::optional<double> storedSum;
    bool hasDayRow = false;
    Sums sums;
    std::optional<int> firstStart;
    std::optional<int> lastEnd;
};

// What one bucket gathers.
struct Gathered
{
    Sums sums;
    std::map<QString, Sums> stations;
    std::map<int, Sums> hours;
    std::map<QString, Sums> kinds;
};

Sums sumsOf(const QString& kind, const Sqlite::Statement& row, int first)
{
    Sums s;
    s.sessions = row.int64(first);
    s.minutes = qint64(std::llround(row.real(first + 1)));
    s.total = row.real(first + 2);
    const QString word = kind.trimmed();
    if (word == SessionKind::GamesWord)
        s.games = s.total;
    else if (word == SessionKind::InternetWord)
        s.internet = s.total;
    return s;
}

bool differs(double stored, double sum)
{
    return std::abs(stored - sum) > 1e-9 * std::max(1.0, std::abs(sum));
}

Figures figuresOf(const Gathered& g, const QList<const DayText*>& days, qint64 dayCount, int roster)
{
    Figures f;
    f.sums = g.sums;
    f.days = std::max<qint64>(1, dayCount);
    for (const auto& [hour, sums] : g.hours) {
        if (hour >= 0 && sums.total > 0 && (f.busiestHour < 0 || sums.total > f.busiestHourTakings)) {
            f.busiestHour = hour;
            f.busiestHourTakings = sums.total;
        }
    }
    for (const auto& [station, sums] : g.stations) {
        if (sums.total > 0 && (!f.hasTopStation || sums.total > f.topStationTakings)) {
            f.topStation = station;
            f.hasTopStation = true;
            f.topStationTakings = sums.total;
        }
    }
    // A date may be stored under several texts: its opening hours run from the earliest opening to
    // the latest end among them.
    QMap<QDate, std::pair<int, int>> spans;
    for (const DayText* day : days) {
        if (!day->firstStart || !day->lastEnd)
            continue;
        auto it = spans.find(*day->date);
        if (it == spans.end())
            spans.insert(*day->date, {*day->firstStart, *day->lastEnd});
        else
            *it = {std::min(it->first, *day->firstStart), std::max(it->second, *day->lastEnd)};
    }
    double openMinutes = 0;
    for (const auto& span : spans)
        openMinutes += double(span.second - span.first) / 60.0;
    if (roster > 0 && openMinutes > 0)
        f.use = double(f.sums.minutes) / (double(roster) * openMinutes);
    return f;
}

} // namespace

Result compute(const Period& period, const QDate& today, const std::optional<QStringList>& roster)
{
    if (!period.from.isValid() || !period.to.isValid() || period.from > period.to)
        throw AppError(QStringLiteral("The period must run from a date to the same or a later date"));
    const Period before = period.previous();
    const Regional::Formats formats = Regional::current();
    const Regional::FormatReader dateReader(formats.shortDateFormat);
    const Regional::FormatReader timeReader(formats.longTimeFormat);

    Result result;
    result.period = period;
    result.today = today;
    result.rosterStations = roster ? int(roster->size()) : 0;

    QHash<QString, DayText> texts;
    auto bucketOf = [&](const QString& text) -> DayText& {
        auto it = texts.find(text);
        if (it != texts.end())
            return *it;
        DayText day;
        day.date = dateReader.date(text, today);
        if (!day.date)
            day.bucket = Bucket::Unreadable;
        else if (period.contains(*day.date))
            day.bucket = Bucket::Current;
        else if (before.contains(*day.date))
            day.bucket = Bucket::Previous;
        return *texts.insert(text, day);
    };

    Gathered current, previous;
    auto gatheredOf = [&](Bucket b) -> Gathered* {
        return b == Bucket::Current ? &current : b == Bucket::Previous ? &previous : nullptr;
    };

    // The entries first: a bill stores its day before its entry, so the days read afterwards hold
    // the day of every entry read.
    const Tables::Table& entriesTable = Tables::ledgerEntries();
    const Tables::Table& daysTable = Tables::ledgerDays();
    Sqlite::Connection entries = Tables::openForReading(entriesTable);
    try {
        sqlite3_create_function(entries.get(), "quorvel_seconds", 1, SQLITE_UTF8 | SQLITE_DETERMINISTIC,
                                const_cast<Regional::FormatReader*>(&timeReader), secondsOfDay, nullptr, nullptr);
        const ReadTransaction snapshot(entries.get());
        {
            Sqlite::Statement all(entries.get(),
                                  QStringLiteral("SELECT %1 FROM %2 GROUP BY 1")
                                      .arg(Sqlite::quoted(Tables::EntryField::Date), Sqlite::quoted(entriesTable.name)));
            while (all.step())
                bucketOf(all.isNull(0) ? QString() : all.text(0));
        }
        QJsonArray wanted;
        for (auto it = texts.cbegin(); it != texts.cend(); ++it) {
            if (it->bucket != Bucket::None)
                wanted.append(it.key());
        }
        const QString wantedJson = QString::fromUtf8(QJsonDocument(wanted).toJson(QJsonDocument::Compact));
        const QStringList queries = entryQueries();

        Sqlite::Statement perKind(entries.get(), queries.at(0));
        perKind.bind(1, wantedJson);
        while (perKind.step()) {
            DayText& day = bucketOf(perKind.text(0));
            const QString kind = perKind.isNull(1) ? QString() : perKind.text(1);
            const Sums sums = sumsOf(kind, perKind, 2);
            day.sums.add(sums);
            if (!perKind.isNull(5)) {
                const int first = int(perKind.int64(5)), last = int(perKind.int64(6));
                day.firstStart = day.firstStart ? std::min(*day.firstStart, first) : first;
                day.lastEnd = day.lastEnd ? std::max(*day.lastEnd, last) : last;
            }
            if (Gathered* g = gatheredOf(day.bucket)) {
                g->sums.add(sums);
                g->kinds[kind].add(sums);
            }
        }
        Sqlite::Statement perStation(entries.get(), queries.at(1));
        perStation.bind(1, wantedJson);
        while (perStation.step()) {
            if (Gathered* g = gatheredOf(bucketOf(perStation.text(0)).bucket))
                g->stations[perStation.isNull(1) ? QString() : perStation.text(1)].add(sumsOf({}, perStation, 2));
        }
        Sqlite::Statement perHour(entries.get(), queries.at(2));
        perHour.bind(1, wantedJson);
        while (perHour.step()) {
            if (Gathered* g = gatheredOf(bucketOf(perHour.text(0)).bucket))
                g->hours[perHour.isNull(1) ? -1 : int(perHour.int64(1))].add(sumsOf({}, perHour, 2));
        }
    } catch (const Sqlite::Failure& failure) {
        throw Tables::readFailure(entriesTable, failure.text());
    }
    try {
        Sqlite::Connection days = Tables::openForReading(daysTable);
        const ReadTransaction snapshot(days.get());
        Sqlite::Statement all(days.get(),
                              QStringLiteral("SELECT %1, %2 FROM %3")
                                  .arg(Sqlite::quoted(Tables::DayField::Date), Sqlite::quoted(Tables::DayField::Sum),
                                       Sqlite::quoted(daysTable.name)));
        while (all.step()) {
            DayText& day = bucketOf(all.isNull(0) ? QString() : all.text(0));
            day.hasDayRow = true;
            if (!all.isNull(1))
                day.storedSum = all.real(1);
        }
    } catch (const Sqlite::Failure& failure) {
        throw Tables::readFailure(daysTable, failure.text());
    }

    // The period's days by date, the unreadable ones by text.
    QMap<QDate, DayRow> byDate;
    QList<const DayText*> currentDays, previousDays;
    for (auto it = texts.cbegin(); it != texts.cend(); ++it) {
        const DayText& day = *it;
        // A day's empty total is what it holds before its first recompute: stale once it has entries.
        const bool stale = day.hasDayRow && (day.storedSum ? differs(*day.storedSum, day.sums.total) : day.sums.sessions > 0);
        if (day.bucket == Bucket::Current) {
            DayRow& row = byDate[*day.date];
            row.date = *day.date;
            row.texts.append(it.key());
            row.sums.add(day.sums);
            row.stale = row.stale || stale;
            currentDays.append(&day);
        } else if (day.bucket == Bucket::Previous) {
            previousDays.append(&day);
        } else if (day.bucket == Bucket::Unreadable) {
            DayRow row;
            row.texts = {it.key()};
            row.sums = day.sums;
            row.stale = stale;
            result.unreadable.append(row);
            result.unreadableSums.add(day.sums);
        }
    }
    result.days = byDate.values();
    std::sort(result.unreadable.begin(), result.unreadable.end(),
              [](const DayRow& a, const DayRow& b) { return a.texts.first() < b.texts.first(); });

    const qint64 daysSoFar = std::max<qint64>(1, period.from.daysTo(std::min(period.to, today)) + 1);
    result.current = figuresOf(current, currentDays, daysSoFar, result.rosterStations);
    result.previous = figuresOf(previous, previousDays, before.days(), result.rosterStations);

    std::map<QString, Sums> stations = current.stations;
    if (roster) {
        for (const QString& name : *roster)
            stations.try_emplace(name);
    }
    for (const auto& [name, sums] : stations)
        result.stations.append({name, sums, current.sums.total != 0 ? sums.total / current.sums.total : 0});
    std::stable_sort(result.stations.begin(), result.stations.end(),
                     [](const StationRow& a, const StationRow& b) { return a.sums.total > b.sums.total; });
    for (int hour = 0; hour < 24; ++hour)
        result.hours.append({hour, current.hours.count(hour) ? current.hours.at(hour) : Sums{}});
    if (current.hours.count(-1))
        result.hours.append({-1, current.hours.at(-1)});
    for (const auto& [kind, sums] : current.kinds)
        result.kinds.append({kind, sums});
    std::stable_sort(result.kinds.begin(), result.kinds.end(),
                     [](const KindRow& a, const KindRow& b) { return a.sums.total > b.sums.total; });
    return result;
}

} // namespace Takings
