#include "install/SettingFiles.h"

#include "install/Audit.h"
#include "install/InstallPaths.h"
#include "install/SessionKind.h"
#include "platform/AppError.h"
#include "platform/Regional.h"
#include "platform/files/LineBuffer.h"
#include "platform/files/WinFile.h"

#include <cmath>

namespace SettingFiles {

Tariffs loadTariffs(LineBuffer& buffer)
{
    buffer.load(InstallPaths::TariffFile);
    return {buffer.line(0), buffer.line(1)};
}

namespace {
void writeTariffs(LineBuffer& buffer, const Tariffs& tariffs, const QString& path)
{
    // A file of one line has no place for the internet tariff; it gets one, so that a save that
    // succeeds always holds both tariffs.
    buffer.growTo(2);
    buffer.setLine(0, tariffs.games);
    buffer.setLine(1, tariffs.internet);
    // Replaced whole: a failed save leaves the tariffs that were there.
    WinFile::replace(path, buffer.text());
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

QString changeTariffs(LineBuffer& buffer, const Tariffs& tariffs, void (*save)(LineBuffer&, const Tariffs&),
                      InternetTariff internet)
{
    if (!gamesTariffAccepted(tariffs.games))
        return entryErrorMessage();
    if (internet == InternetTariff::MustPrice && !tariffUsable(tariffs.internet))
        return entryErrorMessage();
    save(buffer, tariffs);
    return storedMessage();
}

Answer changeTariffsRecorded(LineBuffer& buffer, const Tariffs& tariffs, const QString& file,
                             void (*save)(LineBuffer&, const Tariffs&), InternetTariff internet, const QString& event)
{
    // A file that cannot be read before is still saved over; its old tariffs are then unknown.
    std::optional<Tariffs> before;
    try {
        LineBuffer stored;
        stored.load(file);
        before = Tariffs{stored.line(0), stored.line(1)};
    } catch (const AppError&) {
    }
    Answer answer{changeTariffs(buffer, tariffs, save, internet), std::nullopt};
    if (answer.message != storedMessage())
        return answer;
    const QList<std::pair<QString, QString Tariffs::*>> kinds{{SessionKind::GamesWord, &Tariffs::games},
                                                              {SessionKind::InternetWord, &Tariffs::internet}};
    for (const auto& [word, field] : kinds) {
        if (before && (*before).*field == tariffs.*field)
            continue;
        Audit::Event row;
        row.event = event;
        row.kind = word;
        row.oldValue = before ? (*before).*field : QString();
        row.newValue = tariffs.*field;
        row.text = before ? QString() : QStringLiteral("the previous tariffs could not be read");
        if (const std::optional<QString> problem = Audit::record(row); problem && !answer.auditProblem)
            answer.auditProblem = problem;
    }
    return answer;
}

bool gamesTariffAccepted(const QString& text)
{
    const double tariff = Regional::parseDecimal(text);
    return tariff >= 0 && tariff <= 10;
}

bool tariffUsable(const QString& text)
{
    // A tariff the sessions cannot price with would only fail, or bill less than nothing, later.
    try {
        const double tariff = Regional::parseDecimal(text);
        return std::isfinite(tariff) && tariff >= 0;
    } catch (const AppError&) {
        return false;
    }
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

} // namespace SettingFiles
