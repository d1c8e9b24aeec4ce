#pragma once

#include <QDate>
#include <QList>
#include <QString>
#include <QStringList>

// Ledger entries and days written straight into the install's ledger tables, as another program
// would, for the takings tests, their pictures and the benchmark.
namespace SampleLedger {

struct Entry
{
    QString day, start;
    int minutes = 0;
    QString kind;
    double cost = 0;
    QString station;
};

// "day|start|minutes|kind|cost|station"; the kind "g" or "i" stands for the games or internet word.
Entry entryOf(const QString& line);

// Stores the entries, then the days: each "text" (an empty total) or "text=sum".
void store(const QList<Entry>& entries, const QStringList& days);
// Every day of the entries with the sum of its entries as its total.
QStringList daysOf(const QList<Entry>& entries);

// A café's month up to the given day, the same on every run: PC01 to PC06, games and internet,
// busier in the evenings and at the weekend, dates and times in the given formats.
QList<Entry> month(const QDate& last, const QString& dateFormat, const QString& timeFormat);

} // namespace SampleLedger
