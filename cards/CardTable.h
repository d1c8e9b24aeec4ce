#pragma once

#include "cards/CardNumber.h"

#include <QString>

#include <functional>

class TableStore;

// The card tables and the writing of one card into them.
namespace Cards {

inline const QString MainTableName = QStringLiteral("Card.db");
inline const QString TempTableName = QStringLiteral("Card1.db");

// Closes whatever the table holds and opens the temporary or the main card table.
void useTempTable(TableStore& table);
void useMainTable(TableStore& table);

// What the operator has chosen for the next card, read when the card is written.
struct CardOrder
{
    Category category;
    Kind kind;
    QString tariffText; // the tariff box of the kind, as typed
};

// Writes one card into the table: a blank row stored at once for its serial, then the same row
// with its category, kind, price, state and number, stored again. `beforeStore` sees the number
// just before the second store. Returns the number. Throws AppError; a tariff that is not a
// number fails before anything is stored, so a refused card leaves no row behind.
QString writeCard(TableStore& table, CardRandom& random, const CardOrder& order,
                  const std::function<void(const QString& number)>& beforeStore = {});

} // namespace Cards
