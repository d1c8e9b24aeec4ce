#include "platform/Clock.h"

#include <QFile>

#include <time.h>

namespace Clock {

namespace {
QDateTime g_fixed;
qint64 g_monotonicOffset = 0;
bool g_held = false;
qint64 g_heldAt = 0;

qint64 bootTimeMs()
{
    timespec t{};
    // CLOCK_MONOTONIC (what QElapsedTimer reads) stops while the machine sleeps; this one does not.
    clock_gettime(CLOCK_BOOTTIME, &t);
    return qint64(t.tv_sec) * 1000 + t.tv_nsec / 1'000'000;
}
} // namespace

QDateTime now()
{
    return g_fixed.isValid() ? g_fixed : QDateTime::currentDateTime();
}

void setFixed(const QDateTime& moment)
{
    g_fixed = moment;
}

qint64 monotonicMs()
{
    return (g_held ? g_heldAt : bootTimeMs()) + g_monotonicOffset;
}

void advanceMonotonicForTests(qint64 ms)
{
    g_monotonicOffset += ms;
}

void holdMonotonicForTests(bool hold)
{
    if (hold && !g_held)
        g_heldAt = bootTimeMs();
    else if (!hold && g_held)
        g_monotonicOffset -= bootTimeMs() - g_heldAt; // the clock goes on from where it stood
    g_held = hold;
}

QByteArray bootId()
{
    static const QByteArray id = [] {
        QFile file(QStringLiteral("/proc/sys/kernel/random/boot_id"));
        if (!file.open(QIODevice::ReadOnly))
            return QByteArray();
        return file.readAll().trimmed();
    }();
    return id;
}

} // namespace Clock
