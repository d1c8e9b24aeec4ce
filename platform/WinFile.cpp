#include "platform/WinFile.h"

#include "platform/AppError.h"
#include "platform/WinPath.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace WinFile {

namespace {

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
    return QString::fromLocal8Bit(std::strerror(err));
}

QString lockText(int err)
{
    if (err == EAGAIN || err == EACCES)
        return sharingViolationText();
    return systemText(err);
}

// Open-file-description locks conflict between any two opens, in this process or another,
// which is what Windows share modes do.
bool lockWhole(int fd, short type)
{
    struct flock fl {};
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

} // namespace

QString sharingViolationText()
{
    return QStringLiteral("The process cannot access the file because it is being used by another process");
}

QByteArray read(const QString& windowsPath)
{
    const WinPath::Resolved place = WinPath::resolve(windowsPath);
    if (place.localPath.isEmpty())
        throw AppError(openError(windowsPath, place.error));

    Fd fd(::open(QFile::encodeName(place.localPath).constData(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0)
        throw AppError(openError(windowsPath, systemText(errno)));
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
    }
    return bytes;
}

void write(const QString& windowsPath, const QByteArray& bytes)
{
    const WinPath::Resolved place = WinPath::resolve(windowsPath);
    if (place.localPath.isEmpty())
        throw AppError(createError(windowsPath, place.error));

    // Not O_TRUNC: the file is truncated only once it is held exclusively, so a refused save
    // leaves it as it was.
    Fd fd(::open(QFile::encodeName(place.localPath).constData(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666));
    if (fd.get() < 0)
        throw AppError(createError(windowsPath, systemText(errno)));
    if (!lockWhole(fd.get(), F_WRLCK))
        throw AppError(createError(windowsPath, lockText(errno)));
    if (::ftruncate(fd.get(), 0) != 0)
        throw AppError(createError(windowsPath, systemText(errno)));

    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd.get(), bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            throw AppError(createError(windowsPath, systemText(errno)));
        }
        done += n;
    }
}

namespace {

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

// The temporary file until it has taken the old file's place; removed if anything fails first.
class PendingFile
{
public:
    explicit PendingFile(const QString& pathBeside)
        : m_path(QFile::encodeName(pathBeside + QStringLiteral(".XXXXXX")))
        , m_fd(::mkostemp(m_path.data(), O_CLOEXEC))
    {
    }
    ~PendingFile()
    {
        if (m_fd.get() >= 0 && !m_placed)
            ::unlink(m_path.constData());
    }
    PendingFile(const PendingFile&) = delete;
    PendingFile& operator=(const PendingFile&) = delete;
    int fd() const { return m_fd.get(); }
    const char* path() const { return m_path.constData(); }
    void placed() { m_placed = true; }

private:
    QByteArray m_path;
    Fd m_fd;
    bool m_placed = false;
};

} // namespace

void replace(const QString& windowsPath, const QByteArray& bytes)
{
    const WinPath::Resolved place = WinPath::resolve(windowsPath);
    if (place.localPath.isEmpty())
        throw AppError(createError(windowsPath, place.error));
    const QByteArray target = QFile::encodeName(place.localPath);

    // The old file is held exclusively until the new one has replaced it, as a save in place would
    // hold it: a file another party has open is not swapped from under it.
    Fd old(::open(target.constData(), O_WRONLY | O_CLOEXEC | O_NOFOLLOW));
    if (old.get() < 0 && errno != ENOENT)
        throw AppError(createError(windowsPath, systemText(errno)));
    if (old.get() >= 0 && !lockWhole(old.get(), F_WRLCK))
        throw AppError(createError(windowsPath, lockText(errno)));

    PendingFile pending(place.localPath);
    if (pending.fd() < 0)
        throw AppError(createError(windowsPath, systemText(errno)));
    // The new file keeps the old one's permissions; a first save gets the usual ones.
    struct stat oldStat {};
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
    if (::rename(pending.path(), target.constData()) != 0)
        throw AppError(createError(windowsPath, systemText(errno)));
    pending.placed();

    // The rename reaches the disk with the directory. The new text is in place by now, so a
    // failure here is not reported as a failed save.
    Fd dir(::open(QFile::encodeName(QFileInfo(place.localPath).path()).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.get() >= 0)
        ::fsync(dir.get());
}

} // namespace WinFile
