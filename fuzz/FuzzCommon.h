#pragma once

// Shared by the fuzz targets: a private install tree per process, and a check that stops the run
// with a message libFuzzer keeps beside the input that broke it.

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

#define FUZZ_CHECK(cond)                                                                                                         \
    do {                                                                                                                         \
        if (!(cond)) {                                                                                                           \
            std::fprintf(stderr, "fuzz check failed: %s (%s:%d)\n", #cond, __FILE__, __LINE__);                                  \
            std::abort();                                                                                                        \
        }                                                                                                                        \
    } while (0)

namespace Fuzz {

// Points QUORVEL_PREFIX at a fresh directory and makes it the current one; returns its path.
inline QString makePrefix()
{
    QByteArray dir = qgetenv("TMPDIR");
    if (dir.isEmpty())
        dir = "/tmp";
    QByteArray templ = dir + "/quorvel-fuzz-XXXXXX";
    if (!::mkdtemp(templ.data()))
        std::abort();
    qputenv("QUORVEL_PREFIX", templ);
    static const QString made = QString::fromLocal8Bit(templ);
    std::atexit([] { QDir(made).removeRecursively(); });
    QDir::setCurrent(QString::fromLocal8Bit(templ));
    return QString::fromLocal8Bit(templ);
}

inline void writeFile(const QString& path, const uint8_t* data, size_t size)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        std::abort();
    f.write(reinterpret_cast<const char*>(data), qint64(size));
}

} // namespace Fuzz
