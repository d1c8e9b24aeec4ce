#pragma once

#include "platform/store/Sqlite.h"

#include <optional>

// The audit record's file also keeps what the owner and the shifts need beside the chain: the
// table Owner (the owner's PIN as a password hash, the blind count) and the table Shifts. Their
// rows are not chained; what changes in them is recorded as events in the chain.
namespace AuditFile {

// Opens the file for reading and writing, making it (as the audit record does on first use) and
// the two side tables when they are missing. Throws AppError naming the file.
Sqlite::Connection open();

// Opens the file for reading only, when it holds the table: nothing when there is no file (or a
// folder or a link in its place) or the table was never made, so reading writes nothing. Throws
// AppError when the file cannot be read.
std::optional<Sqlite::Connection> openForReading(const QString& table);

// The failure of a statement on the file, as the operator reads it.
AppError failure(const QString& reason);

} // namespace AuditFile
