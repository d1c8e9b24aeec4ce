#pragma once

#include "install/Tables.h"

#include <QList>
#include <QString>
#include <optional>

// Brings an old café's Paradox tables into this install's tables: each table whole, in one
// transaction, or not at all. The old files are only read.
namespace DataImport {

struct Result
{
    enum class Status { Missing, Imported, Checked, Refused };
    QString table; // the table's file name
    Status status = Status::Missing;
    QString source; // the old file, when one was found
    QString target; // this install's file
    int rows = 0;
    qint64 nextSerial = 0; // the serial the next row will get, for tables with one
    int codePage = 0;      // as the old file's header names it
    QString reason;        // why it was refused
};

// Imports one old table file into this install's table. With checkOnly everything is read and
// checked, including the rows against the target's keys, and nothing is written. A table that
// the old program seems to hold (its lock files beside it, a lock on the file) is refused unless
// ignoreLocks: the old program may still be selling cards.
Result importTable(const Tables::Table& table, const QString& sourcePath, bool checkOnly, bool ignoreLocks = false);

// Finds each of the four tables below oldInstallDir ("Data\<kind>\<file>", names matched
// regardless of case) and imports those that exist; a table that is there but cannot be reached
// (a folder that cannot be read, a folder where the file should be) is refused, never taken for
// absent. Throws AppError when oldInstallDir holds no Data directory.
QList<Result> importAll(const QString& oldInstallDir, bool checkOnly, bool ignoreLocks = false);

// One line for the operator.
QString describe(const Result& result);

// Records an import that wrote rows in the audit record: one row naming the old install, each
// table imported and its rows, the total in NewValue. Returns the reason when it cannot be written
// (the rows imported stay).
std::optional<QString> recordImport(const QString& oldInstallDir, const QList<Result>& results);

} // namespace DataImport
