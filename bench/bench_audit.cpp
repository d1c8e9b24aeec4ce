// The audit record's costs against their floors, measured in the same run:
// - `verify` over 1 000 000 events against hashing the same bytes bare (each row's encoding after
//   the previous hash, already in memory): the walk should cost at most twice the hashing;
// - one event recorded (its own durable commit) against one bill stored by the ledger.
//
// Usage: bench_audit [directory] [events]   (default: a temporary directory below the current
// one, 1000000 events; keep it off tmpfs, where a synchronous write costs nothing)

#include "BenchSupport.h"
#include "accounting/Ledger.h"
#include "install/Audit.h"
#include "platform/AppError.h"
#include "platform/Clock.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QTemporaryDir>

#include <cstdio>

namespace {

Audit::Row sampleRow(qint64 serial, const QDateTime& at)
{
    Audit::Row row;
    row.serial = serial;
    row.timeUtc = at.toUTC().toString(Qt::ISODate);
    row.timeLocal = at.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    row.program = QStringLiteral("QuorvelServer");
    row.event.event = Audit::Events::SessionOpen;
    row.event.station = QStringLiteral("PC%1").arg(serial % 12 + 1, 2, 10, QLatin1Char('0'));
    row.event.minutes = 15 * (serial % 8 + 1);
    row.event.kind = QStringLiteral("ألعاب");
    row.event.amount = 0.5 * double(*row.event.minutes);
    row.event.text = QStringLiteral("tariff 0.5");
    return row;
}

// Writes the chain straight through SQLite, in one transaction; returns the encodings.
QList<QByteArray> fill(qint64 events)
{
    Sqlite::Connection db = Sqlite::open(Audit::localPath(), SQLITE_OPEN_READWRITE);
    Sqlite::exec(db.get(), QStringLiteral("PRAGMA synchronous=OFF; BEGIN"));
    Sqlite::Statement insert(db.get(),
                             QStringLiteral("INSERT INTO Audit VALUES (?1, ?2, ?3, ?4, ?5, ?6, ?7, ?8, ?9, ?10, ?11, "
                                            "?12, ?13, ?14)"));
    QList<QByteArray> encodings;
    encodings.reserve(events);
    QByteArray previous(32, '\0');
    const QDateTime start(QDate(2026, 1, 1), QTime(8, 0));
    for (qint64 serial = 1; serial <= events; ++serial) {
        const Audit::Row row = sampleRow(serial, start.addSecs(serial * 20));
        encodings.append(Audit::encoded(row));
        QCryptographicHash hash(QCryptographicHash::Sha256);
        hash.addData(previous);
        hash.addData(encodings.last());
        previous = hash.result();
        Sqlite::Use use(insert);
        const QList<QVariant> values{row.serial,        row.timeUtc,
                                     row.timeLocal,     row.program,
                                     QString(""),       row.event.event,
                                     row.event.station, *row.event.minutes,
                                     row.event.kind,    *row.event.amount,
                                     QString(""),       QString(""),
                                     row.event.text,    QString::fromLatin1(previous.toHex())};
        for (int i = 0; i < values.size(); ++i)
            insert.bind(i + 1, values.at(i));
        insert.step();
    }
    Sqlite::exec(db.get(), QStringLiteral("COMMIT"));
    return encodings;
}

double bareHashing(const QList<QByteArray>& encodings)
{
    return Bench::millis([&] {
        QByteArray previous(32, '\0');
        QCryptographicHash hash(QCryptographicHash::Sha256);
        for (const QByteArray& bytes : encodings) {
            hash.reset();
            hash.addData(previous);
            hash.addData(bytes);
            previous = hash.result();
        }
        if (previous.isEmpty())
            std::abort();
    });
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QString base = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QDir::currentPath();
    const qint64 events = argc > 2 ? QByteArray(argv[2]).toLongLong() : 1000000;
    QTemporaryDir prefix(base + QStringLiteral("/bench_audit-XXXXXX"));
    if (!prefix.isValid() || events < 1) {
        std::fprintf(stderr, "usage: bench_audit [directory] [events]\n");
        return 1;
    }
    qputenv("QUORVEL_PREFIX", QFile::encodeName(prefix.path()));

    try {
        Bench::makeLedgerAndAudit();

        // A recorded event and a bill, each durable on its own, alternated so both see the same disk.
        Ledger ledger;
        QList<double> recordMs, billMs;
        for (int i = 0; i < 100; ++i) {
            Audit::Event event;
            event.event = Audit::Events::SessionOpen;
            event.station = QStringLiteral("PC01");
            event.minutes = 15;
            event.amount = 7.5;
            recordMs.append(Bench::millis([&] {
                if (const auto problem = Audit::record(event))
                    throw AppError(*problem);
            }));
            billMs.append(Bench::millis([&] {
                ledger.recordSession({QStringLiteral("15"), QStringLiteral("PC01"), true, QStringLiteral("0.5")});
            }));
        }
        QFile::remove(Audit::localPath());
        for (const char* part : {"-wal", "-shm"})
            QFile::remove(Audit::localPath() + QLatin1String(part));
        Audit::create();

        const QList<QByteArray> encodings = fill(events);
        const double bareMs = bareHashing(encodings);
        Audit::Verdict verdict;
        const double verifyMs = Bench::millis([&] { verdict = Audit::verify(); });
        if (!verdict.whole || verdict.events != events) {
            std::fprintf(stderr, "verify: %s\n", qPrintable(verdict.message));
            return 1;
        }
        std::printf("verify of %lld events:                 %9.1f ms\n", static_cast<long long>(events), verifyMs);
        std::printf("hashing the same bytes bare:            %9.1f ms\n", bareMs);
        std::printf("ratio verify / bare hashing: %.2f (bound 2)\n", verifyMs / bareMs);
        std::printf("one event recorded (median of 100):     %9.2f ms\n", Bench::median(recordMs));
        std::printf("one bill stored by the ledger (median): %9.2f ms\n", Bench::median(billMs));
        std::printf("ratio audit row / bill: %.2f\n", Bench::median(recordMs) / Bench::median(billMs));
    } catch (const AppError& e) {
        std::fprintf(stderr, "%s\n", qPrintable(e.text()));
        return 1;
    }
    return 0;
}
