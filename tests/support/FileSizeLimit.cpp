#include "support/FileSizeLimit.h"

#include <QtGlobal>

#include <csignal>

FileSizeLimit::FileSizeLimit(rlim_t bytes)
{
    m_oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    if (::getrlimit(RLIMIT_FSIZE, &m_old) != 0)
        qFatal("getrlimit failed");
    rlimit limit = m_old;
    limit.rlim_cur = bytes;
    if (::setrlimit(RLIMIT_FSIZE, &limit) != 0)
        qFatal("setrlimit failed");
}

FileSizeLimit::~FileSizeLimit()
{
    ::setrlimit(RLIMIT_FSIZE, &m_old);
    std::signal(SIGXFSZ, m_oldHandler);
}
