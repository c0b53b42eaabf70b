#pragma once

#include <QObject>
#include <memory>

class QSocketNotifier;

// Turns SIGINT and SIGTERM into a signal on the event loop's thread, so
// Ctrl+C can let the token under way finish instead of killing the process
// in the middle of it. One at a time per process (the signal handler writes
// to its pipe).
class InterruptNotifier : public QObject
{
    Q_OBJECT

public:
    InterruptNotifier();
    ~InterruptNotifier() override;
    bool ok() const { return m_notifier != nullptr; }

signals:
    void interrupted();

private:
    int m_pipe[2] = {-1, -1};
    std::unique_ptr<QSocketNotifier> m_notifier;
};
