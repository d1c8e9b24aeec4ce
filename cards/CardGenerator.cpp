#include "cards/CardGenerator.h"

#include "platform/Regional.h"

namespace Cards {

QString entryErrorMessage()
{
    return QStringLiteral("يوجد خطأ في إدخال البيانات");
}

QString countErrorMessage()
{
    return QStringLiteral("الرقم المدخل أكبر من 1000 أو أصغر من 1");
}

QString storedMessage()
{
    return QStringLiteral("تم التخزين بنجاح");
}

QString generateCaption()
{
    return QStringLiteral("إنشاء بطاقات جديدة");
}

QString defaultCount()
{
    return QStringLiteral("10");
}

bool gamesTariffAccepted(const QString& text)
{
    const double tariff = Regional::parseDecimal(text);
    return tariff >= 0 && tariff <= MaxGamesTariff;
}

int acceptedCount(const QString& text)
{
    const int count = Regional::parseWholeNumber(text);
    return count >= MinBatch && count <= MaxBatch ? count : 0;
}

} // namespace Cards
