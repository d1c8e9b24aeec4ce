#pragma once

#include "platform/store/Sqlite.h"

#include <QString>
#include <optional>

// What the operator reads when a table fails: in Arabic, naming the file (as the system names it,
// the Windows path) and saying what the failure means for the data. The table store words its
// errors here, so every window that opens a table says the same.
namespace TableMessages {

// A table's file or folder as the messages write it.
struct Place
{
    QString windowsDirectory; // the table's folder
    QString windowsPath;      // the table file itself
    QString localPath;        // where it is on this machine; empty when it could not be resolved
};

// The failure SQLite reported, worded for the operator: a full disk is called a full disk, a file
// or folder that may not be written is named, a table another program holds, one that is damaged
// or not a table at all says so.
QString failure(const Place& table, const Sqlite::Failure& failure);

// Why a table that is to be written can only be read: the first of its folder, its file and the
// log files beside it ("-wal", "-shm") that this program may not write, named with what that
// means. Nothing when all can be written (or are not there yet and can be made).
std::optional<QString> unwritable(const Place& table);

QString missing(const Place& table);
QString isLink(const Place& table);
QString cannotReach(const Place& table, const QString& reason);
QString closed(const QString& tableName);
QString openReadOnly(const Place& table);
QString lockedByAnother(const Place& table);
QString keyViolation(const Place& table);
QString fieldNeedsValue(const Place& table, const QString& field);

} // namespace TableMessages
