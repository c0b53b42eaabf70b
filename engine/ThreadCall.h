#pragma once

#include <QObject>
#include <QThread>
#include <functional>
#include <mutex>
#include <type_traits>

// Runs work on the thread it was created on, and makes a caller from another
// thread wait until it has run; on its own thread it simply runs it. The
// worker threads reach the window this way.
//
// It hands over through an event and a std::mutex rather than a blocking
// queued connection: the order is the same, and the thread sanitizer sees this
// hand-over, which it cannot see in the library's own semaphore. When the
// caller object goes away with a call still queued, the caller is released
// without it.
class ThreadCaller : public QObject
{
public:
    ThreadCaller() = default;

    // False when work did not run.
    bool run(const std::function<void()>& work);
    // Queues work for this object's thread and returns at once; work is
    // dropped if this object goes away first.
    void post(std::function<void()> work);

    template <typename Work> auto call(Work work) -> std::invoke_result_t<Work>
    {
        using Result = std::invoke_result_t<Work>;
        if constexpr (std::is_void_v<Result>) {
            run(work);
        } else {
            Result result{};
            run([&] { result = work(); });
            return result;
        }
    }

protected:
    bool event(QEvent* event) override;

private:
    std::mutex m_posting;
};
