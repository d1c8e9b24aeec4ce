#pragma once

#include "install/Tables.h"

#include <QIODevice>
#include <optional>

// Writes one of this install's tables as CSV for spreadsheet programs: a byte-order mark, a
// header of the field names, then the rows in key order; numbers with a dot whatever the regional
// settings say; an empty field stays empty.
namespace TableExport {

// Text cells that a spreadsheet would take for a formula (they begin with "=", "+", "-", "@", a
// tab or a carriage return) are written with a leading "'", as spreadsheet-safe exports do, unless
// raw values are asked for; numbers are written as they are.
enum class Cells { Safe, Raw };

// Throws AppError when the table cannot be read or out cannot be written.
void write(const Tables::Table& table, QIODevice& out, Cells cells = Cells::Safe);

// Writes the CSV into a new file beside path and renames it over path, so the file is replaced
// whole or not at all. Only an absent path or a regular file that is not one of the install's
// tables (compared by device and inode, not by name) is replaced, never through a link; anything
// else is refused by name. Throws AppError, path left as it was.
void writeFile(const Tables::Table& table, const QString& path, Cells cells = Cells::Safe);

// Records the export in the audit record: the table in OldValue, where it went in NewValue.
// Returns the reason when it cannot be written (the export stands).
std::optional<QString> recordExport(const Tables::Table& table, const QString& destination);

// The text a cell is written with.
QString cellText(const QString& text, Cells cells);

} // namespace TableExport
