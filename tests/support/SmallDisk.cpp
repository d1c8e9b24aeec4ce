#include "support/SmallDisk.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/mount.h>
#include <unistd.h>

std::unique_ptr<SmallDisk> SmallDisk::mount(const QString& folder, qint64 bytes, QString& whyNot)
{
    QDir().mkpath(folder);
    const QByteArray options = "size=" + QByteArray::number(bytes);
    if (::mount("tmpfs", QFile::encodeName(folder).constData(), "tmpfs", 0, options.constData()) != 0) {
        whyNot =
            QStringLiteral("a tmpfs cannot be mounted here (%1); run as root").arg(QString::fromLocal8Bit(std::strerror(errno)));
        return nullptr;
    }
    return std::unique_ptr<SmallDisk>(new SmallDisk(folder));
}

SmallDisk::~SmallDisk()
{
    // Lazily: a connection a failed test left open must not keep the disk mounted.
    ::umount2(QFile::encodeName(m_folder).constData(), MNT_DETACH);
}

void SmallDisk::fill() const
{
    const QByteArray path = QFile::encodeName(m_folder + QStringLiteral("/.filler"));
    const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0)
        qFatal("cannot make the filler: %s", std::strerror(errno));
    const QByteArray block(4096, 'x');
    while (::write(fd, block.constData(), size_t(block.size())) > 0) {
    }
    // The last few bytes of a block that did not fit whole.
    while (::write(fd, block.constData(), 1) > 0) {
    }
    ::close(fd);
}

bool SmallDisk::makeReadOnly() const
{
    return ::mount(nullptr, QFile::encodeName(m_folder).constData(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) == 0;
}
