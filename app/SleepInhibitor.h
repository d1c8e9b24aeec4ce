#pragma once

#include <QDBusUnixFileDescriptor>

// Keeps the counter PC awake while sessions count: the login manager's inhibitor of "sleep" and
// "idle", taken over the system bus and held for as long as the descriptor it hands out is open.
// A machine with no login manager (or no system bus) goes on without it; the log says so once.
// A sleep that happens all the same is still counted, on the boot-time clock.
class SleepInhibitor
{
public:
    SleepInhibitor() = default;
    SleepInhibitor(const SleepInhibitor&) = delete;
    SleepInhibitor& operator=(const SleepInhibitor&) = delete;

    // Takes the inhibitor when sessions begin to count, lets it go when none counts any more.
    void setHeld(bool held);
    bool held() const { return m_lock.isValid(); }

    // The log line of a machine that cannot be kept awake.
    static QString unavailableMessage();

private:
    QDBusUnixFileDescriptor m_lock;
    bool m_wanted = false;
};
