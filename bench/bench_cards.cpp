// A batch of 1000 cards written through the table store, every row durable when it is stored,
// against the floor that durability sets: 2000 bare SQLite commits (two stores a card) with the
// same synchronous writes, in the same run, on the same disk.
//
// Usage: bench_cards [directory]   (default: a temporary directory below the current one; keep
// it off tmpfs, where a synchronous write costs nothing)

#include "cards/CardNumber.h"
#include "cards/CardTable.h"
#include "install/InstallPaths.h"
#include "install/Tables.h"
#include "platform/AppError.h"
#include "platform/files/WinPath.h"
#include "platform/store/TableStore.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <sqlite3.h>

#include <cstdio>

namespace {

constexpr int BatchSize = 1000;

double writeCards()
{
    TableStore table;
    table.setAfterPost([&table] { table.FlushTable(); });
    Cards::useTempTable(table);
    table.MoveLast();
    Cards::CardRandom random;
    const Cards::CardOrder order{Cards::Categories[0], Cards::kinds()[0], QStringLiteral("0.5")};

    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < BatchSize; ++i)
        Cards::writeCard(table, random, order);
    const double ms = timer.nsecsElapsed() / 1e6;
    table.CloseTable();
    return ms;
}

void check(int rc, sqlite3* db, const char* what)
{
    if (rc != SQLITE_OK && rc != SQLITE_DONE && rc != SQLITE_ROW) {
        std::fprintf(stderr, "%s: %s\n", what, sqlite3_errmsg(db));
        std::exit(1);
    }
}

// The same two stores a card, each its own committed transaction, with nothing around them.
double bareCommits(const QString& file)
{
    sqlite3* db = nullptr;
    check(sqlite3_open(QFile::encodeName(file).constData(), &db), db, "open");
    check(sqlite3_exec(db, "PRAGMA synchronous=FULL", nullptr, nullptr, nullptr), db, "pragma");
    sqlite3_stmt* insert = nullptr;
    sqlite3_stmt* update = nullptr;
    check(sqlite3_prepare_v2(db, "INSERT INTO \"Card\" DEFAULT VALUES", -1, &insert, nullptr), db, "prepare");
    check(sqlite3_prepare_v2(db,
                             "UPDATE \"Card\" SET \"Time1\"=15, \"ReminTime\"=15, \"Kind\"='ألعاب', \"Cost\"=7.5, "
                             "\"Used\"='غير مستخدم', \"Num\"=?1 WHERE \"Auto\"=?2",
                             -1, &update, nullptr),
          db, "prepare");

    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < BatchSize; ++i) {
        check(sqlite3_step(insert), db, "insert");
        sqlite3_reset(insert);
        const sqlite3_int64 serial = sqlite3_last_insert_rowid(db);
        const QByteArray number = QByteArray::number(serial) + "QW1234E4G";
        sqlite3_bind_text(update, 1, number.constData(), int(number.size()), SQLITE_TRANSIENT);
        sqlite3_bind_int64(update, 2, serial);
        check(sqlite3_step(update), db, "update");
        sqlite3_reset(update);
    }
    const double ms = timer.nsecsElapsed() / 1e6;
    sqlite3_finalize(insert);
    sqlite3_finalize(update);
    sqlite3_close(db);
    return ms;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QString base = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QDir::currentPath();
    QTemporaryDir prefix(base + QStringLiteral("/bench_cards-XXXXXX"));
    if (!prefix.isValid()) {
        std::fprintf(stderr, "cannot make a directory below %s\n", qPrintable(base));
        return 1;
    }
    qputenv("QUORVEL_PREFIX", QFile::encodeName(prefix.path()));

    try {
        for (const QString& dir : {InstallPaths::TempCardDir, InstallPaths::CardDir})
            QDir().mkpath(WinPath::resolve(dir).localPath);
        Tables::create(Tables::tempCards());
        Tables::create(Tables::mainCards());

        const double cardsMs = writeCards();
        const double bareMs = bareCommits(WinPath::resolve(Tables::mainCards().windowsPath()).localPath);
        std::printf("batch of %d cards through the table store: %9.1f ms (%.2f ms a card)\n", BatchSize, cardsMs,
                    cardsMs / BatchSize);
        std::printf("%d bare SQLite commits, synchronous=FULL: %9.1f ms (%.2f ms a commit)\n", 2 * BatchSize, bareMs,
                    bareMs / (2 * BatchSize));
        std::printf("ratio store batch / bare commits: %.2f\n", cardsMs / bareMs);
    } catch (const AppError& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    return 0;
}
