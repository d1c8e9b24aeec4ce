#include "platform/WinFile.h"

#include "platform/AppError.h"
#include "platform/WinPath.h"

#include <QFile>

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

} // namespace WinFile
