#pragma once

// What the benchmarks share: a stopwatch and tables filled straight through SQLite.

#include "platform/Sqlite.h"

#include <QElapsedTimer>
#include <QList>
#include <QString>

#include <algorithm>

namespace Bench {

template<typename F>
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

// Appends rows to the main card table's file in one transaction, numbered from 1 as the
// generator numbers them.
inline void fillCards(const QString& path, int rows)
{
    Sqlite::Connection db = Sqlite::open(path, SQLITE_OPEN_READWRITE);
    Sqlite::exec(db.get(), QStringLiteral("BEGIN"));
    Sqlite::Statement insert(db.get(), QStringLiteral("INSERT INTO Card (Num, Time1, Used, ReminTime, Cost, Kind) "
                                                      "VALUES (?, 15, 'x', 15, 7.5, 'y')"));
    for (int i = 0; i < rows; ++i) {
        Sqlite::Use use(insert);
        insert.bind(1, QStringLiteral("%1AB1234C1G").arg(i + 1));
        insert.step();
    }
    Sqlite::exec(db.get(), QStringLiteral("COMMIT"));
}

} // namespace Bench
