#pragma once

#include <QDateTime>

#include <optional>

// Notices the wall clock being set: between two looks it must have moved as far as the boot-time
// clock did, which nobody can set. Bills carry the wall clock's date and time, so a clock put
// back or forward at the counter is worth the owner's knowing.
class ClockWatch
{
public:
    static constexpr qint64 DefaultToleranceMs = 2 * 60 * 1000;

    // Takes the clocks as they stand now as the reference.
    explicit ClockWatch(qint64 toleranceMs = DefaultToleranceMs);

    struct Jump
    {
        QDateTime expected; // where the wall clock should stand by the boot-time clock
        QDateTime found;    // where it stands
        qint64 offByMs = 0; // found - expected: positive when it was set forward
    };
    // A jump of more than the tolerance since the reference; the clocks as they stand then become
    // the reference. Smaller differences are kept, so a clock moved a little at a time adds up.
    std::optional<Jump> check();

private:
    qint64 m_toleranceMs;
    QDateTime m_wall;
    qint64 m_bootMs = 0;
};
