#include "install/Installer.h"

#include "install/InstallPaths.h"
#include "install/Tables.h"
#include "platform/AppError.h"
#include "platform/files/LineBuffer.h"
#include "platform/files/WinPath.h"
#include "platform/store/TableFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

Installer::Installer(Options options)
    : m_options(std::move(options))
{
}

QStringList Installer::demoStations()
{
    return {QStringLiteral("PC01"), QStringLiteral("PC02"), QStringLiteral("PC03"),
            QStringLiteral("PC04"), QStringLiteral("PC05"), QStringLiteral("PC06")};
}

bool Installer::makeDir(const QString& windowsPath)
{
    const QString local = WinPath::resolve(windowsPath).localPath;
    if (QFileInfo(local).isDir())
        return true;
    if (!QDir().mkpath(local)) {
        m_report << QStringLiteral("failed to create directory %1").arg(local);
        return false;
    }
    m_report << QStringLiteral("created directory %1").arg(local);
    return true;
}

bool Installer::makeFile(const QString& windowsPath, const QByteArray& content)
{
    const QString local = WinPath::resolve(windowsPath).localPath;
    if (QFileInfo::exists(local)) {
        m_report << QStringLiteral("kept %1").arg(local);
        return true;
    }
    QFile file(local);
    // NewOnly: a file that appeared meanwhile is still never overwritten.
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly) || file.write(content) != content.size()) {
        m_report << QStringLiteral("failed to create %1: %2").arg(local, file.errorString());
        return false;
    }
    m_report << QStringLiteral("created %1").arg(local);
    return true;
}

bool Installer::linkProgram(const QString& fileName)
{
    const QString source = QDir(m_options.programDir).absoluteFilePath(fileName);
    const QString target = WinPath::resolve(InstallPaths::InstallRoot + QLatin1Char('\\') + fileName).localPath;
    if (QFileInfo(target).exists() || QFileInfo(target).isSymLink()) {
        m_report << QStringLiteral("kept %1").arg(target);
        return true;
    }
    if (!QFileInfo(source).isFile()) {
        m_report << QStringLiteral("not found: %1 (not linked)").arg(source);
        return true;
    }
    if (!QFile::link(source, target)) {
        m_report << QStringLiteral("failed to link %1 to %2").arg(target, source);
        return false;
    }
    m_report << QStringLiteral("linked %1 -> %2").arg(target, source);
    return true;
}

bool Installer::makeTables()
{
    bool ok = true;
    QList<Tables::Table> tables = Tables::all();
    tables.append(Tables::audit());
    for (const Tables::Table& table : tables) {
        const QString local = WinPath::resolve(table.windowsPath()).localPath;
        try {
            m_report << (Tables::create(table) ? QStringLiteral("created table %1") : QStringLiteral("kept %1")).arg(local);
        } catch (const AppError& error) {
            m_report << QStringLiteral("failed to create table %1: %2").arg(local, error.text());
            ok = false;
        }
    }
    return ok;
}

void Installer::warnOfShadowingFolders()
{
    // A folder under unc/ wins over the network: a demo's PC01 left behind would take every
    // command and bill meant for the real station PC01, with a green lamp.
    const QDir unc(WinPath::prefix() + QStringLiteral("/unc"));
    const QStringList folders = unc.entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    if (folders.isEmpty())
        return;
    LineBuffer roster;
    try {
        roster.load(InstallPaths::InstallRoot + QLatin1Char('\\') + InstallPaths::RosterFile);
    } catch (const AppError&) {
        return;
    }
    for (qsizetype i = 0; i < roster.lineCount(); ++i) {
        const QString name = roster.line(i);
        for (const QString& folder : folders) {
            if (!name.isEmpty() && folder.compare(name, Qt::CaseInsensitive) == 0)
                m_report << QStringLiteral("warning: station %1 is the local folder %2, not the computer on the network; "
                                           "remove the folder to reach the station")
                                .arg(name, unc.filePath(folder));
        }
    }
}

bool Installer::run()
{
    bool ok = true;
    const QString commandServer = InstallPaths::InstallRoot + QStringLiteral("\\commandServer");
    ok &= makeDir(commandServer);
    ok &= makeDir(InstallPaths::LedgerDir);
    ok &= makeDir(InstallPaths::CardDir);
    ok &= makeDir(InstallPaths::TempCardDir);
    ok &= makeDir(InstallPaths::AuditDir);
    ok &= makeFile(InstallPaths::TariffFile, "0.5\r\n0.5");
    ok &= makeFile(InstallPaths::CardTariffFile, "0.5\r\n0.5");

    QByteArray roster;
    if (m_options.demo) {
        const QStringList stations = demoStations();
        roster = stations.join(QStringLiteral("\r\n")).toLatin1();
        for (qsizetype i = 0; i + 1 < stations.size(); ++i) {
            const QString dir = InstallPaths::stationCommandDir(stations.at(i));
            // The share of a simulated station is a mapped directory under <prefix>/unc.
            const QString share = WinPath::prefix() + QStringLiteral("/unc/") + stations.at(i);
            if (!QFileInfo(share).isDir()) {
                QDir().mkpath(share);
                m_report << QStringLiteral("created simulated station %1").arg(share);
            }
            ok &= makeDir(dir);
            ok &= makeFile(dir + QLatin1Char('\\') + InstallPaths::CommandFileName, InstallPaths::RestingCommandFile);
            ok &= makeFile(dir + QLatin1Char('\\') + InstallPaths::ProbeFileName, QByteArray());
        }
    }
    ok &= makeFile(InstallPaths::InstallRoot + QLatin1Char('\\') + InstallPaths::RosterFile, roster);
    ok &= makeTables();
    if (!m_options.demo)
        warnOfShadowingFolders();
    if (!m_options.programDir.isEmpty()) {
        ok &= linkProgram(QStringLiteral("QuorvelServer"));
        ok &= linkProgram(InstallPaths::CardProgram);
        ok &= linkProgram(QStringLiteral("quorvel-import"));
        ok &= linkProgram(QStringLiteral("quorvel-export"));
        ok &= linkProgram(QStringLiteral("quorvel-report"));
        ok &= linkProgram(QStringLiteral("quorvel-audit"));
    }
    return ok;
}
