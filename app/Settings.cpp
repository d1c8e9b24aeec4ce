#include "app/Settings.h"

#include "app/InstallPaths.h"
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

void loadRoster(LineBuffer& buffer)
{
    buffer.load(InstallPaths::RosterFile);
}

} // namespace Settings
