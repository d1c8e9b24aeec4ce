#pragma once

#include <QFile>
#include <QString>

#include <fcntl.h>
#include <unistd.h>

// Holds a file the way another program on the station would, until destroyed.
class HeldFile
{
public:
    HeldFile(const QString& path, bool forWriting)
    {
        m_fd = ::open(QFile::encodeName(path).constData(), forWriting ? O_RDWR : O_RDONLY);
        struct flock fl
        {};
        fl.l_type = forWriting ? F_WRLCK : F_RDLCK;
        fl.l_whence = SEEK_SET;
        if (m_fd < 0 || ::fcntl(m_fd, F_OFD_SETLK, &fl) != 0)
            qFatal("cannot hold %s", qPrintable(path));
    }
    ~HeldFile() { ::close(m_fd); }
    HeldFile(const HeldFile&) = delete;
    HeldFile& operator=(const HeldFile&) = delete;

private:
    int m_fd = -1;
};
