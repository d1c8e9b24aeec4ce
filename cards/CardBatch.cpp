#include "cards/CardBatch.h"

#include "platform/Regional.h"

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

} // namespace Cards
