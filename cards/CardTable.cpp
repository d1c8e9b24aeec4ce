#include "cards/CardTable.h"

#include "platform/InstallPaths.h"
#include "platform/Regional.h"
#include "platform/TableStore.h"

namespace Cards {

namespace {

void use(TableStore& table, const QString& directory, const QString& name)
{
    table.CloseTable();
    table.OpenTable(directory, name);
}

} // namespace

void useTempTable(TableStore& table)
{
    use(table, InstallPaths::TempCardDir, TempTableName);
}

void useMainTable(TableStore& table)
{
    use(table, InstallPaths::CardDir, MainTableName);
}

QString writeCard(TableStore& table, CardRandom& random, const CardOrder& order,
                  const std::function<void(const QString& number)>& beforeStore)
{
    // The price is known before the card is begun: a card stopped halfway would otherwise stay
    // in the table as a blank row, and its half-set fields would be stored by whatever touches
    // the table next, as a card with minutes but no number.
    const double tariff = Regional::parseDecimal(order.tariffText);

    table.InsertRow();
    table.PostRow();

    random.reseed();
    const Draw draw = random.draw();
    QString number = numberHead(Regional::parseWholeNumber(table.GetFieldText(QStringLiteral("Auto"))), draw);

    table.EditRow();
    table.SetFieldInteger(QStringLiteral("Time1"), order.category.minutes);
    table.SetFieldInteger(QStringLiteral("ReminTime"), order.category.minutes);
    table.SetFieldText(QStringLiteral("Kind"), order.kind.word);
    table.SetFieldFloat(QStringLiteral("Cost"), tariff * order.category.minutes);
    number += numberTail(order.category, order.kind);
    table.SetFieldText(QStringLiteral("Used"), unusedState());
    table.SetFieldText(QStringLiteral("Num"), number);
    if (beforeStore)
        beforeStore(number);
    table.PostRow();
    return number;
}

} // namespace Cards
