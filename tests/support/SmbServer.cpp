#include "support/SmbServer.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <arpa/inet.h>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <libsmbclient.h>
#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString script()
{
    return qEnvironmentVariable("QUORVEL_TEST_SMBD_SCRIPT");
}

qint64 pidOf(const QString& dir)
{
    const QStringList pidFiles = QDir(dir + QStringLiteral("/pid")).entryList({QStringLiteral("smbd*.pid")}, QDir::Files);
    if (pidFiles.isEmpty())
        return -1;
    QFile file(dir + QStringLiteral("/pid/") + pidFiles.first());
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    return file.readAll().trimmed().toLongLong();
}

} // namespace

SmbServer::SmbServer(const QString& dir, const QString& address, bool owned)
    : m_dir(dir)
    , m_address(address)
    , m_owned(owned)
{
}

SmbServer::~SmbServer()
{
    // A stopped server would not hear that it is to stop.
    freeze(false);
    if (m_owned)
        QProcess::execute(script(), {QStringLiteral("stop"), m_dir});
}

std::unique_ptr<SmbServer> SmbServer::fixture()
{
    const QString dir = qEnvironmentVariable("QUORVEL_TEST_SMBD_DIR");
    if (dir.isEmpty() || pidOf(dir) <= 0)
        return nullptr;
    return std::unique_ptr<SmbServer>(new SmbServer(dir, QStringLiteral("127.0.0.2"), false));
}

std::unique_ptr<SmbServer> SmbServer::start(const QString& dir, const QString& address)
{
    // The share's guest account must be able to pass through a private temporary folder.
    (void)::chmod(QFile::encodeName(QFileInfo(dir).absolutePath()).constData(), 0755);
    if (script().isEmpty() || QProcess::execute(script(), {QStringLiteral("start"), dir, address}) != 0)
        return nullptr;
    return std::unique_ptr<SmbServer>(new SmbServer(dir, address, true));
}

void SmbServer::useTestClientConfig()
{
    static QTemporaryDir home;
    QDir().mkpath(home.path() + QStringLiteral("/.smb"));
    QFile conf(home.path() + QStringLiteral("/.smb/smb.conf"));
    if (!conf.open(QIODevice::WriteOnly)
        || conf.write("[global]\n    name resolve order = host\n    client min protocol = SMB2_10\n") < 0)
        qFatal("cannot write the client configuration");
    qputenv("HOME", QFile::encodeName(home.path()));
}

void SmbServer::writeFile(const QString& relative, const QByteArray& bytes) const
{
    const QString path = share() + QLatin1Char('/') + relative;
    const struct passwd* nobody = ::getpwnam("nobody");
    QString dir = QFileInfo(path).absolutePath();
    QDir().mkpath(dir);
    for (; dir.startsWith(share()) && nobody; dir = QFileInfo(dir).absolutePath())
        (void)::chown(QFile::encodeName(dir).constData(), nobody->pw_uid, nobody->pw_gid);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
    file.close();
    if (nobody)
        (void)::chown(QFile::encodeName(path).constData(), nobody->pw_uid, nobody->pw_gid);
}

QByteArray SmbServer::readFile(const QString& relative) const
{
    QFile file(share() + QLatin1Char('/') + relative);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

QString SmbServer::commandDir()
{
    return QStringLiteral("Program Files/Kelvarin/QuorvelNet/command");
}

void SmbServer::addStation(const QByteArray& commandFile) const
{
    writeFile(commandDir() + QStringLiteral("/command.inf"), commandFile);
    writeFile(commandDir() + QStringLiteral("/conect.inf"), QByteArray());
}

QByteArray SmbServer::commandFile() const
{
    return readFile(commandDir() + QStringLiteral("/command.inf"));
}

QByteArray SmbServer::commandFileUrl() const
{
    return "smb://" + m_address.toLatin1() + "/C/" + commandDir().toLatin1() + "/command.inf";
}

void SmbServer::kill()
{
    const qint64 pid = pidOf(m_dir);
    if (pid <= 0)
        return;
    // The daemon leads its own process group: the group is the server and its connections.
    ::kill(-pid_t(pid), SIGKILL);
    for (int i = 0; i < 100 && ::kill(pid_t(pid), 0) == 0; ++i)
        ::usleep(20000);
    // Its pid may be reused: nothing is stopped by it later.
    for (const QString& f : QDir(m_dir + QStringLiteral("/pid")).entryList({QStringLiteral("smbd*.pid")}, QDir::Files))
        QFile::remove(m_dir + QStringLiteral("/pid/") + f);
}

void SmbServer::freeze(bool frozen)
{
    const qint64 pid = pidOf(m_dir);
    if (pid <= 0 || frozen == m_frozen)
        return;
    // The daemon leads its own process group: the group is the server and its connections.
    ::kill(-pid_t(pid), frozen ? SIGSTOP : SIGCONT);
    m_frozen = frozen;
}

SmbHolder::SmbHolder(const QByteArray& url, bool forWriting, ShareMode mode)
{
    SMBCCTX* ctx = smbc_new_context();
    m_ctx = ctx;
    smbc_setTimeout(ctx, 2000);
    smbc_setFunctionAuthDataWithContext(ctx, [](SMBCCTX*, const char*, const char*, char*, int, char* user, int, char* pw, int) {
        std::strcpy(user, "guest");
        pw[0] = '\0';
    });
    if (!smbc_init_context(ctx))
        qFatal("no second client");
    smbc_setOptionOpenShareMode(ctx,
                                mode == DenyAll         ? SMBC_SHAREMODE_DENY_ALL
                                    : mode == DenyWrite ? SMBC_SHAREMODE_DENY_WRITE
                                                        : SMBC_SHAREMODE_DENY_NONE);
    m_file = smbc_getFunctionOpen(ctx)(ctx, url.constData(), forWriting ? O_RDWR : O_RDONLY, 0);
}

SmbHolder::~SmbHolder()
{
    auto* ctx = static_cast<SMBCCTX*>(m_ctx);
    if (m_file)
        smbc_getFunctionClose(ctx)(ctx, static_cast<SMBCFILE*>(m_file));
    smbc_free_context(ctx, 1);
}

SilentStation::SilentStation(const QString& address, bool dropConnects)
{
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(445);
    ::inet_pton(AF_INET, address.toLatin1().constData(), &a.sin_addr);
    m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int one = 1;
    ::setsockopt(m_listener, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    if (::bind(m_listener, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(m_listener, dropConnects ? 0 : 16) != 0)
        qFatal("cannot listen on %s", qPrintable(address));
    if (dropConnects) {
        // A queue of one, filled: the kernel drops every further connect.
        m_filler = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (::connect(m_filler, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0)
            qFatal("cannot fill the queue of %s", qPrintable(address));
    }
}

SilentStation::~SilentStation()
{
    if (m_filler >= 0)
        ::close(m_filler);
    ::close(m_listener);
}
