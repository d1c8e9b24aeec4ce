#include "platform/AppError.h"
#include "platform/files/WinPath.h"
#include "tools/DataImport.h"

#include <QCoreApplication>
#include <QTextStream>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);
    bool checkOnly = false;
    bool ignoreLocks = false;
    QStringList dirs;
    for (const QString& arg : app.arguments().mid(1)) {
        if (arg == QLatin1String("--check")) {
            checkOnly = true;
        } else if (arg == QLatin1String("--ignore-locks")) {
            ignoreLocks = true;
        } else if (arg == QLatin1String("--help") || arg == QLatin1String("-h")) {
            out << "usage: quorvel-import [--check] [--ignore-locks] OLD\n"
                   "Reads the Paradox tables of an old install (OLD is the directory holding Data:\n"
                   "Data/Control/SumDays.DB, Data/Control/DetailDays.DB, Data/Card/Card.db,\n"
                   "Data/TempCard/Card1.db, names in any case) and writes their rows into this install's\n"
                   "empty tables under the prefix, each table whole or not at all. The old files are\n"
                   "only read. --check reads and reports without writing. A table the old program\n"
                   "seems to hold (PDOXUSRS.LCK or PARADOX.LCK beside it, a lock on the file) is\n"
                   "refused unless --ignore-locks is given.\n";
            return 0;
        } else if (arg.startsWith(QLatin1String("--"))) {
            err << "quorvel-import: unknown option " << arg << " (try --help)\n";
            return 2;
        } else {
            dirs.append(arg);
        }
    }
    if (dirs.size() != 1) {
        err << "usage: quorvel-import [--check] OLD (try --help)\n";
        return 2;
    }
    try {
        out << "prefix: " << WinPath::prefix() << Qt::endl;
        bool refused = false, found = false;
        const QList<DataImport::Result> results = DataImport::importAll(dirs.first(), checkOnly, ignoreLocks);
        for (const DataImport::Result& result : results) {
            const bool bad = result.status == DataImport::Result::Status::Refused;
            refused |= bad;
            found |= result.status != DataImport::Result::Status::Missing;
            (bad ? err : out) << DataImport::describe(result) << Qt::endl;
        }
        // The rows imported stay whether or not the audit record takes the import.
        if (const std::optional<QString> problem = DataImport::recordImport(dirs.first(), results))
            err << "quorvel-import: warning: " << *problem << Qt::endl;
        if (!found)
            err << "quorvel-import: none of the four tables is in " << dirs.first() << Qt::endl;
        return refused || !found ? 1 : 0;
    } catch (const AppError& error) {
        err << "quorvel-import: " << error.text() << Qt::endl;
        return 1;
    }
}
