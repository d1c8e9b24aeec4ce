// Measures the ledger on a year of business (365 days of 300 entries), in one run on one disk:
//   - recomputing the daily totals through the table store, against one SQL GROUP BY over the
//     same file (the floor: the same sums without a cursor);
//   - opening the central control window on that ledger (first page of both grids shown).
// Usage: bench_ledger [days, default 365] [entries a day, default 300]

#include "accounting/Ledger.h"
#include "accounting/ui/TFormControl.h"
#include "platform/InstallPaths.h"
#include "bench/BenchSupport.h"
#include "platform/Sqlite.h"
#include "platform/TableFiles.h"
#include "platform/ui/Application.h"
#include "platform/WinPath.h"

#include <QDir>
#include <QElapsedTimer>
#include <QTableView>
#include <QTemporaryDir>
#include <cstdio>
#include <sqlite3.h>

namespace {

using Bench::millis;

void exec(sqlite3* db, const char* sql)
{
    char* error = nullptr;
    if (sqlite3_exec(db, sql, nullptr, nullptr, &error) != SQLITE_OK)
        qFatal("%s", error);
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QTemporaryDir prefix;
    qputenv("QUORVEL_PREFIX", QFile::encodeName(prefix.path()));
    Application app(argc, argv, QStringLiteral("QuorvelServer"));
    const int days = argc > 1 ? atoi(argv[1]) : 365;
    const int perDay = argc > 2 ? atoi(argv[2]) : 300;

    const QString dir = WinPath::resolve(InstallPaths::LedgerDir).localPath;
    QDir().mkpath(dir);
    TableFiles::create(InstallPaths::LedgerDir, TableFiles::ledgerDays());
    TableFiles::create(InstallPaths::LedgerDir, TableFiles::ledgerEntries());

    sqlite3* daysDb = nullptr;
    sqlite3* entriesDb = nullptr;
    sqlite3_open(QFile::encodeName(dir + "/SumDays.DB").constData(), &daysDb);
    sqlite3_open(QFile::encodeName(dir + "/DetailDays.DB").constData(), &entriesDb);
    exec(daysDb, "BEGIN");
    exec(entriesDb, "BEGIN");
    sqlite3_stmt* day = nullptr;
    sqlite3_stmt* entry = nullptr;
    sqlite3_prepare_v2(daysDb, "INSERT INTO SumDays (DateDay) VALUES (?1)", -1, &day, nullptr);
    sqlite3_prepare_v2(entriesDb,
                       "INSERT INTO DetailDays (DateDay2, StartOperation, TimeOperation, KandOperation, Cost, Computer) "
                       "VALUES (?1, '10:00:00', 15, 'G', ?2, 'PC01')",
                       -1, &entry, nullptr);
    const QDate first(2025, 1, 1);
    for (int d = 0; d < days; ++d) {
        const QByteArray date = first.addDays(d).toString("yyyy/MM/dd").toLatin1();
        sqlite3_bind_text(day, 1, date.constData(), -1, SQLITE_TRANSIENT);
        sqlite3_step(day);
        sqlite3_reset(day);
        for (int e = 0; e < perDay; ++e) {
            sqlite3_bind_text(entry, 1, date.constData(), -1, SQLITE_TRANSIENT);
            sqlite3_bind_double(entry, 2, 0.5 * (e % 7 + 1));
            sqlite3_step(entry);
            sqlite3_reset(entry);
        }
    }
    sqlite3_finalize(day);
    sqlite3_finalize(entry);
    exec(daysDb, "COMMIT");
    exec(entriesDb, "COMMIT");
    sqlite3_close(daysDb);

    // Floor: the same sums in one statement over the same file.
    double floorSum = 0;
    const double floorMs = millis([&] {
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(entriesDb, "SELECT DateDay2, SUM(Cost) FROM DetailDays GROUP BY DateDay2", -1, &st, nullptr);
        while (sqlite3_step(st) == SQLITE_ROW)
            floorSum += sqlite3_column_double(st, 1);
        sqlite3_finalize(st);
    });
    sqlite3_close(entriesDb);

    Ledger ledger;
    ledger.open();
    const double recomputeMs = millis([&] { ledger.recompute(); });
    ledger.close();

    TFormControl window(ledger);
    const double openMs = millis([&] {
        window.openWindow();
        QCoreApplication::processEvents();
        window.findChild<QTableView*>("DBGrid2")->model()->index(0, 0).data();
    });

    std::printf("ledger of %d days x %d entries\n", days, perDay);
    std::printf("recompute through the store: %9.1f ms\n", recomputeMs);
    std::printf("GROUP BY floor:              %9.1f ms   ratio %.1f\n", floorMs, recomputeMs / floorMs);
    std::printf("open the window:             %9.1f ms\n", openMs);
    return 0;
}
