// Measures the takings report on a year of business (365 days of 300 entries), in one run:
//   - the figures and tables through the window's code (Takings::compute and the tables' texts),
//     against the same GROUP BY queries run bare, the start time read by SQL's own substr();
//   - the takings window opening on that year (figures, tables and charts filled and painted),
//     against the same floor;
//   - the year's PDF with its three charts, laid out and written, beside the card report of 1000
//     cards laid out and written the same way.
// Usage: bench_report [days, default 365] [entries a day, default 300] [rounds, default 5]

#include "accounting/Takings.h"
#include "accounting/TakingsReport.h"
#include "accounting/ui/TakingsWindow.h"
#include "bench/BenchSupport.h"
#include "cards/CardReport.h"
#include "install/InstallPaths.h"
#include "install/SessionKind.h"
#include "install/Tables.h"
#include "platform/Clock.h"
#include "platform/Regional.h"
#include "platform/files/WinPath.h"
#include "platform/report/ReportPainter.h"
#include "platform/store/Sqlite.h"
#include "platform/ui/Application.h"
#include "support/SampleCards.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <QTime>
#include <cstdio>

namespace {

using Bench::millis;

void fill(const QDate& first, int days, int perDay)
{
    Sqlite::Connection daysDb = Sqlite::open(Bench::localPath(Tables::ledgerDays()), SQLITE_OPEN_READWRITE);
    Sqlite::Connection entriesDb = Sqlite::open(Bench::localPath(Tables::ledgerEntries()), SQLITE_OPEN_READWRITE);
    Sqlite::exec(daysDb.get(), QStringLiteral("BEGIN"));
    Sqlite::exec(entriesDb.get(), QStringLiteral("BEGIN"));
    Sqlite::Statement day(daysDb.get(), QStringLiteral("INSERT INTO SumDays (DateDay, SumDay) VALUES (?, ?)"));
    Sqlite::Statement entry(
        entriesDb.get(),
        QStringLiteral("INSERT INTO DetailDays (DateDay2, StartOperation, TimeOperation, KandOperation, Cost, "
                       "Computer) VALUES (?, ?, ?, ?, ?, ?)"));
    for (int d = 0; d < days; ++d) {
        const QString date = Regional::shortDate(first.addDays(d));
        double sum = 0;
        for (int e = 0; e < perDay; ++e) {
            // Sessions through the day from 9:00, twelve stations, both kinds.
            const QTime start = QTime(9, 0).addSecs(e * 150 % (14 * 3600));
            const int minutes = 15 * (1 + e % 4);
            const double cost = minutes * (e % 3 ? 0.5 : 0.25);
            sum += cost;
            Sqlite::Use use(entry);
            entry.bind(1, date);
            entry.bind(2, Regional::longTime(start));
            entry.bind(3, minutes);
            entry.bind(4, e % 3 ? SessionKind::GamesWord : SessionKind::InternetWord);
            entry.bind(5, cost);
            entry.bind(6, QStringLiteral("PC%1").arg(1 + e % 12, 2, 10, QLatin1Char('0')));
            entry.step();
        }
        Sqlite::Use use(day);
        day.bind(1, date);
        day.bind(2, sum);
        day.step();
    }
    Sqlite::exec(daysDb.get(), QStringLiteral("COMMIT"));
    Sqlite::exec(entriesDb.get(), QStringLiteral("COMMIT"));
}

// The queries the report runs, bare: the day texts, the days' totals and the three GROUP BYs,
// each row stepped and its columns read, the start time cut out by substr().
double floorRun()
{
    Sqlite::Connection entries = Sqlite::open(Bench::localPath(Tables::ledgerEntries()), SQLITE_OPEN_READONLY);
    Sqlite::Connection days = Sqlite::open(Bench::localPath(Tables::ledgerDays()), SQLITE_OPEN_READONLY);
    double sink = 0;
    Sqlite::exec(entries.get(), QStringLiteral("BEGIN"));
    QJsonArray texts;
    {
        Sqlite::Statement all(entries.get(), QStringLiteral("SELECT DateDay2 FROM DetailDays GROUP BY 1"));
        while (all.step())
            texts.append(all.text(0));
    }
    const QString json = QString::fromUtf8(QJsonDocument(texts).toJson(QJsonDocument::Compact));
    const QString seconds = QStringLiteral("(substr(\"StartOperation\", 1, 2) * 3600 + substr(\"StartOperation\", 4, 2) * 60 "
                                           "+ substr(\"StartOperation\", 7, 2))");
    for (QString sql : Takings::entryQueries()) {
        sql.replace(QStringLiteral("quorvel_seconds(\"StartOperation\")"), seconds);
        Sqlite::Statement st(entries.get(), sql);
        st.bind(1, json);
        while (st.step()) {
            for (int c = 2; c < st.columnCount(); ++c)
                sink += st.real(c);
            sink += double(st.text(0).size() + st.text(1).size());
        }
    }
    Sqlite::exec(entries.get(), QStringLiteral("COMMIT"));
    Sqlite::exec(days.get(), QStringLiteral("BEGIN"));
    Sqlite::Statement all(days.get(), QStringLiteral("SELECT DateDay, SumDay FROM SumDays"));
    while (all.step())
        sink += all.real(1) + double(all.text(0).size());
    Sqlite::exec(days.get(), QStringLiteral("COMMIT"));
    return sink;
}

void report(const char* what, QList<double> work, QList<double> floor)
{
    double w = 0, f = 0;
    for (const double x : work)
        w += x;
    for (const double x : floor)
        f += x;
    std::printf("%-58s %8.1f ms  floor %8.1f ms  ratio %.2f (rounds:", what, w / double(work.size()), f / double(floor.size()),
                w / f);
    for (qsizetype i = 0; i < work.size(); ++i)
        std::printf(" %.2f", work.at(i) / floor.at(i));
    std::printf(")\n");
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
    const int rounds = argc > 3 ? atoi(argv[3]) : 5;

    Regional::setOverride(Regional::Formats{QStringLiteral("dd/MM/yyyy"), QStringLiteral("hh:mm:ss"), u'.'});
    const QDate first(2026, 1, 1);
    const Takings::Period year{first, first.addDays(days - 1)};
    Clock::setFixed(QDateTime(year.to, QTime(23, 0)));
    QDir().mkpath(WinPath::resolve(InstallPaths::LedgerDir).localPath);
    Tables::create(Tables::ledgerDays());
    Tables::create(Tables::ledgerEntries());
    fill(first, days, perDay);
    const QStringList roster{"PC01", "PC02", "PC03", "PC04", "PC05", "PC06", "PC07", "PC08", "PC09", "PC10", "PC11", "PC12"};

    std::printf("%d days x %d entries\n", days, perDay);
    // Warm the file cache and the fonts first.
    floorRun();
    Takings::compute(year, year.to, roster);

    QList<double> work, floor, window, windowFloor;
    qint64 cells = 0;
    for (int r = 0; r < rounds; ++r) {
        // The floor first every other round, so neither always meets a warmer cache.
        const bool floorFirst = r % 2 == 0;
        double f = 0;
        if (floorFirst)
            f = millis([] { floorRun(); });
        work << millis([&] {
            const Takings::Result result = Takings::compute(year, year.to, roster);
            cells += TakingsReport::figureRows(result).size();
            for (const TakingsReport::Table t : TakingsReport::tables())
                cells += TakingsReport::rows(result, t).size();
        });
        if (!floorFirst)
            f = millis([] { floorRun(); });
        floor << f;

        windowFloor << millis([] { floorRun(); });
        window << millis([&] {
            TakingsWindow takings;
            takings.show();
            takings.setPeriod(year);
            takings.repaint();
            QCoreApplication::processEvents();
        });
    }
    report("figures and tables through the window's code", work, floor);
    report("the takings window opening on the period", window, windowFloor);

    QTemporaryDir out;
    const Takings::Result result = Takings::compute(year, year.to, roster);
    QList<double> pdf, cards;
    qsizetype pages = 0, cardPages = 0;
    for (int r = 0; r < rounds; ++r) {
        pdf << millis([&] {
            const Report::Definition definition = TakingsReport::definition(result);
            const QList<Report::Page> laidOut = TakingsReport::layOut(result, definition, QStringLiteral("31/12/2026"));
            pages = laidOut.size();
            ReportPainter::writePdf(out.filePath(QStringLiteral("takings.pdf")), definition, laidOut);
        });
        cards << millis([&] {
            Report::RowsDataSet data = sampleCards(1000);
            const QList<Report::Page> laidOut = CardReport::layOut(data);
            cardPages = laidOut.size();
            ReportPainter::writePdf(out.filePath(QStringLiteral("cards.pdf")), CardReport::definition(), laidOut);
        });
    }
    std::printf("the period's PDF, %lld pages with three charts: %.0f ms (median of %d), %lld bytes\n", qint64(pages),
                Bench::median(pdf), rounds, QFileInfo(out.filePath(QStringLiteral("takings.pdf"))).size());
    std::printf("the card report's PDF, 1000 cards on %lld pages: %.0f ms (median of %d)\n", qint64(cardPages),
                Bench::median(cards), rounds);
    return cells > 0 ? 0 : 1;
}
