// Measures what importing an old ledger costs over bare SQLite, in one run on one disk: reading
// 100 000 entries from a Paradox table (checks, pxlib, code page) and writing them in one
// transaction, against inserting the same rows, already in memory, in one transaction with the
// same synchronous writes.
// Usage: bench_import [entries, default 100000] [rounds, default 5]

#include "bench/BenchSupport.h"
#include "install/InstallPaths.h"
#include "install/Tables.h"
#include "platform/files/WinPath.h"
#include "platform/formats/ParadoxTable.h"
#include "platform/store/Sqlite.h"
#include "support/ParadoxWriter.h"
#include "support/TestPrefix.h"
#include "tools/DataImport.h"

#include <QCoreApplication>
#include <QFile>
#include <cstdio>

namespace {

// An empty entries table in the directory, as the setup program makes it; returns its file.
QString freshEntries(const QString& directory)
{
    Tables::Table entries = Tables::ledgerEntries();
    entries.directory = directory;
    const QString file = WinPath::resolve(entries.windowsPath()).localPath;
    QFile::remove(file);
    Tables::create(entries);
    return file;
}

void bareInsert(const QString& file, const QList<QList<QVariant>>& rows)
{
    Sqlite::Connection db = Sqlite::open(file, SQLITE_OPEN_READWRITE);
    Sqlite::exec(db.get(), QStringLiteral("PRAGMA synchronous=FULL; BEGIN IMMEDIATE"));
    Sqlite::Statement insert(db.get(),
                             QStringLiteral("INSERT INTO DetailDays (Auto, DateDay2, StartOperation, TimeOperation, "
                                            "KandOperation, Cost, Computer) VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7)"));
    for (const QList<QVariant>& row : rows) {
        Sqlite::Use use(insert);
        for (int i = 0; i < row.size(); ++i)
            insert.bind(i + 1, row.at(i));
        insert.step();
    }
    Sqlite::exec(db.get(), QStringLiteral("COMMIT"));
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int entries = argc > 1 ? std::max(1, QString::fromLocal8Bit(argv[1]).toInt()) : 100000;
    const int rounds = argc > 2 ? std::max(1, QString::fromLocal8Bit(argv[2]).toInt()) : 5;
    TestPrefix prefix;
    prefix.makeInstallTree();
    const QString floorDir = QStringLiteral("C:\\bench");
    QDir().mkpath(prefix.local(floorDir));

    // An old ledger as a busy café leaves it: Arabic kinds, station names, gaps in the serials.
    ParadoxWriter::Table old = ParadoxWriter::ledgerEntries();
    for (int i = 1; i <= entries; ++i) {
        const QList<QVariant> row = {qint64(i + i / 100),
                                     QStringLiteral("%1/%2/2023").arg(1 + i % 28).arg(1 + i % 12),
                                     QStringLiteral("%1:%2:00").arg(i % 24).arg(i % 60),
                                     qint64(15 * (1 + i % 8)),
                                     i % 3 ? QStringLiteral("ألعاب") : QStringLiteral("أنترنيت"),
                                     0.5 * (i % 240),
                                     QStringLiteral("جهاز PC%1").arg(1 + i % 12)};
        old.rows.append(row);
    }
    const QString oldFile = prefix.root() + QLatin1Char('/') + Tables::ledgerEntries().fileName;
    ParadoxWriter::write(oldFile, old);
    const Tables::Table& target = Tables::ledgerEntries();

    // Alternating keeps both sides under the same disk weather.
    QList<double> imports, bare, reads;
    for (int r = 0; r < rounds; ++r) {
        freshEntries(InstallPaths::LedgerDir);
        DataImport::Result result;
        imports.append(Bench::millis([&] { result = DataImport::importTable(target, oldFile, false); }));
        if (result.status != DataImport::Result::Status::Imported || result.rows != entries) {
            std::fprintf(stderr, "import failed: %s\n", qPrintable(DataImport::describe(result)));
            return 1;
        }
        const QString floorFile = freshEntries(floorDir);
        bare.append(Bench::millis([&] { bareInsert(floorFile, old.rows); }));
        reads.append(Bench::millis([&] {
            ParadoxTable table(oldFile);
            QList<QVariant> values;
            for (int row = 0; row < table.rowCount(); ++row)
                table.readRow(row, values);
        }));
    }
    std::printf("import of %d entries, median of %d: import %.1f ms (of which reading the Paradox table %.1f ms), "
                "bare insert in one transaction %.1f ms, ratio %.2f\n",
                entries, rounds, Bench::median(imports), Bench::median(reads), Bench::median(bare),
                Bench::median(imports) / Bench::median(bare));
    return 0;
}
