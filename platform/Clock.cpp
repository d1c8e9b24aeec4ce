#include "platform/Clock.h"

#include <QElapsedTimer>

namespace Clock {

namespace {
QDateTime g_fixed;
qint64 g_monotonicOffset = 0;
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
    static const QElapsedTimer started = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    return started.elapsed() + g_monotonicOffset;
}

void advanceMonotonicForTests(qint64 ms)
{
    g_monotonicOffset += ms;
}

} // namespace Clock
