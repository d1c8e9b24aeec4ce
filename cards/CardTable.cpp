#include "cards/CardTable.h"
#include "platform/AppError.h"

#include <limits>

#include "install/Tables.h"
#include "platform/Regional.h"
#include "platform/store/TableStore.h"

namespace Cards {

namespace {

void use(TableStore& table, const Tables::Table& cards)
{
    table.CloseTable();
    needCardFields(table);
    table.OpenTable(cards.directory, cards.fileName);
}

} // namespace

void needCardFields(TableStore& table)
{
    using Kind = TableStore::FieldKind;
    const QList<Kind> whole{Kind::SmallInt, Kind::Integer};
    // Every field the generator writes, the list shows and the report prints; strings as long as
    // the values written into them.
    table.setNeededFields({
        {Tables::CardField::Auto, {Kind::AutoInc}},
        {Tables::CardField::Number, {Kind::String}, 20},
        {Tables::CardField::Minutes, whole},
        {Tables::CardField::State, {Kind::String}, 15},
        {Tables::CardField::Remaining, whole},
        {Tables::CardField::Cost, {Kind::Float}},
        {Tables::CardField::FirstUse, {Kind::String}},
        {Tables::CardField::Kind, {Kind::String}, 10},
    });
}

void useTempTable(TableStore& table)
{
    use(table, Tables::tempCards());
}

void useMainTable(TableStore& table)
{
    use(table, Tables::mainCards());
}

QString writeCard(TableStore& table, CardRandom& random, const CardOrder& order,
                  const std::function<void(const QString& number)>& beforeStore)
{
    // The price is known before the card is begun, so a tariff that is not a number costs no
    // transaction.
    const double tariff = Regional::parseDecimal(order.tariffText);

    // The number holds the serial, which the table assigns when the row is stored; both stores
    // are one unit, so a card is in the table whole or not at all, whatever stops it halfway.
    TableStore::Unit unit(table);
    table.InsertRow();
    table.SetFieldInteger(Tables::CardField::Minutes, order.category.minutes);
    table.SetFieldInteger(Tables::CardField::Remaining, order.category.minutes);
    table.SetFieldText(Tables::CardField::Kind, order.kind.word);
    table.SetFieldFloat(Tables::CardField::Cost, tariff * order.category.minutes);
    table.SetFieldText(Tables::CardField::State, unusedState());
    table.PostRow();

    // The serial is a 32-bit field: past its end a card would carry a serial no card can hold.
    const qint64 serial = table.GetFieldInteger(Tables::CardField::Auto);
    if (serial > std::numeric_limits<qint32>::max())
        throw AppError(QStringLiteral("بلغ تسلسل البطاقات في هذا الجدول أقصى ما يتسع له (%1)، فلا يمكن إنشاء بطاقات أخرى فيه")
                           .arg(std::numeric_limits<qint32>::max()));

    random.reseed();
    const Draw draw = random.draw();
    const QString number = numberHead(int(serial), draw) + numberTail(order.category, order.kind);
    table.EditRow();
    table.SetFieldText(Tables::CardField::Number, number);
    if (beforeStore)
        beforeStore(number);
    table.PostRow();
    unit.commit();
    return number;
}

} // namespace Cards
