// Measures the ledger on a year of business (365 days of 300 entries), in one run on one disk:
//   - recomputing the daily totals through the table store, against one SQL GROUP BY over the
//     same file (the floor: the same sums without a cursor);
//   - opening the central control window on that ledger (first page of both grids shown).
// Usage: bench_ledger [days, default 365] [entries a day, default 300]

#include "accounting/Ledger.h"
#include "accounting/ui/ControlWindow.h"
#include "bench/BenchSupport.h"
#include "install/InstallPaths.h"
#include "install/Tables.h"
#include "platform/files/WinPath.h"
#include "platform/store/Sqlite.h"
#include "platform/ui/Application.h"

#include <QDir>
#include <QElapsedTimer>
#include <QTableView>
#include <QTemporaryDir>
#include <cstdio>
#include <sqlite3.h>

namespace {

using Bench::millis;

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
    Tables::create(Tables::ledgerDays());
    Tables::create(Tables::ledgerEntries());

    Bench::fillLedger(days, perDay);

    // Floor: the same sums in one statement over the same file.
    double floorSum = 0;
    Sqlite::Connection entriesDb = Sqlite::open(WinPath::resolve(Tables::ledgerEntries().windowsPath()).localPath,
                                                SQLITE_OPEN_READONLY);
    const double floorMs = millis([&] {
        Sqlite::Statement sums(entriesDb.get(), QStringLiteral("SELECT DateDay2, SUM(Cost) FROM DetailDays GROUP BY DateDay2"));
        while (sums.step())
            floorSum += sums.real(1);
    });

    Ledger ledger;
    ledger.open();
    const double recomputeMs = millis([&] { ledger.recompute(); });
    ledger.close();

    ControlWindow window(ledger);
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
