#pragma once

#include "install/Audit.h"

#include <QString>
#include <QStringList>

class TableStore;

// The checks and texts of a batch of cards: how many may be made at once and what the operator is told.
namespace Cards {

inline constexpr int MinBatch = 1;
inline constexpr int MaxBatch = 1000;

QString countErrorMessage(); // a count out of range
QString generateCaption();   // the generate button at rest
QString defaultCount();      // what the count box returns to after a refused count

// Reads the count of cards to create. Throws AppError when the text is not a whole number;
// returns 0 when it lies outside 1 to 1000.
int acceptedCount(const QString& text);

// What a batch made, card by card, for its audit row: the count, the minutes and the price of
// them all, the first and last serial, and the kinds (the operator may switch kind mid-batch).
struct BatchTally
{
    int count = 0;
    qint64 minutes = 0;
    double cost = 0;
    qint64 firstSerial = 0;
    qint64 lastSerial = 0;
    QStringList kinds;
    QString table;

    // Adds the card the table stands on, just written.
    void add(const TableStore& table);
    // The audit row; stoppedBy is the error that ended the batch early, if one did.
    Audit::Event event(const QString& stoppedBy = {}) const;
};

} // namespace Cards
