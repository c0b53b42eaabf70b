#pragma once

#include <PCSC/winscard.h>
#include <chrono>
#include <condition_variable>
#include <mutex>

// The PC/SC context of one watching thread, and its waits for reader and card
// events. The watching thread blocks in the platform's own wait, at no cost,
// until a reader or card changes or another thread wakes it.
//
// Everything but wake() belongs to the watching thread.
class ReaderEvents
{
public:
    ReaderEvents() = default;
    ~ReaderEvents();
    ReaderEvents(const ReaderEvents&) = delete;
    ReaderEvents& operator=(const ReaderEvents&) = delete;

    // Establishes the context unless one is held; false when the smart-card
    // service does not answer.
    bool ensureContext();
    // Releases the context, after the service went away for instance.
    void dropContext();
    SCARDCONTEXT context() const { return m_context; }

    // SCardGetStatusChange over states until one differs from its
    // dwCurrentState, the timeout passes (INFINITE for none) or wake() is
    // called. A wake that came before the wait makes it return at once.
    // SCARD_E_CANCELLED when woken, otherwise the platform's code.
    LONG waitForChange(SCARD_READERSTATE* states, DWORD count, DWORD timeoutMs = INFINITE);

    // For the watching thread while no service answers: waits for the given
    // time or until woken; false when woken.
    bool pause(std::chrono::milliseconds duration);

    // Any thread: the watching thread's current or next wait returns soon.
    void wake();

private:
    std::mutex m_lock;
    std::condition_variable m_changed;
    SCARDCONTEXT m_context = 0; // written by the watching thread under m_lock
    bool m_waiting = false;     // in SCardGetStatusChange
    bool m_wakePending = false;
};
