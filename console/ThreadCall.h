#pragma once

#include <QMetaObject>
#include <QObject>
#include <QThread>
#include <future>
#include <type_traits>
#include <utility>

// Runs work on owner's thread and returns its result; a caller on another
// thread waits for it, a caller on that thread runs it at once.
//
// The result comes back through a promise the work fulfils, so the hand-over
// is plain to the thread sanitizer, and a call that owner drops unrun (it is
// being destroyed) releases the waiting caller with an empty result instead
// of leaving it blocked.
template <typename Work>
auto CallOnThreadOf(QObject* owner, Work work) -> std::invoke_result_t<Work>
{
    using Result = std::invoke_result_t<Work>;
    if (QThread::currentThread() == owner->thread())
        return work();

    std::promise<Result> promise;
    std::future<Result> answer = promise.get_future();
    QMetaObject::invokeMethod(
        owner,
        [work = std::move(work), promise = std::move(promise)]() mutable {
            if constexpr (std::is_void_v<Result>) {
                work();
                promise.set_value();
            } else {
                promise.set_value(work());
            }
        },
        Qt::QueuedConnection);
    try {
        return answer.get();
    } catch (const std::future_error&) {
        return Result();
    }
}
