#include "platform/files/SmbClient.h"
#include "platform/files/SystemTexts.h"

#include "platform/files/SmbAgent.h"
#include "platform/files/WinPath.h"

#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QList>
#include <QMutex>
#include <QSet>
#include <QUrl>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <libsmbclient.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace SmbClient {

namespace {

// The bound on dialling a station and on waiting for any one answer from it, in milliseconds.
constexpr int BoundMs = 1000;
// A station that failed is answered from memory for this long: the twelve countdowns and a probe
// in one second cost one wait, not thirteen.
constexpr qint64 RememberFailureMs = 1000;
constexpr int SmbPort = 445;

qint64 nowMs()
{
    static QElapsedTimer clock;
    if (!clock.isValid())
        clock.start();
    return clock.elapsed();
}

struct HostState
{
    bool connected = false;    // libsmbclient holds a session that worked last time
    bool logonRefused = false; // the last log-on was refused, not yet told
    qint64 answeredAt = -1;    // the port answered a dial at this time
    qint64 failedAt = -1;      // the station failed at this time; for a while it is answered from memory
};

QHash<QString, HostState>& hosts()
{
    static QHash<QString, HostState> table;
    return table;
}

HostState& stateOf(const QString& host)
{
    return hosts()[host.toLower()];
}

void remember(HostState& state)
{
    state.connected = false;
    state.answeredAt = -1;
    state.failedAt = nowMs();
}

struct Credentials
{
    QByteArray username;
    QByteArray password;
    QByteArray domain;
    std::optional<QString> problem; // why the file is refused
};

QString cannotReadText(const QString& reason)
{
    return QStringLiteral("لا يمكن قراءة ملف بيانات الدخول \"%1\": %2").arg(credentialsPath(), reason);
}

Credentials loadCredentials()
{
    Credentials c;
    const QByteArray path = QFile::encodeName(credentialsPath());
    struct stat st
    {};
    if (::lstat(path.constData(), &st) != 0) {
        if (errno != ENOENT)
            c.problem = cannotReadText(QString::fromLocal8Bit(std::strerror(errno)));
        return c;
    }
    if (!S_ISREG(st.st_mode)) {
        c.problem = QStringLiteral("ملف بيانات الدخول \"%1\" ليس ملفا عاديا، فلم يُستعمل.").arg(credentialsPath());
        return c;
    }
    if ((st.st_mode & (S_IRGRP | S_IROTH)) != 0) {
        c.problem = QStringLiteral("ملف بيانات الدخول \"%1\" يستطيع مستخدمون آخرون قراءته، فلم يُستعمل. "
                                   "اجعله مقروءا لمالكه فقط (chmod 600).")
                        .arg(credentialsPath());
        return c;
    }
    QFile file(credentialsPath());
    if (!file.open(QIODevice::ReadOnly)) {
        c.problem = cannotReadText(file.errorString());
        return c;
    }
    // smbclient's authentication file: "name = value" lines; the value runs to the end of the line.
    QByteArray text = file.read(64 * 1024);
    // Written by a Windows editor, the file may start with a byte-order mark.
    if (text.startsWith("\xEF\xBB\xBF"))
        text.remove(0, 3);
    for (const QByteArray& raw : text.split('\n')) {
        const qsizetype eq = raw.indexOf('=');
        if (eq < 0)
            continue;
        const QByteArray key = raw.left(eq).trimmed().toLower();
        const QByteArray value = raw.mid(eq + 1).trimmed();
        if (key == "username")
            c.username = value;
        else if (key == "password")
            c.password = value;
        else if (key == "domain")
            c.domain = value;
    }
    return c;
}

// What the credentials file was when it was read: a file rewritten, replaced or given other
// permissions differs in one of these, so an operation costs one lstat rather than a read.
struct FileStamp
{
    QByteArray path;
    bool exists = false;
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    mode_t mode = 0;
    qint64 modifiedNs = 0;
    qint64 changedNs = 0;
    bool operator==(const FileStamp&) const = default;
};

qint64 nanoseconds(const timespec& t)
{
    return qint64(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
}

// Nothing when the file cannot be looked at: it is then read every time, which says why.
std::optional<FileStamp> stampOf(const QByteArray& path)
{
    FileStamp stamp;
    stamp.path = path;
    struct stat st
    {};
    if (::lstat(path.constData(), &st) != 0)
        return errno == ENOENT ? std::optional(stamp) : std::nullopt;
    stamp.exists = true;
    stamp.device = st.st_dev;
    stamp.inode = st.st_ino;
    stamp.size = st.st_size;
    stamp.mode = st.st_mode;
    stamp.modifiedNs = nanoseconds(st.st_mtim);
    stamp.changedNs = nanoseconds(st.st_ctim);
    return stamp;
}

// The credentials, read again only when the file changed. A file changed within the last second
// could change again within the same tick of the file system's clock, its stamp the same: it is
// read every time until it is older. A refused file is read every time too. The agent's thread only.
Credentials currentCredentials()
{
    static std::optional<FileStamp> readAt;
    static Credentials held;
    const std::optional<FileStamp> stamp = stampOf(QFile::encodeName(credentialsPath()));
    if (stamp && stamp == readAt)
        return held;
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    held = loadCredentials();
    const bool settled = stamp && nanoseconds(now) - stamp->changedNs > 1'000'000'000;
    readAt = settled && !held.problem ? stamp : std::nullopt;
    return held;
}

void copyInto(char* target, int size, const QByteArray& value)
{
    if (size <= 0)
        return;
    const int n = std::min(int(value.size()), size - 1);
    std::memcpy(target, value.constData(), size_t(n));
    target[n] = '\0';
}

void authenticate(SMBCCTX*, const char*, const char*, char* workgroup, int workgroupSize, char* username, int usernameSize,
                  char* password, int passwordSize)
{
    // Taken afresh for every new session, so a corrected file needs no restart.
    const Credentials c = currentCredentials();
    if (c.username.isEmpty()) {
        copyInto(username, usernameSize, "guest");
        copyInto(password, passwordSize, QByteArray());
        return;
    }
    if (!c.domain.isEmpty())
        copyInto(workgroup, workgroupSize, c.domain);
    copyInto(username, usernameSize, c.username);
    copyInto(password, passwordSize, c.password);
}

// A cached session is trusted as it is: if the station has gone, the operation itself fails
// within the bound and the session is dropped then. The library's own check would redial on its
// own, past every bound we set.
int keepServer(SMBCCTX*, SMBCSRV*)
{
    return 0;
}

SMBCCTX* context()
{
    static SMBCCTX* ctx = [] {
        // A write to a station that reset its connection must not end the console.
        std::signal(SIGPIPE, SIG_IGN);
        SMBCCTX* c = smbc_new_context();
        if (!c)
            return c;
        smbc_setDebug(c, 0);
        smbc_setTimeout(c, BoundMs);
        smbc_setPort(c, SmbPort);
        smbc_setFunctionAuthData(c, nullptr);
        smbc_setFunctionAuthDataWithContext(c, authenticate);
        smbc_setFunctionCheckServer(c, keepServer);
        if (!smbc_init_context(c)) {
            smbc_free_context(c, 1);
            return static_cast<SMBCCTX*>(nullptr);
        }
        return c;
    }();
    return ctx;
}

// Drops every station's session (the library purges them all at once); each is dialled again
// before its next use, so that no reconnect runs past our bound.
void dropSessions()
{
    if (SMBCCTX* ctx = context())
        smbc_getFunctionPurgeCachedServers(ctx)(ctx);
    for (HostState& state : hosts())
        state.connected = false;
}

void dial(const QString& host)
{
    HostState& state = stateOf(host);
    if (portAnswers(host))
        state.answeredAt = nowMs();
    else
        remember(state);
}

bool isFresh(qint64 at)
{
    return at >= 0 && nowMs() - at < RememberFailureMs;
}

// The errors that concern one file; nothing for any other, which means the station or its
// session failed.
std::optional<QString> fileErrorText(int err)
{
    switch (err) {
    case ENOENT:
    case ENOTDIR:
        return SystemTexts::fileNotFound();
    case EACCES:
    case EPERM:
    case EROFS:
        return SystemTexts::accessDenied();
    case EISDIR:
        return SystemTexts::notAFile();
    case EBUSY:
        return SystemTexts::sharingViolation();
    case EFBIG:
        return SystemTexts::fileTooLarge();
    default:
        return std::nullopt;
    }
}

// Runs one operation on a station's share under the bounds and maps its errno.
template <typename Operation>
std::optional<QString> onHost(const Target& target, Operation operation)
{
    const Credentials given = currentCredentials();
    if (given.problem)
        return given.problem;
    // Sessions made under other credentials are not used under new ones: a corrected (or
    // mistaken) file counts from the next operation, not from the next session the library makes.
    static QByteArray usedFor;
    const QByteArray now = given.username + '\0' + given.password + '\0' + given.domain;
    if (now != usedFor) {
        dropSessions();
        usedFor = now;
    }

    for (int attempt = 0;; ++attempt) {
        HostState& state = stateOf(target.host);
        if (isFresh(state.failedAt))
            return SystemTexts::networkPathNotFound();
        if (!state.connected && !isFresh(state.answeredAt)) {
            dial(target.host);
            if (isFresh(stateOf(target.host).failedAt))
                return SystemTexts::networkPathNotFound();
        }
        SMBCCTX* ctx = context();
        if (!ctx)
            return SystemTexts::networkPathNotFound();
        // Given credentials are the only ones tried: a wrong password must not become a guest.
        smbc_setOptionNoAutoAnonymousLogin(ctx, !given.username.isEmpty());
        const bool reused = stateOf(target.host).connected;
        const qint64 started = nowMs();
        const int err = operation(ctx);
        HostState& after = stateOf(target.host);
        if (err == 0) {
            after.connected = true;
            after.logonRefused = false;
            return std::nullopt;
        }
        if (const std::optional<QString> fileText = fileErrorText(err)) {
            // A refusal may have been the log-on itself, which leaves no session behind; on a new
            // session it is taken as such, so that a wrong password is not a switched-off station.
            const bool refused = err == EACCES || err == EPERM;
            if (refused && !reused)
                after.logonRefused = true;
            after.connected = !refused;
            return fileText;
        }
        dropSessions();
        // A session the station dropped (it restarted, say) fails at once: dial it again once,
        // as Windows does, rather than fail a command on a station that is up.
        if (reused && attempt == 0 && nowMs() - started < BoundMs / 2) {
            after.connected = false;
            after.answeredAt = -1;
            continue;
        }
        remember(after);
        return SystemTexts::networkPathNotFound();
    }
}

} // namespace

// Dials port 445 at every address the host's name resolves to, with non-blocking connects, and
// gives up when none has answered within the bound. Names go through the system's resolver.
bool portAnswers(const QString& host)
{
    QList<int> attempts;
    struct addrinfo hints
    {};
    hints.ai_socktype = SOCK_STREAM;
    struct addrinfo* list = nullptr;
    if (::getaddrinfo(host.toUtf8().constData(), "445", &hints, &list) == 0) {
        for (struct addrinfo* a = list; a; a = a->ai_next) {
            const int fd = ::socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol);
            if (fd < 0)
                continue;
            if (::connect(fd, a->ai_addr, a->ai_addrlen) == 0 || errno == EINPROGRESS)
                attempts.append(fd);
            else
                ::close(fd);
        }
        ::freeaddrinfo(list);
    }

