#pragma once

#include "platform/store/Sqlite.h"
#include "platform/store/TableFiles.h"

#include <QList>
#include <QString>
#include <QStringList>

// The install's four tables: where each lies, what its file is called and the fields it holds.
// Everything that opens, creates, imports, exports or prints a table takes its names from here.
namespace Tables {

// The fields as the table files spell them.
namespace DayField {
inline const QString Date = QStringLiteral("DateDay");
inline const QString Sum = QStringLiteral("SumDay");
} // namespace DayField

namespace EntryField {
inline const QString Auto = QStringLiteral("Auto");
inline const QString Date = QStringLiteral("DateDay2");
inline const QString Start = QStringLiteral("StartOperation");
inline const QString Minutes = QStringLiteral("TimeOperation");
inline const QString Kind = QStringLiteral("KandOperation");
inline const QString Cost = QStringLiteral("Cost");
inline const QString Station = QStringLiteral("Computer");
// The entries of a day, in the order they were stored.
inline const QString DayIndex = QStringLiteral("DateDayIndex");
} // namespace EntryField

namespace CardField {
inline const QString Auto = QStringLiteral("Auto");
inline const QString Number = QStringLiteral("Num");
inline const QString Minutes = QStringLiteral("Time1");
inline const QString State = QStringLiteral("Used");
inline const QString Remaining = QStringLiteral("ReminTime");
inline const QString Cost = QStringLiteral("Cost");
inline const QString FirstUse = QStringLiteral("UseFirstTime");
inline const QString Kind = QStringLiteral("Kind");
} // namespace CardField

// The audit record's fields, in the order its rows are hashed (see Audit.h).
namespace AuditField {
inline const QString Serial = QStringLiteral("Serial");
inline const QString TimeUtc = QStringLiteral("TimeUtc");
inline const QString TimeLocal = QStringLiteral("TimeLocal");
inline const QString Program = QStringLiteral("Program");
inline const QString Operator = QStringLiteral("Operator");
inline const QString Event = QStringLiteral("Event");
inline const QString Station = QStringLiteral("Station");
inline const QString Minutes = QStringLiteral("Minutes");
inline const QString Kind = QStringLiteral("Kind");
inline const QString Amount = QStringLiteral("Amount");
inline const QString OldValue = QStringLiteral("OldValue");
inline const QString NewValue = QStringLiteral("NewValue");
inline const QString Text = QStringLiteral("Text");
inline const QString Hash = QStringLiteral("Hash");
} // namespace AuditField

struct Column
{
    QString name;
    QString type; // as declared, see TableFiles
};

struct Table
{
    QString name;          // the file's stem, the table's name inside the file
    QString directory;     // Windows path of the table directory
    QString fileName;      // as the system names the file
    QList<Column> columns; // in the file's order
    QStringList after;     // statements that follow the table's own (its indexes)

    QStringList fieldNames() const;
    // How the setup program makes it.
    TableFiles::Definition definition() const;
    // The table's path below an install directory, e.g. "Data\Control\SumDays.DB".
    QString relativePath() const;
    QString windowsPath() const { return directory + QLatin1Char('\\') + fileName; }
};

const Table& ledgerDays();
const Table& ledgerEntries();
const Table& mainCards();
const Table& tempCards();

// Ledger days, ledger entries, main cards, temporary cards: the tables that are imported and
// exported.
const QList<Table>& all();
// The audit record: made beside them, but never imported, exported or written but through Audit.
const Table& audit();
// The table of that name, matched regardless of case, or nullptr.
const Table* find(const QString& name);

// Opens the table's file for reading by a program beside the console (an export, a report): a
// write cut short is rolled back first, no link is followed, and another program's lock is waited
// for as the store waits. Throws AppError "Cannot read the table ..." naming it.
Sqlite::Connection openForReading(const Table& table);
// The error text for a failure while reading the table.
AppError readFailure(const Table& table, const QString& reason);

// Creates the table's file unless one of its name exists; returns whether it did. Throws AppError.
bool create(const Table& table);

} // namespace Tables
