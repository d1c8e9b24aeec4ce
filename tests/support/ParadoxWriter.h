#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QVariant>

// Writes Paradox tables with pxlib's own writer, as the old program's tables were.
namespace ParadoxWriter {

struct Field
{
    QByteArray name;
    int type; // pxlib's field type code (pxfAlpha, pxfShort, ...)
    int size; // bytes in a record
};

struct Table
{
    QList<Field> fields;
    // By field: a null QVariant leaves the field blank; text is written in the Windows Arabic
    // code page; whole numbers go to short, long and auto-increment fields; doubles to numbers.
    QList<QList<QVariant>> rows;
    int keyFields = 0;
    // pxlib's writer leaves the header's code page at 1252 and its counter at 0; these are set
    // afterwards. A negative counter means the highest value of the first field.
    int codePage = 1256;
    qint64 autoIncrement = -1;
};

// The old program's tables: fields only.
Table ledgerDays();
Table ledgerEntries();
Table cards();

// Writes the table to path (a local path), replacing any file there; aborts the test run when
// pxlib fails.
void write(const QString& path, const Table& table);

} // namespace ParadoxWriter
