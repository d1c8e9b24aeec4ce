#include "support/HotJournal.h"

#include <QFile>

#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

void leaveHotJournal(const QString& localPath)
{
    const QByteArray path = QFile::encodeName(localPath);
    const pid_t child = ::fork();
    if (child == 0) {
        sqlite3* db = nullptr;
        sqlite3_open(path.constData(), &db);
        // A table not yet switched to write-ahead logging, as an install's tables were; a cache of
        // a few pages spills the transaction into the file before any commit.
        sqlite3_exec(db,
                     "PRAGMA journal_mode=DELETE; PRAGMA cache_size=2; BEGIN IMMEDIATE; CREATE TABLE interrupted (x); "
                     "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 300) "
                     "INSERT INTO interrupted SELECT randomblob(4000) FROM n;",
                     nullptr, nullptr, nullptr);
        ::_exit(0); // as kill -9 would: no rollback, no close
    }
    int status = 0;
    ::waitpid(child, &status, 0);
}
