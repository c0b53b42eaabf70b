#pragma once

#include <atomic>
#include <functional>

// What a caller hands to slow work it runs on a worker thread: a flag it may
// set from any thread to stop the work, and a callback told how far the work
// has come (0 to 100, called on the working thread, never going back).
struct WorkControl
{
    const std::atomic<bool>* cancel = nullptr;
    std::function<void(int percent)> progress;

    bool cancelled() const { return cancel != nullptr && cancel->load(std::memory_order_relaxed); }
    void report(int percent) const
    {
        if (progress) {
            progress(percent);
        }
    }
};
