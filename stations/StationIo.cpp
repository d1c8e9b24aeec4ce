#include "stations/StationIo.h"

#include <QCoreApplication>
#include <QEventLoop>

namespace {
// Every job is bounded (a station operation takes about a second at most); this only keeps a
// closing console from waiting for ever on a job that is not.
constexpr unsigned long FinishWaitMs = 5000;
} // namespace

StationIo::StationIo(QObject* parent)
    : QObject(parent)
{
    m_worker = new QObject;
    m_worker->moveToThread(&m_thread);
    connect(&m_thread, &QThread::finished, m_worker, &QObject::deleteLater);
    m_thread.setObjectName(QStringLiteral("station"));
    m_thread.start();
}

void StationIo::finish(QDeadlineTimer deadline)
{
    if (m_finishing)
        return;
    m_finishing = true;
    m_finishBy = deadline;
    // Queued after every job given so far: the thread ends once they have run.
    QMetaObject::invokeMethod(
        m_worker, [thread = &m_thread] { thread->quit(); }, Qt::QueuedConnection);
}

StationIo::~StationIo()
{
    finish(QDeadlineTimer(FinishWaitMs));
    if (!m_thread.wait(m_finishBy)) {
        // A job that never returns cannot be stopped safely; the process is ending anyway.
        m_thread.terminate();
        m_thread.wait();
    }
}

void StationIo::dispatch(Job job, Done done)
{
    QMetaObject::invokeMethod(
        m_worker,
        [this, job = std::move(job), done = std::move(done)] {
            std::exception_ptr error;
            try {
                job();
            } catch (...) {
                error = std::current_exception();
            }
            QMetaObject::invokeMethod(
                this, [done, error] { done(error); }, Qt::QueuedConnection);
        },
        Qt::QueuedConnection);
}

void StationIo::post(Job job, Done done)
{
    ++m_inFlight;
    dispatch(std::move(job), [this, done = std::move(done)](std::exception_ptr error) {
        --m_inFlight;
        done(error);
    });
}

void StationIo::run(const Job& job)
{
    bool finished = false;
    std::exception_ptr outcome;
    QEventLoop loop;
    dispatch(job, [&](std::exception_ptr error) {
        outcome = error;
        finished = true;
        loop.quit();
    });
    if (!finished)
        loop.exec(QEventLoop::ExcludeUserInputEvents);
    if (outcome)
        std::rethrow_exception(outcome);
}
