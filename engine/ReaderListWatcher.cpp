#include "ReaderListWatcher.h"

#include "token/CardTransport.h"

using namespace std::chrono_literals;

namespace {
constexpr auto kServiceRetry = 500ms;
const char kPlugAndPlay[] = "\\\\?PnP?\\Notification";
} // namespace

ReaderListWatcher::ReaderListWatcher() : m_thread(0ms, [this] { m_events.wake(); }) {}

ReaderListWatcher::~ReaderListWatcher()
{
    stopAndWait();
}

void ReaderListWatcher::start()
{
    if (!m_thread.running())
        m_thread.start([this] { watchOnce(); }, [this] { m_events.dropContext(); });
}

void ReaderListWatcher::stopAndWait()
{
    m_thread.stopAndWait();
}

void ReaderListWatcher::watchOnce()
{
    const bool available = m_events.ensureContext();
    const bool changed = !m_serviceKnown || available != m_serviceAvailable;
    m_serviceKnown = true;
    m_serviceAvailable = available;
    if (changed)
        emit serviceChanged(available);
    if (!available) {
        if (changed)
            emit listFailed();
        m_events.pause(kServiceRetry);
        return;
    }

    std::string text;
    if (ListReaders(text) == 0)
        emit listed(QString::fromStdString(text));
    else
        emit listFailed();

    // The reader list is read again only when the platform says it changed.
    SCARD_READERSTATE plugAndPlay{};
    plugAndPlay.szReader = kPlugAndPlay;
    plugAndPlay.dwCurrentState = SCARD_STATE_UNAWARE;
    for (;;) {
        const LONG result = m_events.waitForChange(&plugAndPlay, 1);
        if (result == SCARD_S_SUCCESS || result == SCARD_E_CANCELLED)
            return;
        if (result == SCARD_E_TIMEOUT)
            continue;
        // The service went away (or the context is no longer valid): the
        // next cycle says so and waits for it to come back.
        m_events.dropContext();
        return;
    }
}
