#include "ThreadCall.h"

#include <QCoreApplication>
#include <QEvent>
#include <condition_variable>
#include <mutex>

namespace {

// Lives on the calling thread's stack until the call has run or was dropped.
struct Handover
{
    std::mutex lock;
    std::condition_variable finished;
    bool done = false;
    bool ran = false;
};

QEvent::Type CallEventType()
{
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

// An event that carries work for the receiver's thread.
class WorkEvent : public QEvent
{
public:
    using QEvent::QEvent;
    virtual void run() = 0;
};

class CallEvent : public WorkEvent
{
public:
    CallEvent(const std::function<void()>& work, Handover& handover)
        : WorkEvent(CallEventType()), m_work(work), m_handover(handover)
    {}
    // Also reached when the event is dropped unrun: the caller must not wait for ever.
    ~CallEvent() override { finish(false); }

    void run() override
    {
        m_work();
        finish(true);
    }

private:
    void finish(bool ran)
    {
        if (m_finished)
            return;
        m_finished = true;
        std::lock_guard lock(m_handover.lock);
        m_handover.done = true;
        m_handover.ran = ran;
        m_handover.finished.notify_all();
    }

    const std::function<void()>& m_work;
    Handover& m_handover;
    bool m_finished = false;
};

class PostEvent : public WorkEvent
{
public:
    explicit PostEvent(std::function<void()> work)
        : WorkEvent(CallEventType()), m_work(std::move(work))
    {}
    void run() override { m_work(); }

private:
    std::function<void()> m_work;
};

} // namespace

void ThreadCaller::post(std::function<void()> work)
{
    auto* posted = new PostEvent(std::move(work));
    {
        std::lock_guard lock(m_posting);
    }
    QCoreApplication::postEvent(this, posted);
}

bool ThreadCaller::run(const std::function<void()>& work)
{
    if (QThread::currentThread() == thread()) {
        work();
        return true;
    }
    Handover handover;
    auto* call = new CallEvent(work, handover);
    {
        // Pairs with the lock event() takes first: what this thread wrote,
        // the event included, is seen there.
        std::lock_guard lock(m_posting);
    }
    QCoreApplication::postEvent(this, call);

    std::unique_lock lock(handover.lock);
    handover.finished.wait(lock, [&] { return handover.done; });
    return handover.ran;
}

bool ThreadCaller::event(QEvent* event)
{
    {
        std::lock_guard lock(m_posting);
    }
    if (event->type() != CallEventType())
        return QObject::event(event);
    static_cast<WorkEvent*>(event)->run();
    return true;
}
