// The windows at a café's real data sizes, driven offscreen with their grids shown, each against
// its floor measured in the same run on the same disk, reported as ratios. A disk's commits can
// take twice as long from one minute to the next, so the window's work and its floor are taken in
// turn, a few rounds each, and the ratio is of their sums (each round's ratio is shown too):
//   - "إحتساب " in the central control window over a year of entries, against one GROUP BY plus
//     one single-row durable commit a day;
//   - 1000 cards made in the card creator on the main table holding 0 and then 100 000 cards,
//     against 2000 bare durable commits on the same table;
//   - a walk of the main table (100 000 cards) through the grid's cursor, against stepping one
//     bare SELECT over the same rows.
//
// Usage: bench_windows [directory] [days=365] [entries a day=300] [cards held=100000] [parts]
// where parts is "all" (the default), "ledger" for the recompute alone, "cards" for the card
// batches and the walk, or "walk" for the walk alone.
// The tables go to a temporary directory below the given one (default: the current directory);
// keep it off tmpfs, where a synchronous write costs nothing.

#include "accounting/Ledger.h"
#include "accounting/ui/TFormControl.h"
#include "bench/BenchSupport.h"
#include "support/SampleCards.h"
#include "cards/ui/TForm2.h"
#include "platform/InstallPaths.h"
#include "platform/Sqlite.h"
#include "platform/TableFiles.h"
#include "platform/TableStore.h"
#include "platform/WinPath.h"
#include "platform/ui/Application.h"

#include <QDate>
#include <QDir>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>
#include <algorithm>
#include <functional>
#include <cstdio>
#include <ctime>

