#pragma once

#include "platform/store/TableFiles.h"

#include <QList>
#include <QString>

// The four tables of an install, by the names the operator uses for them ("SumDays", "Card", ...).
namespace InstallTables {

struct Table
{
    QString name;      // the file's stem, the table's name inside the file
    QString directory; // Windows path of the table directory
    QString fileName;  // as the system names the file
    TableFiles::Definition definition; // how the installer makes it
    // The table's path below an install directory, e.g. "Data\Control\SumDays.DB".
    QString relativePath() const;
    QString windowsPath() const { return directory + QLatin1Char('\\') + fileName; }
};

// Ledger days, ledger entries, main cards, temporary cards.
const QList<Table>& all();
// The table of that name, matched regardless of case, or nullptr.
const Table* find(const QString& name);

} // namespace InstallTables
