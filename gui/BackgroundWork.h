#pragma once

#include "ThreadCall.h"
#include "qr/WorkControl.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <atomic>
#include <functional>
#include <memory>
#include <thread>

class QProgressBar;
class QProgressDialog;
class QWidget;

// Slow work of one window (a seed file loading, a picture being read or
// searched) on a worker thread, behind a window-modal progress dialog with
// Cancel that appears only when the work takes more than a moment. The
// window keeps painting meanwhile; the result is handed back on the window's
// thread. One piece of work at a time.
class BackgroundWork : public QObject
{
    Q_OBJECT

public:
    // The dialog shows after this long, if the work still runs.
    static constexpr int kShowAfterMs = 300;

    explicit BackgroundWork(QWidget* window);
    // Cancels the work and waits for the worker without serving events and
    // without calling its done function: the work never waits for the
    // window's thread, so this ends.
    ~BackgroundWork() override;
    BackgroundWork(const BackgroundWork&) = delete;
    BackgroundWork& operator=(const BackgroundWork&) = delete;

    bool busy() const { return m_busy; }

    // Window's thread. Runs work(control) on a worker thread, then done(result,
    // cancelled) on the window's thread; cancelled is true when the operator
    // pressed Cancel or the window closed, whatever the work returned.
    // False, with nothing run, while earlier work is still busy.
    template <typename Result>
    bool run(const QString& label, std::function<Result(const WorkControl&)> work,
             std::function<void(Result& result, bool cancelled)> done)
    {
        auto result = std::make_shared<Result>();
        return start(
            label,
            [work = std::move(work), result](const WorkControl& control) {
                *result = work(control);
            },
            [done = std::move(done), result](bool cancelled) { done(*result, cancelled); });
    }

    // Window's thread. Stops the running work, if any, and serves the
    // thread's events (not the operator's input) until its done function has
    // run, with cancelled true. For a closing window.
    void cancelAndWait();

    // Window's thread. Runs cleanup on a thread of its own, for what is slow
    // to let go of (a replaced table of a million seeds to wipe); waits for
    // the previous cleanup first. The destructor waits for the last.
    void dispose(std::function<void()> cleanup);

    // Runs on the worker thread before each piece of work: lets a test hold
    // the work back until it has seen the window turn.
    void setWorkerStartHook(std::function<void()> hook) { m_startHook = std::move(hook); }

signals:
    // After the done function of each piece of work.
    void finished();

private:
    bool start(const QString& label, std::function<void(const WorkControl&)> work,
               std::function<void(bool cancelled)> done);
    void report(int percent); // worker's thread
    void showProgress();
    void workerEnded();

    QWidget* m_window;
    // The worker's calls reach the window's thread through it; they are
    // dropped once this object is gone.
    ThreadCaller m_windowThread;
    bool m_busy = false;
    std::thread m_thread;
    std::thread m_disposal;
    std::atomic<bool> m_cancel{false};
    std::atomic<int> m_percent{0};
    std::atomic<bool> m_progressPosted{false};
    std::function<void(bool cancelled)> m_done;
    std::function<void()> m_startHook;
    QPointer<QProgressDialog> m_dialog;
    QPointer<QProgressBar> m_bar;
};
