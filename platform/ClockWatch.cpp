#include "platform/ClockWatch.h"

#include "platform/Clock.h"

#include <cstdlib>

ClockWatch::ClockWatch(qint64 toleranceMs)
    : m_toleranceMs(toleranceMs)
    , m_wall(Clock::now())
    , m_bootMs(Clock::monotonicMs())
{
}

std::optional<ClockWatch::Jump> ClockWatch::check()
{
    const QDateTime found = Clock::now();
    const qint64 bootMs = Clock::monotonicMs();
    const QDateTime expected = m_wall.addMSecs(bootMs - m_bootMs);
    const qint64 offByMs = expected.msecsTo(found);
    if (std::llabs(offByMs) <= m_toleranceMs)
        return std::nullopt;
    m_wall = found;
    m_bootMs = bootMs;
    return Jump{expected, found, offByMs};
}