    bool answered = false;
    // A clock of its own: the console asks from every station's thread at once.
    QElapsedTimer clock;
    clock.start();
    QList<int> pending = attempts;
    while (!answered && !pending.isEmpty()) {
        const qint64 left = BoundMs - clock.elapsed();
        if (left <= 0)
            break;
        QList<struct pollfd> fds;
        for (int fd : pending)
            fds.append({fd, POLLOUT, 0});
        if (::poll(fds.data(), nfds_t(fds.size()), int(left)) < 0 && errno != EINTR)
            break;
        QList<int> still;
        for (const struct pollfd& polled : fds) {
            if (polled.revents == 0) {
                still.append(polled.fd);
                continue;
            }
            int err = 0;
            socklen_t len = sizeof err;
            if (::getsockopt(polled.fd, SOL_SOCKET, SO_ERROR, &err, &len) == 0 && err == 0)
                answered = true;
        }
        pending = still;
    }
    for (int fd : attempts)
        ::close(fd);

    return answered;
}

QString credentialsPath()
{
    return WinPath::prefix() + QStringLiteral("/smb-credentials");
}

std::optional<QString> credentialsProblem()
{
    return loadCredentials().problem;
}

namespace {

QMutex g_refusedMutex;
QSet<QString>& refusedHosts()
{
    static QSet<QString> hosts;
    return hosts;
}

std::optional<QString> failureOf(const SmbAgent::Reply& reply, const QString& host)
{
    if (reply.logonRefused) {
        QMutexLocker lock(&g_refusedMutex);
        refusedHosts().insert(host.toLower());
    }
    return reply.failure;
}

} // namespace

