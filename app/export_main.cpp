#include "app/TableExport.h"
#include "platform/AppError.h"

#include <QCoreApplication>
#include <QFile>
#include <QSaveFile>
#include <QTextStream>
#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTextStream err(stderr);
    const QStringList args = app.arguments().mid(1);
    if (args.contains(QLatin1String("--help")) || args.contains(QLatin1String("-h"))) {
        QTextStream(stdout) << "usage: quorvel-export TABLE [FILE]\n"
                               "Writes TABLE (SumDays, DetailDays, Card or Card1) of this install as CSV, in UTF-8\n"
                               "with a byte-order mark, to FILE (replaced whole) or to standard output.\n";
        return 0;
    }
    if (args.isEmpty() || args.size() > 2) {
        err << "usage: quorvel-export TABLE [FILE] (try --help)\n";
        return 2;
    }
    const InstallTables::Table* table = InstallTables::find(args.first());
    if (!table) {
        err << "quorvel-export: no table " << args.first() << "; the tables are SumDays, DetailDays, Card and Card1\n";
        return 2;
    }
    try {
        if (args.size() == 1) {
            QFile out;
            if (!out.open(stdout, QIODevice::WriteOnly))
                throw AppError(out.errorString());
            TableExport::write(*table, out);
            return 0;
        }
        // A failed export leaves the file as it was.
        QSaveFile out(args.at(1));
        if (!out.open(QIODevice::WriteOnly))
            throw AppError(QStringLiteral("Cannot create file \"%1\". %2").arg(args.at(1), out.errorString()));
        TableExport::write(*table, out);
        if (!out.commit())
            throw AppError(QStringLiteral("Cannot create file \"%1\". %2").arg(args.at(1), out.errorString()));
        return 0;
    } catch (const AppError& error) {
        err << "quorvel-export: " << error.text() << Qt::endl;
        return 1;
    }
}
