#include "platform/files/WinFile.h"
#include "platform/files/SystemTexts.h"

#include "platform/AppError.h"
#include "platform/files/SmbAgent.h"
#include "platform/files/SmbClient.h"
#include "platform/files/WinPath.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <linux/openat2.h>
#include <optional>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace WinFile {

namespace {

bool g_walkFolders = false;

// The messages name the file by its full Windows path, as the platform expands it.
QString openError(const QString& path, const QString& reason)
{
    return QStringLiteral("Cannot open file \"%1\". %2").arg(WinPath::fullPath(path), reason);
}

QString createError(const QString& path, const QString& reason)
{
    return QStringLiteral("Cannot create file \"%1\". %2").arg(WinPath::fullPath(path), reason);
}

QString systemText(int err)
{
    // A link below the base is refused: Windows' words for a reparse point it will not follow.
    if (err == ELOOP || err == EXDEV)
        return SystemTexts::cannotBeAccessed();
    return QString::fromLocal8Bit(std::strerror(err));
}

QString lockText(int err)
{
    if (err == EAGAIN || err == EACCES)
        return SystemTexts::sharingViolation();
    return systemText(err);
}

// Open-file-description locks conflict between any two opens, in this process or another,
// which is what Windows share modes do.
bool lockWhole(int fd, short type)
{
    struct flock fl
    {};
    fl.l_type = type;
    fl.l_whence = SEEK_SET;
    fl.l_start = 0;
    fl.l_len = 0;
    return ::fcntl(fd, F_OFD_SETLK, &fl) == 0;
}

class Fd
{
public:
    explicit Fd(int fd)
        : m_fd(fd)
    {
    }
    ~Fd()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return m_fd; }

private:
    int m_fd;
};

