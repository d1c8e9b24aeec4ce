#include "install/OutputFile.h"

#include "install/Tables.h"
#include "platform/AppError.h"
#include "platform/files/WinPath.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace OutputFile {

namespace {

QString systemText(int err)
{
    return QString::fromLocal8Bit(std::strerror(err));
}

AppError refusal(const QString& path, const QString& why)
{
    return AppError(QStringLiteral("Cannot write \"%1\": %2; nothing was changed").arg(path, why));
}

// A device that reports the system's own reason for a write that fails: a file of Qt's says
// "Unknown error" on a full disk.
class ReportingFile : public QIODevice
{
public:
    explicit ReportingFile(int fd)
        : m_fd(fd)
    {
        open(QIODevice::WriteOnly);
    }

protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char* data, qint64 size) override
    {
        qint64 done = 0;
        while (done < size) {
            const ssize_t n = ::write(m_fd, data + done, size_t(size - done));
            if (n < 0) {
                if (errno == EINTR)
                    continue;
                setErrorString(systemText(errno));
                return -1;
            }
            done += n;
        }
        return done;
    }

private:
    int m_fd;
};

} // namespace

void requireReplaceable(const QString& path)
{
    struct stat st
    {};
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0) {
        if (errno == ENOENT)
            return;
        throw refusal(path, systemText(errno));
    }
    if (S_ISLNK(st.st_mode))
        throw refusal(path, QStringLiteral("it is a symbolic link, which is not written through"));
    if (S_ISDIR(st.st_mode))
        throw refusal(path, QStringLiteral("it is a folder, not a regular file"));
    if (!S_ISREG(st.st_mode))
        throw refusal(path, QStringLiteral("it is not a regular file"));
    for (const Tables::Table& table : Tables::all()) {
        const QString local = WinPath::resolve(table.windowsPath()).localPath;
        for (const QString& file :
             {local, local + QStringLiteral("-journal"), local + QStringLiteral("-wal"), local + QStringLiteral("-shm")}) {
            struct stat other
            {};
            if (!local.isEmpty() && ::stat(QFile::encodeName(file).constData(), &other) == 0 && other.st_dev == st.st_dev
                && other.st_ino == st.st_ino)
                throw refusal(path, QStringLiteral("it is the install's table %1").arg(table.fileName));
        }
    }
}

void replace(const QString& path, const std::function<void(QIODevice&)>& write)
{
    requireReplaceable(path);
    // The new file, beside the old one until it takes its place; removed if anything fails first.
    const QFileInfo place(path);
    QTemporaryFile pending(place.absolutePath() + QStringLiteral("/.") + place.fileName() + QStringLiteral(".XXXXXX"));
    if (!pending.open())
        throw AppError(QStringLiteral("Cannot create file \"%1\". %2").arg(path, pending.errorString()));
    {
        ReportingFile out(pending.handle());
        write(out);
    }
    if (::fsync(pending.handle()) != 0)
        throw AppError(QStringLiteral("Cannot create file \"%1\". %2").arg(path, systemText(errno)));
    // Checked again at the last moment: what was a plain file may have been swapped meanwhile.
    requireReplaceable(path);
    if (::rename(QFile::encodeName(pending.fileName()).constData(), QFile::encodeName(path).constData()) != 0)
        throw AppError(QStringLiteral("Cannot create file \"%1\". %2").arg(path, systemText(errno)));
    pending.setAutoRemove(false);
}

} // namespace OutputFile
