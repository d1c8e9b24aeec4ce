// An opening with its audit row against the same opening without it, measured in the same run:
// SessionSteps::open (the minutes and tariff checked, the ledger opened, the station's command
// file read and its flag written, the bill stored), then the console's journal replaced, as the
// main window opens a session; the one side also appends the opening's row to the audit record.
// The two alternate, so both see the same disk. The bound is 1.2.
//
// Usage: bench_opening [directory] [openings]   (default: a temporary directory below the current
// one, 200 openings a side; keep it off tmpfs, where a synchronous write costs nothing)

#include "accounting/Ledger.h"
#include "bench/BenchSupport.h"
#include "install/Audit.h"
#include "platform/AppError.h"
#include "platform/files/LineBuffer.h"
#include "sessions/SessionJournal.h"
#include "sessions/SessionSteps.h"
#include "stations/CommandChannel.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>

namespace {

void makeStation(const QString& name)
{
    QDir().mkpath(qEnvironmentVariable("QUORVEL_PREFIX") + QStringLiteral("/unc/") + name);
    const QString command = WinPath::resolve(CommandChannel::commandFilePath(name)).localPath;
    QDir().mkpath(QFileInfo(command).path());
    for (const QString& file : {command, WinPath::resolve(CommandChannel::probeFilePath(name)).localPath}) {
        QFile out(file);
        if (!out.open(QIODevice::WriteOnly))
            throw AppError(QStringLiteral("cannot make %1").arg(file));
        out.write(file == command ? "0\r\n0\r\n0\r\n0\r\n0\r\n0\r\n0\r\n0" : "");
    }
}

// One opening as the main window does it; throws when it did not open.
SessionSteps::OpenOutcome openOnce(Ledger& ledger, LineBuffer& scratch)
{
    CountdownState countdown;
    const SessionSteps::OpenOutcome outcome = SessionSteps::open(
        countdown, scratch, ledger,
        {QStringLiteral("15"), QStringLiteral("PC01"), true, QStringLiteral("0.5"), QStringLiteral("0.25")});
    if (outcome.result != SessionSteps::OpenResult::Opened)
        throw AppError(QStringLiteral("the opening failed: %1").arg(outcome.text));
    SessionJournal::save({{QStringLiteral("PC01"), countdown.paidEndUtc, countdown.minutesOpened, false}});
    return outcome;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int rounds = argc > 2 ? QByteArray(argv[2]).toInt() : 200;
    QTemporaryDir prefix((argc > 1 ? QString::fromLocal8Bit(argv[1]) : QDir::currentPath())
                         + QStringLiteral("/bench_opening-XXXXXX"));
    if (rounds < 1 || !prefix.isValid()) {
        std::fprintf(stderr, "usage: bench_opening [directory] [openings]\n");
        return 1;
    }
    qputenv("QUORVEL_PREFIX", QFile::encodeName(prefix.path()));

    try {
        Bench::makeLedgerAndAudit();
        makeStation(QStringLiteral("PC01"));

        Ledger ledger;
        LineBuffer scratch;
        openOnce(ledger, scratch); // the day's row, so every opening below stores an entry alone
        QList<double> bare, recorded;
        for (int i = 0; i < rounds; ++i) {
            bare.append(Bench::millis([&] { openOnce(ledger, scratch); }));
            recorded.append(Bench::millis([&] {
                if (const std::optional<QString> problem = Audit::record(openOnce(ledger, scratch).audit))
                    throw AppError(*problem);
            }));
        }
        const double withRow = Bench::median(recorded);
        const double without = Bench::median(bare);
        std::printf("an opening without its audit row (median of %d): %8.3f ms\n", rounds, without);
        std::printf("an opening with its audit row (median of %d):    %8.3f ms\n", rounds, withRow);
        std::printf("ratio with / without: %.2f (bound 1.2)\n", withRow / without);
    } catch (const AppError& e) {
        std::fprintf(stderr, "%s\n", qPrintable(e.text()));
        return 1;
    }
    return 0;
}
