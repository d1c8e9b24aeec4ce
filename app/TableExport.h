#pragma once

#include "app/InstallTables.h"

#include <QIODevice>

// Writes one of this install's tables as CSV for spreadsheet programs: a byte-order mark, a
// header of the field names, then the rows in key order; numbers with a dot whatever the regional
// settings say; an empty field stays empty.
namespace TableExport {

// Throws AppError when the table cannot be read or out cannot be written.
void write(const InstallTables::Table& table, QIODevice& out);

} // namespace TableExport
