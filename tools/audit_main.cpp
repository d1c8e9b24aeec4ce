#include "install/Audit.h"
#include "platform/AppError.h"
#include "platform/formats/Csv.h"
#include "tools/TableExport.h"

#include <QCoreApplication>
#include <QDate>
#include <QFile>
#include <QRegularExpression>
#include <QTextStream>

namespace {

const char* const Usage = "usage: quorvel-audit verify [--head SERIAL:HEX]\n"
                          "       quorvel-audit list [--from YYYY-MM-DD] [--to YYYY-MM-DD] [--csv]\n";

// A day as the owner types it; anything else is refused, never read as some other day.
std::optional<QString> day(const QString& text)
{
    static const QRegularExpression shape(QStringLiteral("^[0-9]{4}-[0-9]{2}-[0-9]{2}$"));
    if (!shape.match(text).hasMatch() || !QDate::fromString(text, Qt::ISODate).isValid())
        return std::nullopt;
    return text;
}

QString orDash(const QString& text)
{
    return text.isEmpty() ? QStringLiteral("-") : text;
}

QStringList fields(const Audit::Row& row)
{
    return {QString::number(row.serial),
            row.timeUtc,
            row.timeLocal,
            row.program,
            row.operatorName,
            row.event.event,
            row.event.station,
            row.event.minutes ? QString::number(*row.event.minutes) : QString(),
            row.event.kind,
            row.event.amount ? QString::number(*row.event.amount, 'g', 15) : QString(),
            row.event.oldValue,
            row.event.newValue,
            row.event.text,
            row.hash};
}

int verify(const QStringList& args, QTextStream& out, QTextStream& err)
{
    std::optional<Audit::Head> head;
    for (qsizetype i = 0; i < args.size(); ++i) {
        if (args.at(i) == QLatin1String("--head") && i + 1 < args.size() && !head) {
            const Audit::HeadOrReason parsed = Audit::parseHead(args.at(++i));
            if (!parsed.head) {
                err << "quorvel-audit: " << parsed.reason << Qt::endl;
                return 2;
            }
            head = parsed.head;
        } else {
            err << "quorvel-audit: verify takes only --head SERIAL:HEX, once (try --help)" << Qt::endl;
            return 2;
        }
    }
    const Audit::Verdict verdict = Audit::verify(head);
    if (!verdict.whole) {
        err << "quorvel-audit: " << verdict.message << Qt::endl;
        return 1;
    }
    out << verdict.message << Qt::endl;
    if (verdict.last)
        out << "head " << Audit::headText(*verdict.last) << Qt::endl;
    return 0;
}

int list(const QStringList& args, QTextStream& out, QTextStream& err)
{
    QString from, to;
    bool csv = false;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& arg = args.at(i);
        if (arg == QLatin1String("--csv")) {
            csv = true;
        } else if ((arg == QLatin1String("--from") || arg == QLatin1String("--to")) && i + 1 < args.size()) {
            const std::optional<QString> parsed = day(args.at(++i));
            if (!parsed) {
                err << "quorvel-audit: " << arg << " takes a day as YYYY-MM-DD, not \"" << args.at(i) << "\"" << Qt::endl;
                return 2;
            }
            (arg == QLatin1String("--from") ? from : to) = *parsed;
        } else {
            err << "quorvel-audit: list takes --from YYYY-MM-DD, --to YYYY-MM-DD and --csv, not \"" << arg << "\" (try --help)"
                << Qt::endl;
            return 2;
        }
    }
    if (!from.isEmpty() && !to.isEmpty() && from > to) {
        err << "quorvel-audit: --from " << from << " is after --to " << to << Qt::endl;
        return 2;
    }
    const QList<Audit::Row> rows = Audit::rows(from, to);
    if (csv) {
        QFile file;
        if (!file.open(stdout, QIODevice::WriteOnly))
            throw AppError(file.errorString());
        file.write(Csv::byteOrderMark());
        file.write(Csv::record({QStringLiteral("Serial"), QStringLiteral("TimeUtc"), QStringLiteral("TimeLocal"),
                                QStringLiteral("Program"), QStringLiteral("Operator"), QStringLiteral("Event"),
                                QStringLiteral("Station"), QStringLiteral("Minutes"), QStringLiteral("Kind"),
                                QStringLiteral("Amount"), QStringLiteral("OldValue"), QStringLiteral("NewValue"),
                                QStringLiteral("Text"), QStringLiteral("Hash")}));
        for (const Audit::Row& row : rows) {
            QStringList cells = fields(row);
            for (QString& cell : cells)
                cell = TableExport::cellText(cell, TableExport::Cells::Safe);
            file.write(Csv::record(cells));
        }
        if (!file.flush())
            throw AppError(QStringLiteral("Cannot write the CSV. %1").arg(file.errorString()));
        return 0;
    }
    for (const Audit::Row& row : rows) {
        const QStringList f = fields(row);
        out << f.at(0) << "  " << row.timeLocal << "  " << row.program << "  " << orDash(row.operatorName) << "  "
            << row.event.event << "  " << orDash(row.event.station) << "  " << orDash(f.at(7)) << "  " << orDash(row.event.kind)
            << "  " << orDash(f.at(9));
        if (!row.event.oldValue.isEmpty() || !row.event.newValue.isEmpty())
            out << "  " << row.event.oldValue << " -> " << row.event.newValue;
        if (!row.event.text.isEmpty())
            out << "  " << row.event.text;
        out << "\n";
    }
    out.flush();
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);
    QStringList args = app.arguments().mid(1);
    if (args.contains(QLatin1String("--help")) || args.contains(QLatin1String("-h"))) {
        out << Usage
            << "Reads this install's audit record (Data/Audit/Audit.db under the prefix): one row per event at\n"
               "the counter, each chained to the one before by its SHA-256 hash.\n"
               "verify   checks the chain from the first row; says \"N events, the chain is whole\" and the head\n"
               "         (SERIAL:HEX) to write down, or names the first row that was changed, removed or inserted\n"
               "         (exit 1). --head SERIAL:HEX, a head written down earlier, also checks that the chain\n"
               "         still passes through it, which a chain rebuilt from a later point or cut short does not.\n"
               "list     prints the events, of the local days from --from to --to (both included) when given;\n"
               "         --csv writes CSV in UTF-8 with a byte-order mark instead.\n"
               "Exit 0 when done, 1 when the chain is broken or the record cannot be read, 2 for a bad command.\n";
        return 0;
    }
    if (args.isEmpty()) {
        err << Usage << "(try --help)\n";
        return 2;
    }
    const QString command = args.takeFirst();
    try {
        if (command == QLatin1String("verify"))
            return verify(args, out, err);
        if (command == QLatin1String("list"))
            return list(args, out, err);
    } catch (const AppError& error) {
        err << "quorvel-audit: " << error.text() << Qt::endl;
        return 1;
    }
    err << "quorvel-audit: unknown command \"" << command << "\"\n" << Usage;
    return 2;
}
