#include "support/TestPrefix.h"

#include "install/InstallPaths.h"
#include "install/Tables.h"
#include "platform/files/WinPath.h"
#include "stations/CommandChannel.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

TestPrefix::TestPrefix()
    : m_oldPrefix(qgetenv("QUORVEL_PREFIX"))
    , m_hadPrefix(qEnvironmentVariableIsSet("QUORVEL_PREFIX"))
    , m_oldCwd(QDir::currentPath())
{
    qputenv("QUORVEL_PREFIX", QFile::encodeName(m_dir.path()));
    QDir().mkpath(installDir());
    QDir::setCurrent(installDir());
}

TestPrefix::~TestPrefix()
{
    QDir::setCurrent(m_oldCwd);
    if (m_hadPrefix)
        qputenv("QUORVEL_PREFIX", m_oldPrefix);
    else
        qunsetenv("QUORVEL_PREFIX");
}

QString TestPrefix::installDir() const
{
    return m_dir.path() + QStringLiteral("/drive_c/Program Files/Kelvarin/QuorvelServer");
}

QString TestPrefix::local(const QString& windowsPath) const
{
    return WinPath::resolve(windowsPath).localPath;
}

void TestPrefix::makeInstallTree() const
{
    for (const QString& dir : {InstallPaths::InstallRoot + QStringLiteral("\\commandServer"), InstallPaths::LedgerDir,
                               InstallPaths::CardDir, InstallPaths::TempCardDir})
        QDir().mkpath(local(dir));
}

void TestPrefix::makeTables() const
{
    makeInstallTree();
    Tables::create(Tables::ledgerDays());
    Tables::create(Tables::ledgerEntries());
    Tables::create(Tables::mainCards());
    Tables::create(Tables::tempCards());
}

void TestPrefix::writeFile(const QString& windowsPath, const QByteArray& bytes) const
{
    const QString path = local(windowsPath);
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
}

QByteArray TestPrefix::readFile(const QString& windowsPath) const
{
    QFile file(local(windowsPath));
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray("<missing>");
    return file.readAll();
}

void TestPrefix::addStation(const QString& name, const QByteArray& commandFile) const
{
    QDir().mkpath(m_dir.path() + QStringLiteral("/unc/") + name);
    writeFile(CommandChannel::commandFilePath(name), commandFile);
    writeFile(CommandChannel::probeFilePath(name), QByteArray());
}

QByteArray TestPrefix::commandFile(const QString& station) const
{
    return readFile(CommandChannel::commandFilePath(station));
}
