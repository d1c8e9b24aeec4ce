#include "tools/InstallTables.h"

#include "platform/InstallPaths.h"

#include <QFileInfo>

namespace InstallTables {

QString Table::relativePath() const
{
    // The table directories all lie two levels down, in Data\<kind>.
    return directory.section(QLatin1Char('\\'), -2) + QLatin1Char('\\') + fileName;
}

const QList<Table>& all()
{
    static const QList<Table> tables = [] {
        QList<Table> made;
        for (const auto& [directory, definition] : {std::pair{InstallPaths::LedgerDir, TableFiles::ledgerDays()},
                                                    std::pair{InstallPaths::LedgerDir, TableFiles::ledgerEntries()},
                                                    std::pair{InstallPaths::CardDir, TableFiles::mainCards()},
                                                    std::pair{InstallPaths::TempCardDir, TableFiles::tempCards()}})
            made.append({QFileInfo(definition.fileName).completeBaseName(), directory, definition.fileName, definition});
        return made;
    }();
    return tables;
}

const Table* find(const QString& name)
{
    for (const Table& table : all())
        if (table.name.compare(name, Qt::CaseInsensitive) == 0)
            return &table;
    return nullptr;
}

} // namespace InstallTables
