#include "platform/Clock.h"

namespace Clock {

namespace {
QDateTime g_fixed;
}

QDateTime now()
{
    return g_fixed.isValid() ? g_fixed : QDateTime::currentDateTime();
}

void setFixed(const QDateTime& moment)
{
    g_fixed = moment;
}

} // namespace Clock
