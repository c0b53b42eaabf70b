#pragma once

#include "journal/JournalLocation.h"

#include <QObject>
#include <condition_variable>
#include <mutex>
#include <thread>

// Tells the window, now and every few seconds, whether its journal answers:
// a server that went away shows at once in the window, not first at the
// next token. The probes run on a thread of their own, so that a server
// that does not answer never holds up the window.
class JournalWatch : public QObject
{
    Q_OBJECT

public:
    static constexpr int kIntervalSeconds = 10;

    explicit JournalWatch(QObject* parent = nullptr);
    // Waits for a probe under way (a few seconds at most).
    ~JournalWatch() override;
    JournalWatch(const JournalWatch&) = delete;
    JournalWatch& operator=(const JournalWatch&) = delete;

    // Starts watching that journal, with a first probe at once.
    void watch(const JournalLocation& location);
    // Probes again now, as when a station has just been refused by the journal.
    void checkNow();

signals:
    // On the thread the watch lives on; why is empty when reachable.
    void checked(bool reachable, const QString& why);

private slots:
    void report(bool reachable, const QString& why) { emit checked(reachable, why); }

private:
    void probeUntilStopped(JournalLocation location);

    std::mutex m_lock;
    std::condition_variable m_wake;
    bool m_stop = false;
    bool m_checkNow = false;
    std::thread m_thread;
};
