#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// How a table file is made. The console only ever opens the tables; the setup program creates
// them, from the definitions the install keeps.
//
// Declared types carry each field's kind and size, and the table store reads them back:
//   VARCHAR(n)  string of n bytes in the Windows Arabic code page (stored as UTF-8 text)
//   SMALLINT    16-bit signed integer
//   FLOAT       64-bit float
//   INTEGER PRIMARY KEY AUTOINCREMENT   32-bit serial assigned when a row is stored
// VARCHAR rather than a name such as STRING: SQLite gives a column TEXT affinity only when its
// type names CHAR, CLOB or TEXT, and without it a date like "20240101" would turn into a number.
namespace TableFiles {

struct Definition
{
    QString fileName; // as the system names it
    QStringList statements;
};

// Creates the table file in the directory (a Windows path) unless a file of that name exists
// already; returns whether it created one. The file is built under a temporary name and renamed
// into place, so a failure never leaves a half-made table behind. Throws AppError.
bool create(const QString& directory, const Definition& definition);

} // namespace TableFiles
