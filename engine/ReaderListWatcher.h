#pragma once

#include "CycleThread.h"
#include "ReaderEvents.h"

#include <QObject>
#include <QString>

// Follows the readers the platform reports: it lists them when it starts and
// again each time the platform says the list changed, and otherwise sleeps in
// the platform's wait. When the smart-card service goes away it says so and
// tries again, every half second, until the service is back.
//
// Signals come from the watcher's own thread; connect them queued to reach
// the window.
class ReaderListWatcher : public QObject
{
    Q_OBJECT

public:
    ReaderListWatcher();
    ~ReaderListWatcher() override;

    // Window's thread. stopAndWait serves the calling thread's events meanwhile.
    void start();
    void stopAndWait();
    bool running() const { return m_thread.running(); }

signals:
    // readerListText: every reader name followed by "[E]".
    void listed(const QString& readerListText);
    // The platform gave no list: no service, or no reader at all.
    void listFailed();
    // The smart-card service stopped answering, or answers again.
    void serviceChanged(bool available);

private:
    void watchOnce();

    ReaderEvents m_events;
    CycleThread m_thread;
    bool m_serviceKnown = false;
    bool m_serviceAvailable = false;
};
