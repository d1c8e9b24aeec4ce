// Any bytes as the SMB credentials file, the tariff file or the station roster: values or a clear
// refusal. The tariffs read from any file save back into it without touching its other lines.

#include "FuzzCommon.h"

#include "install/InstallPaths.h"
#include "install/SettingFiles.h"
#include "platform/AppError.h"
#include "platform/files/LineBuffer.h"
#include "platform/files/SmbClient.h"
#include "platform/files/WinPath.h"

#include <sys/stat.h>

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    Fuzz::makePrefix();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString credentials = SmbClient::credentialsPath();
    Fuzz::writeFile(credentials, data, size);
    ::chmod(QFile::encodeName(credentials).constData(), 0600);
    // A private plain file of any content is used: only its "name = value" lines count.
    FUZZ_CHECK(!SmbClient::credentialsProblem());

    const QString tariffPath = WinPath::resolve(InstallPaths::TariffFile).localPath;
    FUZZ_CHECK(!tariffPath.isEmpty());
    Fuzz::writeFile(tariffPath, data, size);
    LineBuffer buffer;
    const SettingFiles::Tariffs tariffs = SettingFiles::loadTariffs(buffer);
    const QByteArray before = buffer.text();
    try {
        if (SettingFiles::changeTariffs(buffer, tariffs, SettingFiles::saveTariffs, SettingFiles::InternetTariff::AsTyped)
            == SettingFiles::storedMessage()) {
            LineBuffer reread;
            const SettingFiles::Tariffs again = SettingFiles::loadTariffs(reread);
            FUZZ_CHECK(again.games == tariffs.games && again.internet == tariffs.internet);
            // Lines after the two tariffs are kept byte for byte.
            const QList<QByteArray> was = before.split('\n');
            const QList<QByteArray> now = reread.text().split('\n');
            FUZZ_CHECK(now.size() >= was.size());
            for (qsizetype i = 2; i < was.size(); ++i)
                FUZZ_CHECK(now.at(i) == was.at(i));
        }
    } catch (const AppError& error) {
        FUZZ_CHECK(!error.text().isEmpty());
    }

    Fuzz::writeFile(WinPath::resolve(InstallPaths::RosterFile).localPath, data, size);
    LineBuffer roster;
    SettingFiles::loadRoster(roster);
    FUZZ_CHECK(roster.text() == before);
    return 0;
}
