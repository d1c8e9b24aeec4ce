#include "cards/CardBatch.h"

#include "install/Tables.h"
#include "platform/Regional.h"
#include "platform/store/TableStore.h"

namespace Cards {

QString countErrorMessage()
{
    return QStringLiteral("الرقم المدخل أكبر من 1000 أو أصغر من 1");
}

QString generateCaption()
{
    return QStringLiteral("إنشاء بطاقات جديدة");
}

QString defaultCount()
{
    return QStringLiteral("10");
}

int acceptedCount(const QString& text)
{
    const int count = Regional::parseWholeNumber(text);
    return count >= MinBatch && count <= MaxBatch ? count : 0;
}

void BatchTally::add(const TableStore& store)
{
    const qint64 serial = store.GetFieldInteger(Tables::CardField::Auto);
    if (count++ == 0)
        firstSerial = serial;
    lastSerial = serial;
    minutes += store.GetFieldInteger(Tables::CardField::Minutes);
    cost += store.GetFieldFloat(Tables::CardField::Cost);
    const QString kind = store.GetFieldText(Tables::CardField::Kind);
    if (!kinds.contains(kind))
        kinds.append(kind);
    table = store.tableName();
}

Audit::Event BatchTally::event(const QString& stoppedBy) const
{
    Audit::Event row;
    row.event = Audit::Events::CardBatch;
    row.minutes = minutes;
    row.amount = cost;
    row.kind = kinds.join(QLatin1Char('/'));
    row.oldValue = QString::number(firstSerial);
    row.newValue = QString::number(lastSerial);
    row.text = QStringLiteral("%1 cards in %2, serials %3 to %4").arg(count).arg(table).arg(firstSerial).arg(lastSerial);
    if (!stoppedBy.isEmpty())
        row.text += QStringLiteral("; stopped by: ") + stoppedBy;
    return row;
}

} // namespace Cards
