#include "app/Settings.h"

#include "app/InstallPaths.h"
#include "platform/Regional.h"
#include "stations/LineBuffer.h"

namespace Settings {

Tariffs loadTariffs(LineBuffer& buffer)
{
    buffer.load(InstallPaths::TariffFile);
    return {buffer.line(0), buffer.line(1)};
}

namespace {
void writeTariffs(LineBuffer& buffer, const Tariffs& tariffs, const QString& path)
{
    buffer.setLine(0, tariffs.games);
    buffer.setLine(1, tariffs.internet);
    buffer.save(path);
}
} // namespace

void saveTariffs(LineBuffer& buffer, const Tariffs& tariffs)
{
    writeTariffs(buffer, tariffs, InstallPaths::TariffFile);
}

void saveCardTariffs(LineBuffer& buffer, const Tariffs& tariffs)
{
    writeTariffs(buffer, tariffs, InstallPaths::CardTariffFile);
}

bool gamesTariffAccepted(const QString& text)
{
    const double tariff = Regional::parseDecimal(text);
    return tariff >= 0 && tariff <= 10;
}

QString entryErrorMessage()
{
    return QStringLiteral("يوجد خطأ في إدخال البيانات");
}

QString storedMessage()
{
    return QStringLiteral("تم التخزين بنجاح");
}

void loadRoster(LineBuffer& buffer)
{
    buffer.load(InstallPaths::RosterFile);
}

} // namespace Settings