namespace {

using Bench::fillLedger;
using Bench::localPath;
using Bench::millis;

void report(const char* what, double ms, double floorMs, const char* floorWhat)
{
    std::printf("%-58s %9.1f ms | floor %-40s %9.1f ms | ratio %.2f\n", what, ms, floorWhat, floorMs, ms / floorMs);
}

constexpr int Rounds = 3;

// Runs the work and its floor in turn, Rounds times, the floor first every other round, and
// reports the sums; the work's time is the mean of its rounds.
void inTurn(const char* what, const char* floorWhat, const std::function<double()>& work, const std::function<double()>& floor)
{
    double workMs = 0;
    double floorMs = 0;
    QStringList ratios;
    for (int round = 0; round < Rounds; ++round) {
        double w = 0;
        double f = 0;
        if (round % 2) {
            f = floor();
            w = work();
        } else {
            w = work();
            f = floor();
        }
        workMs += w;
        floorMs += f;
        ratios.append(QStringLiteral("%1 (%2/%3 ms)").arg(w / f, 0, 'f', 2).arg(w, 0, 'f', 1).arg(f, 0, 'f', 1));
    }
    report(what, workMs / Rounds, floorMs / Rounds, floorWhat);
    std::printf("  (rounds: %s)\n", qPrintable(ratios.join(QStringLiteral(", "))));
}

// Lets the windows paint what the work left them to show.
void settle()
{
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
}

// ---- The ledger ---------------------------------------------------------------------------------

// Totals emptied, so the next recompute writes every day: SQLite writes nothing, and commits
// nothing, for a row stored again unchanged.
void forgetTotals()
{
    Sqlite::Connection days = Sqlite::open(localPath(InstallPaths::LedgerDir, QStringLiteral("SumDays.DB")), SQLITE_OPEN_READWRITE);
    Sqlite::exec(days.get(), QStringLiteral("UPDATE SumDays SET SumDay = NULL"));
}

// The same totals without a cursor: one GROUP BY, then every day's total in one durable commit.
double recomputeFloor()
{
    forgetTotals();
    return millis([] {
        Sqlite::Connection entries = Sqlite::open(localPath(InstallPaths::LedgerDir, QStringLiteral("DetailDays.DB")), SQLITE_OPEN_READONLY);
        Sqlite::Connection days = Sqlite::open(localPath(InstallPaths::LedgerDir, QStringLiteral("SumDays.DB")), SQLITE_OPEN_READWRITE);
        Sqlite::exec(days.get(), QStringLiteral("PRAGMA synchronous=FULL"));
        QList<QPair<QString, double>> sums;
        {
            Sqlite::Statement sum(entries.get(), QStringLiteral("SELECT DateDay2, SUM(Cost) FROM DetailDays GROUP BY DateDay2"));
            while (sum.step())
                sums.append({sum.text(0), sum.real(1)});
        }
        Sqlite::exec(days.get(), QStringLiteral("BEGIN"));
        {
            Sqlite::Statement update(days.get(), QStringLiteral("UPDATE SumDays SET SumDay = ? WHERE DateDay = ?"));
            for (const auto& [date, total] : std::as_const(sums)) {
                Sqlite::Use use(update);
                update.bind(1, total + 1);
                update.bind(2, date);
                update.step();
            }
        }
        Sqlite::exec(days.get(), QStringLiteral("COMMIT"));
    });
}

void ledger(int days, int perDay)
{
    fillLedger(days, perDay);
    Ledger ledgerTables;
    TFormControl window(ledgerTables);
    window.openWindow();
    settle();
    auto* recompute = window.findChild<QPushButton*>(QStringLiteral("BitBtn12"));
    char what[100];
    std::snprintf(what, sizeof what, "recompute %d days x %d entries in TFormControl", days, perDay);
    char floorWhat[100];
    std::snprintf(floorWhat, sizeof floorWhat, "GROUP BY + %d totals, one commit", days);
    inTurn(what, floorWhat,
           [&] {
               forgetTotals();
               settle();
               return millis([&] {
                   recompute->click();
                   settle();
               });
           },
           recomputeFloor);
}

// ---- The cards ----------------------------------------------------------------------------------

constexpr int Batch = 1000;

// Takes the main table back to its first cards, as another program would.
void keepFirstCards(int held)
{
    Sqlite::Connection db = Sqlite::open(localPath(InstallPaths::CardDir, QStringLiteral("Card.db")), SQLITE_OPEN_READWRITE);
    Sqlite::Statement remove(db.get(), QStringLiteral("DELETE FROM Card WHERE Auto NOT IN (SELECT Auto FROM Card ORDER BY Auto LIMIT ?)"));
    remove.bind(1, held);
    remove.step();
}

// One single-row durable commit a card, the least a durable card costs, on the main table's file
// as it stands for the batch (in WAL mode, as the store keeps it); the rows are taken away again.
double bareCommits(int held)
{
    double ms = 0;
    {
        Sqlite::Connection db = Sqlite::open(localPath(InstallPaths::CardDir, QStringLiteral("Card.db")), SQLITE_OPEN_READWRITE);
        Sqlite::exec(db.get(), QStringLiteral("PRAGMA journal_mode=WAL; PRAGMA synchronous=FULL"));
        Sqlite::Statement insert(db.get(), QStringLiteral("INSERT INTO Card (Time1, ReminTime, Kind, Cost, Used, Num) "
                                                          "VALUES (15, 15, 'k', 7.5, 'u', ?)"));
        ms = millis([&] {
            for (int i = 0; i < Batch; ++i) {
                Sqlite::Use use(insert);
                insert.bind(1, QStringLiteral("%1QW1234E4G").arg(i));
                insert.step();
            }
        });
    }
    keepFirstCards(held);
    return ms;
}

double cpuMillis()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) / 1e6;
}

// The wall time of a batch on the main table holding the given number of cards; the batch's cards
// are taken away again, so each round starts alike. The processor time it
// took, which the disk's waits do not sway, is added up.
double cardBatch(TForm2& form, int held, double& cpuMs)
{
    form.findChild<QLineEdit*>(QStringLiteral("Edit1"))->setText(QString::number(Batch));
    auto* generate = form.findChild<QPushButton*>(QStringLiteral("BitBtn1"));
    const double cpuBefore = cpuMillis();
    const double ms = millis([&] {
        generate->click();
        settle();
    });
    cpuMs += cpuMillis() - cpuBefore;
    keepFirstCards(held);
    return ms;
}

void batches(TForm2& form, int held)
{
    double cpuMs = 0;
    char what[100];
    std::snprintf(what, sizeof what, "1000 cards in TForm2, main table holding %d", held);
    inTurn(what, "1000 single-row durable WAL commits", [&] { return cardBatch(form, held, cpuMs); },
           [&] { return bareCommits(held); });
    std::printf("  (a batch took %.1f ms of processor time)\n", cpuMs / Rounds);
}

