#include "CycleThread.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QThread>

CycleThread::CycleThread(std::chrono::milliseconds pauseAfterCycle, std::function<void()> wake)
    : m_pauseAfterCycle(pauseAfterCycle), m_wake(std::move(wake))
{}

CycleThread::~CycleThread()
{
    stopAndWait();
}

void CycleThread::start(Cycle cycle, Ended ended)
{
    stopAndWait();
    // Set before the worker starts: its cycles reach their run through m_run.
    m_run = std::make_shared<Run>();
    m_run->thread =
        std::thread(runCycles, m_run, std::move(cycle), std::move(ended), m_pauseAfterCycle);
}

void CycleThread::requestStop()
{
    if (!m_run)
        return;
    {
        std::lock_guard lock(m_run->lock);
        m_run->stop = true;
    }
    m_run->wake.notify_all();
    if (m_wake)
        m_wake();
}

bool CycleThread::stopRequested() const
{
    if (!m_run)
        return true;
    std::lock_guard lock(m_run->lock);
    return m_run->stop;
}

void CycleThread::stopAndWait()
{
    const std::shared_ptr<Run> run = m_run;
    if (!run)
        return;
    requestStop();

    if (QAbstractEventDispatcher* dispatcher = QThread::currentThread()->eventDispatcher()) {
        // The worker sets ended before it looks for a waiter, and the waiter is
        // stored before ended is read: one of the two always sees the other.
        run->waiter = dispatcher;
        while (!run->ended) {
            // Inside the handling of another posted event (a wait started from
            // a queued call), events posted before that handling began have had
            // their wake-up already: deliver them before sleeping for new ones.
            QCoreApplication::sendPostedEvents();
            if (!run->ended)
                QCoreApplication::processEvents(QEventLoop::AllEvents |
                                                QEventLoop::WaitForMoreEvents);
        }
    }

    // An event served above may have waited for this same worker already.
    if (m_run == run) {
        run->thread.join();
        m_run.reset();
    }
}

bool CycleThread::pause(std::chrono::milliseconds duration)
{
    if (!m_run)
        return false;
    return waitFor(*m_run, duration);
}

bool CycleThread::waitFor(Run& run, std::chrono::milliseconds duration)
{
    std::unique_lock lock(run.lock);
    return !run.wake.wait_for(lock, duration, [&run] { return run.stop; });
}

void CycleThread::runCycles(const std::shared_ptr<Run>& run, const Cycle& cycle, const Ended& ended,
                            std::chrono::milliseconds pauseAfterCycle)
{
    for (;;) {
        {
            std::lock_guard lock(run->lock);
            if (run->stop)
                break;
        }
        cycle();
        waitFor(*run, pauseAfterCycle);
    }
    if (ended)
        ended();

    run->ended = true;
    if (QAbstractEventDispatcher* waiter = run->waiter.load())
        waiter->wakeUp();
}
