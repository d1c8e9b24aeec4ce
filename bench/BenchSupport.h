#pragma once

// What the benchmarks share: a stopwatch, a median, where a table's file lies and a ledger filled
// straight through SQLite.

#include "install/Audit.h"
#include "install/InstallPaths.h"
#include "install/Tables.h"
#include "platform/files/WinPath.h"
#include "platform/store/Sqlite.h"

#include <QDate>
#include <QDir>
#include <QElapsedTimer>
#include <QList>
#include <QString>

#include <algorithm>

namespace Bench {

template <typename F>
double millis(F&& body)
{
    QElapsedTimer clock;
    clock.start();
    body();
    return double(clock.nsecsElapsed()) / 1e6;
}

inline double median(QList<double> values)
{
    std::sort(values.begin(), values.end());
    return values.at(values.size() / 2);
}

// The local file behind a table of the install, below the prefix the benchmark set.
inline QString localPath(const Tables::Table& table)
{
    return WinPath::resolve(table.windowsPath()).localPath;
}

// The ledger's two empty tables and the audit record, as the setup program makes them, below the
// prefix the benchmark set.
inline void makeLedgerAndAudit()
{
    QDir().mkpath(WinPath::resolve(InstallPaths::LedgerDir).localPath);
    Tables::create(Tables::ledgerDays());
    Tables::create(Tables::ledgerEntries());
    Audit::create();
}

// A year of business as the console bills it: the days, and perDay entries of each day, in one
// transaction a table.
inline void fillLedger(int days, int perDay)
{
    Sqlite::Connection daysDb = Sqlite::open(localPath(Tables::ledgerDays()), SQLITE_OPEN_READWRITE);
    Sqlite::Connection entriesDb = Sqlite::open(localPath(Tables::ledgerEntries()), SQLITE_OPEN_READWRITE);
    Sqlite::exec(daysDb.get(), QStringLiteral("BEGIN"));
    Sqlite::exec(entriesDb.get(), QStringLiteral("BEGIN"));
    Sqlite::Statement day(daysDb.get(), QStringLiteral("INSERT INTO SumDays (DateDay) VALUES (?)"));
    Sqlite::Statement entry(
        entriesDb.get(),
        QStringLiteral("INSERT INTO DetailDays (DateDay2, StartOperation, TimeOperation, KandOperation, Cost, Computer) "
                       "VALUES (?, '10:00:00', 15, 'G', ?, 'PC01')"));
    const QDate first(2025, 1, 1);
    for (int d = 0; d < days; ++d) {
        const QString date = first.addDays(d).toString(QStringLiteral("yyyy/MM/dd"));
        {
            Sqlite::Use use(day);
            day.bind(1, date);
            day.step();
        }
        for (int e = 0; e < perDay; ++e) {
            Sqlite::Use use(entry);
            entry.bind(1, date);
            entry.bind(2, 0.5 * (e % 7 + 1));
            entry.step();
        }
    }
    Sqlite::exec(daysDb.get(), QStringLiteral("COMMIT"));
    Sqlite::exec(entriesDb.get(), QStringLiteral("COMMIT"));
}

} // namespace Bench
