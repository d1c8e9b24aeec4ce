#pragma once

#include <QFile>
#include <QString>

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

// Sets or clears a file's immutable flag, which holds even for root: a file that may not be
// written, for tests that run as root. False where the file system has no such flag.
inline bool setImmutable(const QString& path, bool on)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    int flags = 0;
    bool done = ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    flags = on ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL;
    done = done && ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    ::close(fd);
    return done;
}

// Keeps a file immutable for its own life.
class ImmutableFile
{
public:
    explicit ImmutableFile(const QString& path)
        : m_path(path)
        , m_held(setImmutable(path, true))
    {
    }
    ~ImmutableFile()
    {
        if (m_held)
            setImmutable(m_path, false);
    }
    ImmutableFile(const ImmutableFile&) = delete;
    ImmutableFile& operator=(const ImmutableFile&) = delete;
    bool held() const { return m_held; }

private:
    QString m_path;
    bool m_held;
};
