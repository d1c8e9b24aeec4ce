#pragma once

#include <QString>

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

} // namespace Cards