QStringList takeRefusedLogons()
{
    QMutexLocker lock(&g_refusedMutex);
    QStringList refused(refusedHosts().cbegin(), refusedHosts().cend());
    refusedHosts().clear();
    refused.sort();
    return refused;
}

std::optional<QString> read(const Target& target, qsizetype maxSize, QByteArray& bytes)
{
    const SmbAgent::Reply reply = SmbAgent::call({SmbAgent::Op::Read, target.host, target.url, maxSize, {}, WinPath::prefix()});
    bytes = reply.failure ? QByteArray() : reply.bytes;
    return failureOf(reply, target.host);
}

std::optional<QString> write(const Target& target, const QByteArray& bytes)
{
    return failureOf(SmbAgent::call({SmbAgent::Op::Write, target.host, target.url, 0, bytes, WinPath::prefix()}), target.host);
}

QString logonRefusedText(const QStringList& hosts)
{
    const QString names = hosts.join(QStringLiteral("، "));
    if (loadCredentials().username.isEmpty())
        return QStringLiteral("رفضت هذه الأجهزة الدخول كضيف: %1. اكتب اسم المستخدم وكلمة السر في الملف \"%2\".")
            .arg(names, credentialsPath());
    return QStringLiteral("رفضت هذه الأجهزة الدخول باسم المستخدم وكلمة السر الموجودين في الملف \"%2\": %1.")
        .arg(names, credentialsPath());
}

