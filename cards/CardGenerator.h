#pragma once

#include <QString>

// The checks and texts of the card generator and the card tariff save.
namespace Cards {

inline constexpr int MinBatch = 1;
inline constexpr int MaxBatch = 1000;
inline constexpr double MaxGamesTariff = 10;

QString entryErrorMessage();   // a games tariff out of range
QString countErrorMessage();   // a count out of range
QString storedMessage();       // the card tariffs were saved
QString generateCaption();     // the generate button at rest
QString defaultCount();        // what the count box returns to after a refused count

// Reads the games tariff as the operator typed it. Throws AppError when the text is not a
// number; returns false when it lies outside 0 to 10 (both accepted).
bool gamesTariffAccepted(const QString& text);

// Reads the count of cards to create. Throws AppError when the text is not a whole number;
// returns 0 when it lies outside 1 to 1000.
int acceptedCount(const QString& text);

} // namespace Cards
