#include "support/SampleLedger.h"

#include "install/SessionKind.h"
#include "install/Tables.h"
#include "platform/files/WinPath.h"
#include "platform/store/Sqlite.h"

#include <QLocale>
#include <QMap>
#include <QTime>

namespace SampleLedger {

Entry entryOf(const QString& line)
{
    const QStringList f = line.split(u'|');
    const QString kind = f.at(3) == u"g" ? SessionKind::GamesWord : f.at(3) == u"i" ? SessionKind::InternetWord : f.at(3);
    return {f.at(0), f.at(1), f.at(2).toInt(), kind, f.at(4).toDouble(), f.at(5)};
}

void store(const QList<Entry>& entries, const QStringList& days)
{
    Sqlite::Connection e = Sqlite::open(WinPath::resolve(Tables::ledgerEntries().windowsPath()).localPath, SQLITE_OPEN_READWRITE);
    Sqlite::Connection d = Sqlite::open(WinPath::resolve(Tables::ledgerDays().windowsPath()).localPath, SQLITE_OPEN_READWRITE);
    Sqlite::exec(e.get(), QStringLiteral("BEGIN"));
    Sqlite::Statement insert(e.get(),
                             QStringLiteral("INSERT INTO DetailDays (DateDay2, StartOperation, TimeOperation, "
                                            "KandOperation, Cost, Computer) VALUES (?, ?, ?, ?, ?, ?)"));
    for (const Entry& x : entries) {
        Sqlite::Use use(insert);
        insert.bind(1, x.day);
        insert.bind(2, x.start);
        insert.bind(3, x.minutes);
        insert.bind(4, x.kind);
        insert.bind(5, x.cost);
        insert.bind(6, x.station);
        insert.step();
    }
    Sqlite::exec(e.get(), QStringLiteral("COMMIT"));
    Sqlite::exec(d.get(), QStringLiteral("BEGIN"));
    Sqlite::Statement day(d.get(), QStringLiteral("INSERT INTO SumDays (DateDay, SumDay) VALUES (?, ?)"));
    for (const QString& text : days) {
        Sqlite::Use use(day);
        day.bind(1, text.section(u'=', 0, 0));
        day.bind(2, text.contains(u'=') ? QVariant(text.section(u'=', 1).toDouble()) : QVariant());
        day.step();
    }
    Sqlite::exec(d.get(), QStringLiteral("COMMIT"));
}

QStringList daysOf(const QList<Entry>& entries)
{
    QMap<QString, double> sums;
    for (const Entry& e : entries)
        sums[e.day] += e.cost;
    QStringList days;
    for (auto it = sums.cbegin(); it != sums.cend(); ++it)
        days << QStringLiteral("%1=%2").arg(it.key()).arg(it.value(), 0, 'g', 17);
    return days;
}

QList<Entry> month(const QDate& last, const QString& dateFormat, const QString& timeFormat)
{
    QList<Entry> entries;
    // A fixed sequence, not a random one: the pictures must not change from run to run.
    quint32 seed = 20261211;
    auto next = [&seed](quint32 n) {
        seed = seed * 1664525u + 1013904223u;
        return (seed >> 8) % n;
    };
    for (QDate d = last.addDays(-40); d <= last; d = d.addDays(1)) {
        const bool weekend = d.dayOfWeek() >= 5;
        const int sessions = 14 + int(next(10)) + (weekend ? 12 : 0);
        for (int s = 0; s < sessions; ++s) {
            // Opening hours 9:00 to 23:00, the evening busiest.
            const int hour = next(3) == 0 ? 9 + int(next(8)) : 16 + int(next(7));
            const QTime start(hour, int(next(60)), int(next(60)));
            const int minutes = 15 * (1 + int(next(6)));
            const bool games = next(5) < 3;
            const double tariff = games ? 0.5 : 0.25;
            entries.append({QLocale::c().toString(d, dateFormat), QLocale::c().toString(start, timeFormat), minutes,
                            games ? SessionKind::GamesWord : SessionKind::InternetWord, minutes * tariff,
                            QStringLiteral("PC0%1").arg(1 + next(6))});
        }
    }
    return entries;
}

} // namespace SampleLedger
