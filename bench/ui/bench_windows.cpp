// The windows at a café's real data sizes, driven offscreen with their grids shown, each against
// its floor measured in the same run on the same disk, reported as ratios. A disk's commits can
// take twice as long from one minute to the next, so the window's work and its floor are taken in
// turn, a few rounds each, and the ratio is of their sums (each round's ratio is shown too):
//   - "إحتساب " in the central control window over a year of entries, against one GROUP BY plus
//     one single-row durable commit a day;
//   - 1000 cards made in the card creator on the main table holding 0 and then 100 000 cards,
//     against 2000 bare durable commits on the same table;
//   - opening a session in the main window on a simulated station, each on a new day over that
//     year of entries, so the bill stores its day and its entry, against those two single-row
//     durable commits;
//   - a walk of the main table (100 000 cards) through the grid's cursor, against stepping one
//     bare SELECT over the same rows.
//
// Usage: bench_windows [directory] [days=365] [entries a day=300] [cards held=100000] [parts]
// where parts is "all" (the default), "ledger" for the recompute alone, "bill" for the openings
// alone, "cards" for the card batches and the walk, or "walk" for the walk alone.
// The tables go to a temporary directory below the given one (default: the current directory);
// keep it off tmpfs, where a synchronous write costs nothing.

#include "accounting/Ledger.h"
#include "accounting/ui/ControlWindow.h"
#include "app/ui/Console.h"
#include "app/ui/MainWindow.h"
#include "app/ui/ModeChooser.h"
#include "bench/BenchSupport.h"
#include "cards/ui/CardCreatorWindow.h"
#include "install/InstallPaths.h"
#include "install/Tables.h"
#include "platform/Clock.h"
#include "platform/Regional.h"
#include "platform/files/WinFile.h"
#include "platform/files/WinPath.h"
#include "platform/store/Sqlite.h"
#include "platform/store/TableStore.h"
#include "platform/ui/Application.h"
#include "platform/ui/MessageBoxes.h"
#include "stations/CommandChannel.h"
#include "stations/ui/StationRow.h"
#include "support/SampleCards.h"

#include <QComboBox>
#include <QDate>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <functional>

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
    Sqlite::Connection days = Sqlite::open(localPath(Tables::ledgerDays()), SQLITE_OPEN_READWRITE);
    Sqlite::exec(days.get(), QStringLiteral("UPDATE SumDays SET SumDay = NULL"));
}

