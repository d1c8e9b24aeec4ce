#pragma once

#include <QDeadlineTimer>
#include <QObject>
#include <QThread>

#include <exception>
#include <functional>

// How a command reaches a station and waits for it: StationIo::run on the station's own thread,
// or directly on the caller's (tests of the steps alone).
using StationRunner = std::function<void(const std::function<void()>&)>;
inline const StationRunner DirectRunner = [](const std::function<void()>& job) { job(); };

// A station's own thread for everything that reaches it, so that a station that hangs delays only
// its own work: the window and the other stations go on. Jobs run one after another in the order
// they were given, so a tick's read-modify-write and an operator's command on the same station
// never interleave.
class StationIo final : public QObject
{
    Q_OBJECT
public:
    using Job = std::function<void()>;                    // runs on the station's thread; may throw
    using Done = std::function<void(std::exception_ptr)>; // runs on this object's thread

    explicit StationIo(QObject* parent = nullptr);
    // Waits, bounded, for what was given to run, so that a closing "0" in flight is not lost: until
    // the deadline given to finish(), or a few seconds when none was.
    ~StationIo() override;

    // Lets the thread end once what was given so far has run, without waiting for it; the
    // destructor waits no longer than the deadline. Several stations end together this way.
    void finish(QDeadlineTimer deadline);

    // Runs the job after those given before and waits for it, the event loop going on meanwhile
    // (timers, other stations) without the operator's input; rethrows what the job threw.
    void run(const Job& job);
    // Gives a job without waiting; done gets its outcome later, on this object's thread. Done must
    // not throw.
    void post(Job job, Done done);
    // Jobs given with post() whose outcome has not come back.
    int inFlight() const { return m_inFlight; }

private:
    QThread m_thread;
    QObject* m_worker = nullptr;
    int m_inFlight = 0;
    bool m_finishing = false;
    QDeadlineTimer m_finishBy;

    void dispatch(Job job, Done done);
};