// A walk through the cursor the grid follows, against one SELECT stepped over the same rows. A
// walk takes tens of milliseconds, which other work on a shared machine sways by as much: each
// is run a few times, in turn with its floors, and the fastest run of each is compared.
void walk(TForm2& form)
{
    constexpr int Runs = 5;
    TableStore* table = form.table1();
    qint64 rows = 0;
    qint64 bareRows = 0;
    double storeMs = 0;
    double bareMs = 0;
    double everyFieldMs = 0;
    auto fastest = [](double& best, double ms) { best = best > 0 ? std::min(best, ms) : ms; };
    for (int run = 0; run < Runs; ++run) {
        rows = 0;
        fastest(storeMs, millis([&] {
            for (table->MoveFirst(); !table->AtEnd(); table->MoveNext()) {
                table->GetFieldText(QStringLiteral("Num"));
                ++rows;
            }
            settle();
        }));
        bareRows = 0;
        fastest(bareMs, millis([&] {
            Sqlite::Connection db = Sqlite::open(localPath(InstallPaths::CardDir, QStringLiteral("Card.db")), SQLITE_OPEN_READONLY);
            Sqlite::Statement select(db.get(), QStringLiteral("SELECT Auto, Num FROM Card ORDER BY Auto"));
            while (select.step()) {
                select.text(1);
                ++bareRows;
            }
        }));
        // The cursor holds every field of its row; the same SELECT reading them all, for comparison.
        fastest(everyFieldMs, millis([&] {
            Sqlite::Connection db = Sqlite::open(localPath(InstallPaths::CardDir, QStringLiteral("Card.db")), SQLITE_OPEN_READONLY);
            Sqlite::Statement select(db.get(), QStringLiteral("SELECT * FROM Card ORDER BY Auto"));
            while (select.step()) {
                for (int c = 0; c < 8; ++c)
                    select.text(c);
            }
        }));
    }
    char what[100];
    std::snprintf(what, sizeof what, "walk of %lld cards, grid attached (fastest of %d)", rows, Runs);
    report(what, storeMs, bareMs, "one bare SELECT walk");
    report("  the same walk", storeMs, everyFieldMs, "one bare SELECT walk, every field read");
    if (rows != bareRows)
        std::printf("  (the cursor saw %lld rows, the SELECT %lld)\n", rows, bareRows);
}

void cards(int held, bool withBatches)
{
    TForm2 form;
    form.show();
    form.findChild<QPushButton*>(QStringLiteral("Button2"))->click();
    settle();

    if (withBatches)
        batches(form, 0);
    form.findChild<QPushButton*>(QStringLiteral("Button1"))->click();
    appendCards(localPath(InstallPaths::CardDir, QStringLiteral("Card.db")), held);
    form.findChild<QPushButton*>(QStringLiteral("Button2"))->click();
    settle();
    if (withBatches)
        batches(form, held);
    walk(form);
}

} // namespace

int main(int argc, char** argv)
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    const QString base = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QDir::currentPath();
    QTemporaryDir prefix(base + QStringLiteral("/bench_windows-XXXXXX"));
    if (!prefix.isValid()) {
        std::fprintf(stderr, "cannot make a directory below %s\n", qPrintable(base));
        return 1;
    }
    qputenv("QUORVEL_PREFIX", QFile::encodeName(prefix.path()));
    Application app(argc, argv, QStringLiteral("QuorvelServer"));
    const int days = argc > 2 ? atoi(argv[2]) : 365;
    const int perDay = argc > 3 ? atoi(argv[3]) : 300;
    const int held = argc > 4 ? atoi(argv[4]) : 100000;
    const QByteArray parts = argc > 5 ? QByteArray(argv[5]) : QByteArrayLiteral("all");
    if (parts != "all" && parts != "ledger" && parts != "cards" && parts != "walk") {
        std::fprintf(stderr, "parts must be all, ledger, cards or walk, not %s\n", parts.constData());
        return 2;
    }

    try {
        for (const QString& dir : {InstallPaths::LedgerDir, InstallPaths::CardDir, InstallPaths::TempCardDir})
            QDir().mkpath(WinPath::resolve(dir).localPath);
        TableFiles::create(InstallPaths::LedgerDir, TableFiles::ledgerDays());
        TableFiles::create(InstallPaths::LedgerDir, TableFiles::ledgerEntries());
        TableFiles::create(InstallPaths::CardDir, TableFiles::mainCards());
        TableFiles::create(InstallPaths::TempCardDir, TableFiles::tempCards());
        std::printf("tables in %s (SQLite %s, WAL, synchronous=FULL)\n", qPrintable(prefix.path()), sqlite3_libversion());

        if (parts == "all" || parts == "ledger")
            ledger(days, perDay);
        if (parts != "ledger")
            cards(held, parts != "walk");
    } catch (const AppError& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}
