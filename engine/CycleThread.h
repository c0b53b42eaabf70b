#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

class QAbstractEventDispatcher;

// A long-lived worker running one cycle after another, with a pause after each.
// A stop request cuts the pause short; a cycle already running is finished
// first, so a cycle never stops half-way through a token.
//
// start, requestStop and stopAndWait belong to the thread that owns the window
// (the worker's cycles may wait on that thread). The cycle itself may call
// pause and stopRequested.
class CycleThread
{
public:
    using Cycle = std::function<void()>;
    using Ended = std::function<void()>;

    // wake, when given, is called (from the thread asking) after a stop is
    // requested: it cuts short whatever blocking wait the cycle is in.
    explicit CycleThread(std::chrono::milliseconds pauseAfterCycle,
                         std::function<void()> wake = {});
    ~CycleThread(); // stops and waits if still running
    CycleThread(const CycleThread&) = delete;
    CycleThread& operator=(const CycleThread&) = delete;

    // ended runs on the worker after its last cycle.
    void start(Cycle cycle, Ended ended = {});
    void requestStop();
    bool stopRequested() const;
    bool running() const { return m_run != nullptr; }

    // Requests a stop and returns once the worker has ended. Meanwhile it keeps
    // serving the calling thread's events: a worker waiting there for a control
    // change or for the operator's answer to a message gets it, ends its cycle
    // and sees the stop request, instead of both threads waiting for ever.
    // Safe to re-enter from an event it serves.
    void stopAndWait();

    // For the cycle: waits for the given time, or less when a stop is
    // requested meanwhile. Returns false when cut short.
    bool pause(std::chrono::milliseconds duration);

private:
    struct Run
    {
        std::mutex lock;
        std::condition_variable wake;
        bool stop = false;
        std::atomic<bool> ended{false};
        // The dispatcher of a thread waiting for the end, woken when it comes.
        std::atomic<QAbstractEventDispatcher*> waiter{nullptr};
        std::thread thread;
    };

    static void runCycles(const std::shared_ptr<Run>& run, const Cycle& cycle, const Ended& ended,
                          std::chrono::milliseconds pauseAfterCycle);
    static bool waitFor(Run& run, std::chrono::milliseconds duration);

    const std::chrono::milliseconds m_pauseAfterCycle;
    const std::function<void()> m_wake;
    std::shared_ptr<Run> m_run;
};
