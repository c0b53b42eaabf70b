#include "JournalWatch.h"

#include "journal/JournalReach.h"

#include <chrono>

JournalWatch::JournalWatch(QObject* parent) : QObject(parent) {}

JournalWatch::~JournalWatch()
{
    {
        std::lock_guard lock(m_lock);
        m_stop = true;
    }
    m_wake.notify_all();
    if (m_thread.joinable())
        m_thread.join();
}

void JournalWatch::watch(const JournalLocation& location)
{
    if (m_thread.joinable())
        return; // the window watches the one journal it started with
    m_thread = std::thread([this, location] { probeUntilStopped(location); });
}

void JournalWatch::checkNow()
{
    {
        std::lock_guard lock(m_lock);
        m_checkNow = true;
    }
    m_wake.notify_all();
}

void JournalWatch::probeUntilStopped(JournalLocation location)
{
    std::unique_lock lock(m_lock);
    while (!m_stop) {
        m_checkNow = false;
        lock.unlock();
        const JournalResult<void> reached = CheckJournalReachable(location);
        // Queued by the slot's name: the event then owns what it carries.
        QMetaObject::invokeMethod(this, "report", Qt::QueuedConnection, Q_ARG(bool, reached.ok()),
                                  Q_ARG(QString, reached.error()));
        lock.lock();
        m_wake.wait_for(lock, std::chrono::seconds(kIntervalSeconds),
                        [this] { return m_stop || m_checkNow; });
    }
}