// Opens place.localPath without following any symlink below place.base, so a station (or
// anyone who can write below the prefix) cannot point the console at a file elsewhere.
// Returns -1 with errno set on failure.
int openBeneath(const WinPath::Resolved& place, int flags, mode_t mode)
{
    Fd base(::open(QFile::encodeName(place.base).constData(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (base.get() < 0)
        return -1;
    QString rel = place.localPath.mid(place.base.size());
    while (rel.startsWith(QLatin1Char('/')))
        rel.remove(0, 1);
    const QByteArray relBytes = rel.isEmpty() ? QByteArray(".") : QFile::encodeName(rel);
    flags |= O_CLOEXEC | O_NOFOLLOW;

    struct open_how how
    {};
    how.flags = quint64(flags);
    how.mode = (flags & O_CREAT) ? mode : 0;
    how.resolve = RESOLVE_BENEATH | RESOLVE_NO_SYMLINKS;
    if (!g_walkFolders) {
        const long fd = ::syscall(SYS_openat2, base.get(), relBytes.constData(), &how, sizeof how);
        if (fd >= 0 || errno != ENOSYS)
            return int(fd);
    }

    // Kernels before openat2: one component at a time, none of them a link.
    const QList<QByteArray> parts = relBytes.split('/');
    int dir = ::dup(base.get());
    for (qsizetype i = 0; dir >= 0 && i + 1 < parts.size(); ++i) {
        const int next = ::openat(dir, parts.at(i).constData(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        const int saved = errno;
        ::close(dir);
        errno = saved == ENOTDIR ? ELOOP : saved;
        dir = next;
    }
    if (dir < 0)
        return -1;
    const int file = ::openat(dir, parts.last().constData(), flags, mode);
    const int saved = errno;
    ::close(dir);
    errno = saved;
    return file;
}

// Writes every byte, or throws with the system's reason.
void writeAll(int fd, const QByteArray& bytes, const QString& windowsPath)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            throw AppError(createError(windowsPath, systemText(errno)));
        }
        done += n;
    }
}

// Station files are a few lines; anything bigger (or a device, a pipe) is not one of ours and
// would only stall the console.
void requireSmallRegularFile(int fd, const QString& windowsPath, QString (*error)(const QString&, const QString&))
{
    struct stat st
    {};
    if (::fstat(fd, &st) != 0)
        throw AppError(error(windowsPath, systemText(errno)));
    if (!S_ISREG(st.st_mode))
        throw Refused(error(windowsPath, SystemTexts::notAFile()));
    if (st.st_size > MaxFileSize)
        throw Refused(error(windowsPath, SystemTexts::fileTooLarge()));
}

// Why a file below its base could not be opened; a link met on the way is the file's fault.
[[noreturn]] void throwOpenFailure(int err, const QString& windowsPath, QString (*error)(const QString&, const QString&))
{
    if (err == ELOOP || err == EXDEV)
        throw Refused(error(windowsPath, systemText(err)));
    // A folder, or a pipe nobody reads, where the file should be.
    if (err == EISDIR || err == ENXIO)
        throw Refused(error(windowsPath, SystemTexts::notAFile()));
    throw AppError(error(windowsPath, systemText(err)));
}

// What a station's share said of the file, as the same exceptions as a local file's.
[[noreturn]] void throwRemoteFailure(const QString& failure, const QString& windowsPath,
                                     QString (*error)(const QString&, const QString&))
{
    if (failure == SystemTexts::fileTooLarge())
        throw Refused(error(windowsPath, failure));
    if (failure == SystemTexts::notAFile())
        throw Refused(error(windowsPath, failure));
    throw AppError(error(windowsPath, failure));
}

// The station's share over SMB, when the path names no local place; nothing when it does.
std::optional<SmbClient::Target> remoteTarget(const WinPath::Resolved& place)
{
    if (place.remoteHost.isEmpty())
        return std::nullopt;
    return SmbClient::Target{place.remoteHost, SmbClient::url(place.remoteHost, place.remotePath)};
}

} // namespace

QByteArray read(const QString& windowsPath)
{
    const WinPath::Resolved place = WinPath::resolve(windowsPath);
    if (const auto remote = remoteTarget(place)) {
        QByteArray bytes;
        if (const std::optional<QString> failure = SmbClient::read(*remote, MaxFileSize, bytes))
            throwRemoteFailure(*failure, windowsPath, openError);
        return bytes;
    }
    if (place.localPath.isEmpty())
        throw AppError(openError(windowsPath, place.error));

    // Non-blocking so that a pipe in place of the file cannot hold the open.
    Fd fd(openBeneath(place, O_RDONLY | O_NONBLOCK, 0));
    if (fd.get() < 0)
        throwOpenFailure(errno, windowsPath, openError);
    requireSmallRegularFile(fd.get(), windowsPath, openError);
    if (!lockWhole(fd.get(), F_RDLCK))
        throw AppError(openError(windowsPath, lockText(errno)));

    QByteArray bytes;
    char chunk[65536];
    for (;;) {
        const ssize_t n = ::read(fd.get(), chunk, sizeof chunk);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            throw AppError(openError(windowsPath, systemText(errno)));
        }
        if (n == 0)
            break;
        bytes.append(chunk, n);
        if (bytes.size() > MaxFileSize)
            throw Refused(openError(windowsPath, SystemTexts::fileTooLarge()));
    }
    return bytes;
}

void write(const QString& windowsPath, const QByteArray& bytes)
{
    const WinPath::Resolved place = WinPath::resolve(windowsPath);
    if (const auto remote = remoteTarget(place)) {
        if (const std::optional<QString> failure = SmbClient::write(*remote, bytes))
            throwRemoteFailure(*failure, windowsPath, createError);
        return;
    }
    if (place.localPath.isEmpty())
        throw AppError(createError(windowsPath, place.error));

    // Not O_TRUNC: nothing changes until the file is held exclusively, so a refused save leaves
    // it as it was. Not O_CREAT: a file that vanished is not the console's to make again.
    Fd fd(openBeneath(place, O_WRONLY | O_NONBLOCK, 0));
    if (fd.get() < 0)
        throwOpenFailure(errno, windowsPath, createError);
    requireSmallRegularFile(fd.get(), windowsPath, createError);
    if (!lockWhole(fd.get(), F_WRLCK))
        throw AppError(createError(windowsPath, lockText(errno)));
    // The new text over the old, then the file cut to its length: a save cut short leaves whole
    // lines of the old text or the new one, never an empty or short file.
    writeAll(fd.get(), bytes, windowsPath);
    if (::ftruncate(fd.get(), bytes.size()) != 0)
        throw AppError(createError(windowsPath, systemText(errno)));
}

