#pragma once

#include <QString>

// Leaves the database file as a process killed in the middle of a write would: a transaction's
// pages already in the file and its rollback journal beside it ("hot"), nothing committed.
void leaveHotJournal(const QString& localPath);
