#include "accounting/Takings.h"
#include "accounting/TakingsReport.h"
#include "install/OutputFile.h"
#include "platform/AppError.h"
#include "platform/Clock.h"
#include "platform/Regional.h"
#include "platform/report/ReportPainter.h"

#include <QBuffer>
#include <QFile>
#include <QGuiApplication>
#include <QRegularExpression>
#include <QTextStream>
#include <optional>

namespace {

const char* const Usage =
    "usage: quorvel-report [--from YYYY-MM-DD] [--to YYYY-MM-DD] (--pdf FILE | --csv day|station|hour|kind [FILE])\n";

struct Arguments
{
    std::optional<QDate> from, to;
    std::optional<QString> pdf;
    std::optional<TakingsReport::Table> csv;
    QString csvFile = QStringLiteral("-");
};

// Exits with this code and message: 2 for what was asked, 1 for what could not be done.
struct Refusal
{
    int code;
    QString text;
};

QDate dateOf(const QString& option, const QString& text)
{
    static const QRegularExpression shape(QStringLiteral("^\\d{4}-\\d{2}-\\d{2}$"));
    const QDate date = QDate::fromString(text, Qt::ISODate);
    if (!shape.match(text).hasMatch() || !date.isValid())
        throw Refusal{2, QStringLiteral("%1 \"%2\" is not a date of the form YYYY-MM-DD").arg(option, text)};
    return date;
}

Arguments parse(const QStringList& args)
{
    Arguments a;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& arg = args.at(i);
        auto value = [&]() -> QString {
            if (i + 1 >= args.size())
                throw Refusal{2, QStringLiteral("%1 needs a value").arg(arg)};
            return args.at(++i);
        };
        if (arg == QLatin1String("--from")) {
            a.from = dateOf(arg, value());
        } else if (arg == QLatin1String("--to")) {
            a.to = dateOf(arg, value());
        } else if (arg == QLatin1String("--pdf")) {
            a.pdf = value();
        } else if (arg == QLatin1String("--csv")) {
            const QString name = value();
            a.csv = TakingsReport::tableOf(name);
            if (!a.csv)
                throw Refusal{
                    2, QStringLiteral("--csv \"%1\" is not a table; the tables are day, station, hour and kind").arg(name)};
            if (i + 1 < args.size() && !args.at(i + 1).startsWith(QLatin1String("--")))
                a.csvFile = args.at(++i);
        } else {
            throw Refusal{2, QStringLiteral("unknown argument \"%1\"").arg(arg)};
        }
    }
    if (a.pdf.has_value() == a.csv.has_value())
        throw Refusal{2, QStringLiteral("give either --pdf FILE or --csv TABLE")};
    return a;
}

void writeOut(const QString& path, const QByteArray& bytes)
{
    if (path == QLatin1String("-")) {
        QFile out;
        if (!out.open(stdout, QIODevice::WriteOnly) || out.write(bytes) != bytes.size() || !out.flush())
            throw AppError(QStringLiteral("Cannot write to standard output. %1").arg(out.errorString()));
        return;
    }
    OutputFile::replace(path, [&](QIODevice& out) {
        if (out.write(bytes) != bytes.size())
            throw AppError(QStringLiteral("Cannot write \"%1\". %2").arg(path, out.errorString()));
    });
}

} // namespace

int main(int argc, char** argv)
{
    // The pages are drawn without a screen: a mailed report runs from cron as well.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QTextStream err(stderr);
    const QStringList args = app.arguments().mid(1);
    if (args.contains(QLatin1String("--help")) || args.contains(QLatin1String("-h"))) {
        QTextStream(stdout) << Usage
                            << "Writes the takings report of this install for a period (default: today; --from alone\n"
                               "runs to today, --to alone is one day) as the takings window shows it: the pages as PDF,\n"
                               "or one table as CSV (UTF-8 with a byte-order mark). FILE - (or no FILE for --csv) is\n"
                               "standard output; a FILE is replaced whole and must be absent or a regular file that is\n"
                               "not one of the install's tables: a link, a device or a folder is refused.\n"
                               "Exit status: 0 written, 1 the ledger or FILE could not be used, 2 bad arguments.\n";
        return 0;
    }
    try {
        const Arguments a = parse(args);
        const QDate today = Clock::now().date();
        const Takings::Period period{a.from.value_or(a.to.value_or(today)),
                                     a.to.value_or(a.from ? today : a.from.value_or(today))};
        if (period.from > period.to)
            throw Refusal{2,
                          QStringLiteral("--from %1 is after --to %2")
                              .arg(period.from.toString(Qt::ISODate), period.to.toString(Qt::ISODate))};
        const QString target = a.pdf ? *a.pdf : a.csvFile;
        // Refused before the ledger is read, and again when the file is replaced.
        if (target != QLatin1String("-"))
            OutputFile::requireReplaceable(target);
        const Takings::Result result = Takings::compute(period, today, Takings::rosterStations());
        QByteArray bytes;
        if (a.pdf) {
            const Report::Definition definition = TakingsReport::definition(result);
            const QList<Report::Page> pages = TakingsReport::layOut(result, definition, Regional::shortDate(today));
            QBuffer buffer(&bytes);
            buffer.open(QIODevice::WriteOnly);
            ReportPainter::writePdf(buffer, definition, pages);
        } else {
            bytes = TakingsReport::csv(result, *a.csv);
        }
        writeOut(target, bytes);
        return 0;
    } catch (const Refusal& refusal) {
        err << "quorvel-report: " << refusal.text << "\n" << Usage;
        return refusal.code;
    } catch (const AppError& error) {
        err << "quorvel-report: " << error.text() << Qt::endl;
        return 1;
    }
}
