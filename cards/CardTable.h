#pragma once

#include "cards/CardNumber.h"

#include <QString>

#include <functional>

class TableStore;

// The card tables and the writing of one card into them.
namespace Cards {

// Makes the table refuse, when it opens, a card table whose fields this program cannot use.
void needCardFields(TableStore& table);

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

// Writes one card into the table as one unit: the row with its category, kind, price and state is
// stored for its serial, then its number is set and stored, and only then is the card committed.
// `beforeStore` sees the number just before the second store. Returns the number. Throws
// AppError; a card that fails at any step leaves no row behind and nothing pending.
QString writeCard(TableStore& table, CardRandom& random, const CardOrder& order,
                  const std::function<void(const QString& number)>& beforeStore = {});

} // namespace Cards