namespace {

// The temporary file, in the same directory, until it has taken the old file's place; removed
// if anything fails first.
class PendingFile
{
public:
    PendingFile(int dir, const QByteArray& name)
        : m_dir(dir)
    {
        for (int attempt = 0; attempt < 100; ++attempt) {
            m_name = '.' + name + '.' + QByteArray::number(QRandomGenerator::system()->generate64(), 36);
            m_fd = ::openat(dir, m_name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
            if (m_fd >= 0 || errno != EEXIST)
                return;
        }
    }
    ~PendingFile()
    {
        if (m_fd < 0)
            return;
        ::close(m_fd);
        if (!m_placed)
            ::unlinkat(m_dir, m_name.constData(), 0);
    }
    PendingFile(const PendingFile&) = delete;
    PendingFile& operator=(const PendingFile&) = delete;
    int fd() const { return m_fd; }
    const char* name() const { return m_name.constData(); }
    void placed() { m_placed = true; }

private:
    int m_dir;
    QByteArray m_name;
    int m_fd = -1;
    bool m_placed = false;
};

} // namespace

void replace(const QString& windowsPath, const QByteArray& bytes)
{
    const WinPath::Resolved place = WinPath::resolve(windowsPath);
    if (!place.remoteHost.isEmpty()) {
        // A share offers no rename under the sharing rule; it keeps the write in place.
        write(windowsPath, bytes);
        return;
    }
    if (place.localPath.isEmpty())
        throw AppError(createError(windowsPath, place.error));

    // Everything happens inside the file's directory, reached without following a link, so the
    // temporary file and the rename stay where the file is.
    const QFileInfo info(place.localPath);
    WinPath::Resolved folder = place;
    folder.localPath = info.path();
    Fd dir(openBeneath(folder, O_RDONLY | O_DIRECTORY, 0));
    if (dir.get() < 0) {
        // A folder that is a link reads as "not a directory" when links are not followed.
        struct stat st
        {};
        const bool link = errno == ENOTDIR && ::lstat(QFile::encodeName(folder.localPath).constData(), &st) == 0
            && S_ISLNK(st.st_mode);
        throw AppError(createError(windowsPath, systemText(link ? ELOOP : errno)));
    }
    const QByteArray name = QFile::encodeName(info.fileName());

    // The old file is held exclusively until the new one has replaced it, as a save in place would
    // hold it: a file another party has open is not swapped from under it.
    Fd old(::openat(dir.get(), name.constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC | O_NOFOLLOW));
    if (old.get() < 0 && errno != ENOENT)
        throw AppError(createError(windowsPath, systemText(errno)));
    if (old.get() >= 0)
        requireSmallRegularFile(old.get(), windowsPath, createError);
    if (old.get() >= 0 && !lockWhole(old.get(), F_WRLCK))
        throw AppError(createError(windowsPath, lockText(errno)));

    PendingFile pending(dir.get(), name);
    if (pending.fd() < 0)
        throw AppError(createError(windowsPath, systemText(errno)));
    // The new file keeps the old one's permissions; a first save gets the usual ones.
    struct stat oldStat
    {};
    mode_t mode = 0666;
    if (old.get() >= 0 && ::fstat(old.get(), &oldStat) == 0) {
        mode = oldStat.st_mode & 07777;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode &= ~mask;
    }
    if (::fchmod(pending.fd(), mode) != 0)
        throw AppError(createError(windowsPath, systemText(errno)));
    writeAll(pending.fd(), bytes, windowsPath);
    if (::fsync(pending.fd()) != 0)
        throw AppError(createError(windowsPath, systemText(errno)));
    if (::renameat(dir.get(), pending.name(), dir.get(), name.constData()) != 0)
        throw AppError(createError(windowsPath, systemText(errno)));
    pending.placed();

    // The rename reaches the disk with the directory. The new text is in place by now, so a
    // failure here is not reported as a failed save.
    ::fsync(dir.get());
}

std::optional<QString> remoteAccessProblem()
{
    return SmbClient::credentialsProblem();
}

std::optional<QString> takeLogonRefusals()
{
    const QStringList hosts = SmbClient::takeRefusedLogons();
    if (hosts.isEmpty())
        return std::nullopt;
    return SmbClient::logonRefusedText(hosts);
}

std::optional<QString> takeAgentProblem()
{
    return SmbAgent::takeProblem();
}

void setWalkFoldersForTests(bool walk)
{
    g_walkFolders = walk;
}

} // namespace WinFile
