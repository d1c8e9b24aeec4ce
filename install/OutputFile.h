#pragma once

#include <QIODevice>
#include <QString>
#include <functional>

// A file that a program writes for the operator (an export, a report): replaced whole or not at
// all, and only when it is absent or a regular file that is not one of the install's tables
// (compared by device and inode, whatever its name). A link, a device, a pipe, a folder or a
// table is refused by name and nothing changes.
namespace OutputFile {

// Throws AppError naming the path and the reason when the path must not be written.
void requireReplaceable(const QString& path);

// Writes through write() into a new file beside path, flushes it and renames it over path.
// write() throws AppError to abandon the file; the device reports the system's own reason for a
// failed write. Throws AppError, path left as it was.
void replace(const QString& path, const std::function<void(QIODevice&)>& write);

} // namespace OutputFile
