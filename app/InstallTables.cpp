#include "app/InstallTables.h"

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
    static const QList<Table> tables = {
        {QStringLiteral("SumDays"), InstallPaths::LedgerDir, QStringLiteral("SumDays.DB")},
        {QStringLiteral("DetailDays"), InstallPaths::LedgerDir, QStringLiteral("DetailDays.DB")},
        {QStringLiteral("Card"), InstallPaths::CardDir, QStringLiteral("Card.db")},
        {QStringLiteral("Card1"), InstallPaths::TempCardDir, QStringLiteral("Card1.db")},
    };
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
