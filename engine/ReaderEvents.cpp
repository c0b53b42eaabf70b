#include "ReaderEvents.h"

#include "PcscClientLock.h"

namespace {
// A cancel that reaches the service before the wait it should end has
// registered is lost; the waker tries again this often, for this long.
constexpr auto kCancelRetry = std::chrono::milliseconds(2);
constexpr int kCancelAttempts = 100;
} // namespace

ReaderEvents::~ReaderEvents()
{
    dropContext();
}

bool ReaderEvents::ensureContext()
{
    std::lock_guard lock(m_lock);
    if (m_context != 0)
        return true;
    SCARDCONTEXT context = 0;
    std::lock_guard clientLock(PcscClientLock());
    if (SCardEstablishContext(SCARD_SCOPE_SYSTEM, nullptr, nullptr, &context) != SCARD_S_SUCCESS)
        return false;
    m_context = context;
    return true;
}

void ReaderEvents::dropContext()
{
    std::lock_guard lock(m_lock);
    if (m_context != 0) {
        std::lock_guard clientLock(PcscClientLock());
        SCardReleaseContext(m_context);
    }
    m_context = 0;
}

LONG ReaderEvents::waitForChange(SCARD_READERSTATE* states, DWORD count, DWORD timeoutMs)
{
    SCARDCONTEXT context = 0;
    {
        std::lock_guard lock(m_lock);
        if (m_wakePending) {
            m_wakePending = false;
            return SCARD_E_CANCELLED;
        }
        if (m_context == 0)
            return SCARD_E_INVALID_HANDLE;
        context = m_context;
        m_waiting = true;
    }
    const LONG result = SCardGetStatusChange(context, timeoutMs, states, count);
    {
        std::lock_guard lock(m_lock);
        m_waiting = false;
        const bool woken = m_wakePending;
        m_wakePending = false;
        m_changed.notify_all();
        if (woken && result != SCARD_S_SUCCESS)
            return SCARD_E_CANCELLED;
    }
    return result;
}

bool ReaderEvents::pause(std::chrono::milliseconds duration)
{
    std::unique_lock lock(m_lock);
    const bool woken = m_changed.wait_for(lock, duration, [this] { return m_wakePending; });
    m_wakePending = false;
    return !woken;
}

void ReaderEvents::wake()
{
    std::unique_lock lock(m_lock);
    m_wakePending = true;
    m_changed.notify_all();
    for (int attempt = 0; attempt < kCancelAttempts && m_waiting && m_wakePending; ++attempt) {
        SCardCancel(m_context);
        m_changed.wait_for(lock, kCancelRetry, [this] { return !m_waiting || !m_wakePending; });
    }
}
