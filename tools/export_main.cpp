#include "platform/AppError.h"
#include "tools/TableExport.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QTextStream>
#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTextStream err(stderr);
    QStringList args = app.arguments().mid(1);
    if (args.contains(QLatin1String("--help")) || args.contains(QLatin1String("-h"))) {
        QTextStream(stdout) << "usage: quorvel-export [--raw] TABLE [FILE]\n"
                               "Writes TABLE (SumDays, DetailDays, Card or Card1) of this install as CSV, in UTF-8\n"
                               "with a byte-order mark, to FILE (replaced whole) or, without FILE or with -, to\n"
                               "standard output. FILE must be absent or a regular file that is not one of the\n"
                               "install's tables; a link, a device or a pipe is refused. Text cells a spreadsheet\n"
                               "would take for a formula get a leading ' unless --raw is given.\n";
        return 0;
    }
    const TableExport::Cells cells = args.removeAll(QStringLiteral("--raw")) > 0 ? TableExport::Cells::Raw
                                                                                 : TableExport::Cells::Safe;
    if (args.isEmpty() || args.size() > 2) {
        err << "usage: quorvel-export [--raw] TABLE [FILE] (try --help)\n";
        return 2;
    }
    const Tables::Table* table = Tables::find(args.first());
    if (!table) {
        err << "quorvel-export: no table " << args.first() << "; the tables are SumDays, DetailDays, Card and Card1\n";
        return 2;
    }
    try {
        if (args.size() == 1 || args.at(1) == QLatin1String("-")) {
            QFile out;
            if (!out.open(stdout, QIODevice::WriteOnly))
                throw AppError(out.errorString());
            TableExport::write(*table, out, cells);
            if (!out.flush())
                throw AppError(QStringLiteral("Cannot write the CSV. %1").arg(out.errorString()));
        } else {
            TableExport::writeFile(*table, args.at(1), cells);
        }
        // The export stands whether or not the audit record takes it.
        const QString destination = args.size() == 1 || args.at(1) == QLatin1String("-")
            ? QStringLiteral("standard output")
            : QFileInfo(args.at(1)).absoluteFilePath();
        if (const std::optional<QString> problem = TableExport::recordExport(*table, destination))
            err << "quorvel-export: warning: " << *problem << Qt::endl;
        return 0;
    } catch (const AppError& error) {
        err << "quorvel-export: " << error.text() << Qt::endl;
        return 1;
    }
}
