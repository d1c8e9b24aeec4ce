// Measures what the table store costs over bare SQLite, in one run on one disk:
//   - one stored card row (InsertRow, PostRow, FlushTable) against one INSERT committed on its own
//     with the same synchronous writes;
//   - a walk in key order over 100 000 rows, by the primary key and by a secondary index with
//     ties, against stepping one SELECT over the same rows, and against one seek statement a row
//     (each statement takes and drops the file's shared lock, as every move of the store does);
//   - what a grid over a million rows asks: open, row count, a page at the top and at the bottom.
// Usage: bench_tablestore [rows stored, default 200]

#include "bench/BenchSupport.h"
#include "install/InstallPaths.h"
#include "install/Tables.h"
#include "platform/files/WinPath.h"
#include "platform/store/Sqlite.h"
#include "platform/store/TableStore.h"
#include "support/SampleCards.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>

namespace {

using Bench::localPath;
using Bench::millis;

void storedRows(int rounds)
{
    const QString bareFile = localPath(Tables::tempCards());
    TableStore table;
    table.setAfterPost([&] { table.FlushTable(); });
    table.OpenTable(Tables::mainCards().directory, Tables::mainCards().fileName);
    Sqlite::Connection bare = Sqlite::open(bareFile, SQLITE_OPEN_READWRITE);
    Sqlite::exec(bare.get(), QStringLiteral("PRAGMA synchronous=FULL"));
    Sqlite::Statement insert(bare.get(), QStringLiteral("INSERT INTO Card1 (Num) VALUES (?)"));

    // Alternating keeps both sides under the same disk weather.
    QList<double> store, raw;
    for (int i = 0; i < rounds; ++i) {
        store.append(millis([&] {
            table.InsertRow();
            table.SetFieldText(QStringLiteral("Num"), QStringLiteral("N%1").arg(i));
            table.PostRow();
        }));
        raw.append(millis([&] {
            Sqlite::Use use(insert);
            insert.bind(1, QStringLiteral("N%1").arg(i));
            insert.step();
        }));
    }
    std::printf("one stored row, median of %d: store %.3f ms, bare insert+commit %.3f ms, ratio %.2f\n", rounds,
                Bench::median(store), Bench::median(raw), Bench::median(store) / Bench::median(raw));
}

// bareSql walks all rows in one statement; seekSql finds the one row after (?1 key, ?2 row id)
// and yields row id, field, key, as a cursor that holds no lock between moves has to.
void walk(const Tables::Table& place, const QString& index, const QString& field, const QString& bareSql, const QString& seekSql)
{
    TableStore table;
    table.setIndexName(index);
    table.OpenTable(place.directory, place.fileName);
    qint64 rows = 0;
    const double store = millis([&] {
        for (table.MoveFirst(); !table.AtEnd(); table.MoveNext()) {
            table.GetFieldText(field);
            ++rows;
        }
    });
    table.CloseTable();

    Sqlite::Connection db = Sqlite::open(localPath(place), SQLITE_OPEN_READONLY);
    qint64 bareRows = 0;
    const double raw = millis([&] {
        Sqlite::Statement select(db.get(), bareSql);
        while (select.step()) {
            select.text(1);
            ++bareRows;
        }
    });
    qint64 seekRows = 0;
    const double seeks = millis([&] {
        Sqlite::Statement seek(db.get(), seekSql);
        QVariant key = QString(), rowId = 0;
        for (;;) {
            Sqlite::Use use(seek);
            seek.bind(1, key);
            seek.bind(2, rowId);
            if (!seek.step())
                break;
            seek.text(1);
            rowId = seek.int64(0);
            key = seek.text(2);
            ++seekRows;
        }
    });
    std::printf("walk of %lld rows by %s: store %.1f ms (%.2f us a row); bare one-SELECT walk %.1f ms, ratio %.1f; "
                "bare seek per row %.1f ms, ratio %.2f\n",
                rows, qPrintable(index.isEmpty() ? QStringLiteral("primary key") : index), store, store * 1000 / double(rows),
                raw, store / raw, seeks, store / seeks);
    if (rows != bareRows || rows != seekRows)
        std::printf("  (the store saw %lld rows, the SELECT %lld, the seeks %lld)\n", rows, bareRows, seekRows);
}

void fillEntries(int rows, int perDay)
{
    Sqlite::Connection db = Sqlite::open(localPath(Tables::ledgerEntries()), SQLITE_OPEN_READWRITE);
    Sqlite::exec(db.get(), QStringLiteral("BEGIN"));
    Sqlite::Statement insert(db.get(),
                             QStringLiteral("INSERT INTO DetailDays (DateDay2, Computer, Cost) VALUES (?, 'PC01', 7.5)"));
    for (int i = 0; i < rows; ++i) {
        Sqlite::Use use(insert);
        // Days inserted out of order, so the index order is not the storage order.
        insert.bind(1, QStringLiteral("day%1").arg((i * 7919) % (rows / perDay), 5, 10, QLatin1Char('0')));
        insert.step();
    }
    Sqlite::exec(db.get(), QStringLiteral("COMMIT"));
}

void grid(int rows)
{
    const QString path = localPath(Tables::mainCards());
    QFile::remove(path);
    Tables::create(Tables::mainCards());
    appendCards(path, rows);

    TableStore table;
    qint64 count = 0;
    const double open = millis([&] { table.OpenTable(Tables::mainCards().directory, Tables::mainCards().fileName); });
    const double counting = millis([&] { count = table.rowCount(); });
    const double top = millis([&] { table.rows(0, 50); });
    const double bottom = millis([&] { table.rows(count - 50, 50); });
    qint64 position = 0;
    const double middle = millis([&] {
        table.moveTo(count / 2);
        position = table.currentPosition();
    });
    const double last = millis([&] { table.MoveLast(); });
    std::printf("grid over %lld rows: open %.2f ms, row count %.1f ms, top page %.2f ms, bottom page %.1f ms, "
                "move to the middle and read its place (%lld) %.1f ms, MoveLast %.2f ms\n",
                count, open, counting, top, bottom, position, middle, last);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int rounds = argc > 1 ? std::max(3, QString::fromLocal8Bit(argv[1]).toInt()) : 200;
    QTemporaryDir prefix;
    qputenv("QUORVEL_PREFIX", QFile::encodeName(prefix.path()));
    for (const Tables::Table* table : {&Tables::ledgerEntries(), &Tables::mainCards(), &Tables::tempCards()}) {
        QDir().mkpath(WinPath::resolve(table->directory).localPath);
        Tables::create(*table);
    }
    std::printf("tables in %s (SQLite %s, synchronous=FULL, rollback journal)\n", qPrintable(prefix.path()),
                sqlite3_libversion());

    storedRows(rounds);

    appendCards(localPath(Tables::mainCards()), 100000 - rounds);
    walk(Tables::mainCards(), QString(), Tables::CardField::Number, QStringLiteral("SELECT rowid, Num FROM Card ORDER BY rowid"),
         QStringLiteral("SELECT rowid, Num, rowid FROM Card WHERE rowid > ?2 ORDER BY rowid LIMIT 1"));
    fillEntries(100000, 50);
    walk(Tables::ledgerEntries(), Tables::EntryField::DayIndex, Tables::EntryField::Station,
         QStringLiteral("SELECT rowid, Computer FROM DetailDays ORDER BY DateDay2, rowid"),
         QStringLiteral("SELECT rowid, Computer, DateDay2 FROM DetailDays WHERE (DateDay2, rowid) > (?1, ?2) "
                        "ORDER BY DateDay2, rowid LIMIT 1"));

    grid(1000000);
    return 0;
}