QByteArray url(const QString& host, const QStringList& components)
{
    QByteArray u = "smb://" + QUrl::toPercentEncoding(host, ".-_");
    for (const QString& c : components)
        u += '/' + QUrl::toPercentEncoding(c);
    return u;
}

namespace Direct {

QStringList takeRefusedLogons()
{
    QStringList refused;
    for (auto it = hosts().begin(); it != hosts().end(); ++it) {
        if (it->logonRefused) {
            refused.append(it.key());
            it->logonRefused = false;
        }
    }
    refused.sort();
    return refused;
}

std::optional<QString> read(const Target& target, qsizetype maxSize, QByteArray& bytes)
{
    return onHost(target, [&](SMBCCTX* ctx) {
        bytes.clear();
        smbc_setOptionOpenShareMode(ctx, SMBC_SHAREMODE_DENY_WRITE);
        SMBCFILE* file = smbc_getFunctionOpen(ctx)(ctx, target.url.constData(), O_RDONLY, 0);
        if (!file)
            return errno ? errno : EIO;
        int err = 0;
        char chunk[65536];
        for (;;) {
            const ssize_t n = smbc_getFunctionRead(ctx)(ctx, file, chunk, sizeof chunk);
            if (n < 0) {
                err = errno ? errno : EIO;
                break;
            }
            if (n == 0)
                break;
            bytes.append(chunk, n);
            if (bytes.size() > maxSize) {
                err = EFBIG;
                break;
            }
        }
        smbc_getFunctionClose(ctx)(ctx, file);
        if (err)
            bytes.clear();
        return err;
    });
}

std::optional<QString> write(const Target& target, const QByteArray& bytes)
{
    return onHost(target, [&](SMBCCTX* ctx) {
        // Held deny-all before anything changes: a file another party has open is left as it was.
        smbc_setOptionOpenShareMode(ctx, SMBC_SHAREMODE_DENY_ALL);
        // Never created: a station file that vanished is not the console's to make again.
        SMBCFILE* file = smbc_getFunctionOpen(ctx)(ctx, target.url.constData(), O_WRONLY, 0);
        if (!file)
            return errno ? errno : EIO;
        int err = 0;
        // The new text over the old, then the file cut to its length, so a connection lost on the
        // way leaves the old text or the new one rather than an empty file.
        qsizetype done = 0;
        while (!err && done < bytes.size()) {
            const ssize_t n = smbc_getFunctionWrite(ctx)(ctx, file, bytes.constData() + done, size_t(bytes.size() - done));
            if (n <= 0)
                err = errno ? errno : EIO;
            else
                done += n;
        }
        if (!err && smbc_getFunctionFtruncate(ctx)(ctx, file, off_t(bytes.size())) < 0)
            err = errno ? errno : EIO;
        if (smbc_getFunctionClose(ctx)(ctx, file) < 0 && !err)
            err = errno ? errno : EIO;
        return err;
    });
}

} // namespace Direct

} // namespace SmbClient