// The same totals without a cursor: one GROUP BY, then every day's total in one durable commit.
double recomputeFloor()
{
    forgetTotals();
    return millis([] {
        Sqlite::Connection entries = Sqlite::open(localPath(Tables::ledgerEntries()), SQLITE_OPEN_READONLY);
        Sqlite::Connection days = Sqlite::open(localPath(Tables::ledgerDays()), SQLITE_OPEN_READWRITE);
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
    Ledger ledgerTables;
    ControlWindow window(ledgerTables);
    window.openWindow();
    settle();
    auto* recompute = window.findChild<QPushButton*>(QStringLiteral("BitBtn12"));
    char what[100];
    std::snprintf(what, sizeof what, "recompute %d days x %d entries in ControlWindow", days, perDay);
    char floorWhat[100];
    std::snprintf(floorWhat, sizeof floorWhat, "GROUP BY + %d totals, one commit", days);
    inTurn(
        what, floorWhat,
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

// ---- A session's bill ----------------------------------------------------------------------------

constexpr int Openings = 40;

void writeInstallFile(const QString& windowsPath, const QByteArray& bytes)
{
    const QString path = WinPath::resolve(windowsPath).localPath;
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        throw AppError(QStringLiteral("cannot write %1").arg(path));
}

// The day after the filled year and the rounds before, so each bill stores a new day.
QDate nextBillDay(int days)
{
    static int billed = 0;
    return QDate(2025, 1, 1).addDays(days + billed++);
}

// A bill's two stores without a cursor: a new day and its entry, each one durable commit.
double billFloor(int days)
{
    Sqlite::Connection daysDb = Sqlite::open(localPath(Tables::ledgerDays()), SQLITE_OPEN_READWRITE);
    Sqlite::Connection entriesDb = Sqlite::open(localPath(Tables::ledgerEntries()), SQLITE_OPEN_READWRITE);
    for (sqlite3* db : {daysDb.get(), entriesDb.get()})
        Sqlite::exec(db, QStringLiteral("PRAGMA synchronous=FULL"));
    Sqlite::Statement day(daysDb.get(), QStringLiteral("INSERT INTO SumDays (DateDay) VALUES (?)"));
    Sqlite::Statement entry(
        entriesDb.get(),
        QStringLiteral("INSERT INTO DetailDays (DateDay2, StartOperation, TimeOperation, KandOperation, Cost, Computer) "
                       "VALUES (?, '10:00:00', 15, 'G', 7.5, 'PC0')"));
    return millis([&] {
        for (int i = 0; i < Openings; ++i) {
            const QString date = Regional::shortDate(nextBillDay(days));
            Sqlite::Use useDay(day);
            day.bind(1, date);
            day.step();
            Sqlite::Use useEntry(entry);
            entry.bind(1, date);
            entry.step();
        }
    });
}

// What an opening must flush as this console keeps its promises, without a cursor or a window:
// the ledger's two files opened, a new day and its entry stored, both files closed again (the
// ledger is closed around each opening), and the journal of sessions replaced.
double openingFloor(int days)
{
    return millis([&] {
        for (int i = 0; i < Openings; ++i) {
            const QString date = Regional::shortDate(nextBillDay(days));
            for (const auto& [table, sql] :
                 {std::pair{&Tables::ledgerDays(), QStringLiteral("INSERT INTO SumDays (DateDay) VALUES (?)")},
                  std::pair{&Tables::ledgerEntries(),
                            QStringLiteral("INSERT INTO DetailDays (DateDay2, Cost, Computer) VALUES (?, 7.5, 'PC0')")}}) {
                Sqlite::Connection db = Sqlite::open(localPath(*table), SQLITE_OPEN_READWRITE);
                Sqlite::exec(db.get(), QStringLiteral("PRAGMA synchronous=FULL"));
                Sqlite::Statement insert(db.get(), sql);
                insert.bind(1, date);
                insert.step();
            }
            WinFile::replace(InstallPaths::InstallRoot + QStringLiteral("\\Data\\Floor.journal"),
                             QByteArrayLiteral("0\t2026-12-11T10:15:00Z\t15\t0\n"));
        }
    });
}

void bills(int days, int perDay)
{
    writeInstallFile(InstallPaths::TariffFile, "0.5\r\n0.25");
    writeInstallFile(InstallPaths::InstallRoot + QStringLiteral("\\") + InstallPaths::RosterFile, "PC0");
    // The roster is read from the current directory, which a shortcut sets to the install.
    QDir::setCurrent(WinPath::resolve(InstallPaths::InstallRoot).localPath);
    QDir().mkpath(qEnvironmentVariable("QUORVEL_PREFIX") + QStringLiteral("/unc/PC0"));
    writeInstallFile(CommandChannel::commandFilePath(QStringLiteral("PC0")), InstallPaths::RestingCommandFile);
    writeInstallFile(CommandChannel::probeFilePath(QStringLiteral("PC0")), QByteArray());
    MessageBoxes::setRecorderForTests([](const MessageBoxes::Shown& box) {
        std::fprintf(stderr, "unexpected message: %s\n", qPrintable(box.text));
        std::exit(1);
    });
    Console console;
    console.form6()->show();
    console.form6()->BitBtn3Click();
    settle();
    StationRow& row = console.form1()->row(0);
    row.gamesChoice()->setChecked(true);
    row.minutesBox()->setCurrentText(QStringLiteral("15"));
    // Each opening on a new day; the session is stopped again, untimed, before the next.
    auto openings = [&] {
        double ms = 0;
        for (int i = 0; i < Openings; ++i) {
            Clock::setFixed(QDateTime(nextBillDay(days), QTime(10, 0)));
            ms += millis([&] {
                QTest::mouseClick(row.openButton(), Qt::LeftButton);
                settle();
            });
            QTest::mouseClick(row.timeStopButton(), Qt::LeftButton);
        }
        return ms;
    };
    char what[100];
    std::snprintf(what, sizeof what, "%d openings in MainWindow, a bill each (%d x %d entries)", Openings, days, perDay);
    inTurn(what, "a new day and its entry, two commits each", openings, [&] { return billFloor(days); });
    inTurn("  the same openings", "the same, files opened and closed, journal", openings, [&] { return openingFloor(days); });
    Clock::setFixed({});
    MessageBoxes::setRecorderForTests({});
}

// ---- The cards ----------------------------------------------------------------------------------

constexpr int Batch = 1000;

// Takes the main table back to its first cards, as another program would.
void keepFirstCards(int held)
{
    Sqlite::Connection db = Sqlite::open(localPath(Tables::mainCards()), SQLITE_OPEN_READWRITE);
    Sqlite::Statement remove(db.get(),
                             QStringLiteral("DELETE FROM Card WHERE Auto NOT IN (SELECT Auto FROM Card ORDER BY Auto LIMIT ?)"));
    remove.bind(1, held);
    remove.step();
}

// One single-row durable commit a card, the least a durable card costs, on the main table's file
// as it stands for the batch (in WAL mode, as the store keeps it); the rows are taken away again.
double bareCommits(int held)
{
    double ms = 0;
    {
        Sqlite::Connection db = Sqlite::open(localPath(Tables::mainCards()), SQLITE_OPEN_READWRITE);
        Sqlite::exec(db.get(), QStringLiteral("PRAGMA journal_mode=WAL; PRAGMA synchronous=FULL"));
        Sqlite::Statement insert(db.get(),
                                 QStringLiteral("INSERT INTO Card (Time1, ReminTime, Kind, Cost, Used, Num) "
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
double cardBatch(CardCreatorWindow& form, int held, double& cpuMs)
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

void batches(CardCreatorWindow& form, int held)
{
    double cpuMs = 0;
    char what[100];
    std::snprintf(what, sizeof what, "1000 cards in CardCreatorWindow, main table holding %d", held);
    inTurn(
        what, "1000 single-row durable WAL commits", [&] { return cardBatch(form, held, cpuMs); },
        [&] { return bareCommits(held); });
    std::printf("  (a batch took %.1f ms of processor time)\n", cpuMs / Rounds);
}

// A walk through the cursor the grid follows, against one SELECT stepped over the same rows. A
// walk takes tens of milliseconds, which other work on a shared machine sways by as much: each
// is run a few times, in turn with its floors, and the fastest run of each is compared.
void walk(CardCreatorWindow& form)
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
                    Sqlite::Connection db = Sqlite::open(localPath(Tables::mainCards()), SQLITE_OPEN_READONLY);
                    Sqlite::Statement select(db.get(), QStringLiteral("SELECT Auto, Num FROM Card ORDER BY Auto"));
                    while (select.step()) {
                        select.text(1);
                        ++bareRows;
                    }
                }));
        // The cursor holds every field of its row; the same SELECT reading them all, for comparison.
        fastest(everyFieldMs, millis([&] {
                    Sqlite::Connection db = Sqlite::open(localPath(Tables::mainCards()), SQLITE_OPEN_READONLY);
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
    CardCreatorWindow form;
    form.show();
    form.findChild<QPushButton*>(QStringLiteral("Button2"))->click();
    settle();

    if (withBatches)
        batches(form, 0);
    form.findChild<QPushButton*>(QStringLiteral("Button1"))->click();
    appendCards(localPath(Tables::mainCards()), held);
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
    if (parts != "all" && parts != "ledger" && parts != "bill" && parts != "cards" && parts != "walk") {
        std::fprintf(stderr, "parts must be all, ledger, bill, cards or walk, not %s\n", parts.constData());
        return 2;
    }

    try {
        for (const QString& dir : {InstallPaths::LedgerDir, InstallPaths::CardDir, InstallPaths::TempCardDir})
            QDir().mkpath(WinPath::resolve(dir).localPath);
        Tables::create(Tables::ledgerDays());
        Tables::create(Tables::ledgerEntries());
        Tables::create(Tables::mainCards());
        Tables::create(Tables::tempCards());
        std::printf("tables in %s (SQLite %s, WAL, synchronous=FULL)\n", qPrintable(prefix.path()), sqlite3_libversion());

        if (parts == "all" || parts == "ledger" || parts == "bill")
            fillLedger(days, perDay);
        if (parts == "all" || parts == "ledger")
            ledger(days, perDay);
        if (parts == "all" || parts == "bill")
            bills(days, perDay);
        if (parts == "all" || parts == "cards" || parts == "walk")
            cards(held, parts != "walk");
    } catch (const AppError& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}
