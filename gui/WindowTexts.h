#pragma once

#include <QString>
#include <functional>
#include <mutex>

// The window's texts: what the connected station shows of its token, the
// seed file and the status line, shown by the window at each token refresh.
// The seed itself is not among them: the seed edit is its only holder in the
// window, so that a replaced or cleared seed leaves no second copy behind.
struct WindowTexts
{
    QString serialNumber;  // the token on the reader, empty when none
    QString tokenClock;    // the token's clock as read at detection (UTC)
    QString computerClock; // UTC
    QString tips;          // the status line
    QString seedFilePath;
    QString userName; // the last user name written to the export files
};

// The window's texts behind a lock: the seed sources read them from any thread.
class SharedWindowTexts
{
public:
    WindowTexts copy() const
    {
        std::lock_guard lock(m_lock);
        return m_texts;
    }
    // Runs change on the texts under the lock; keep it short and call nothing
    // that may wait on another thread from inside it.
    void update(const std::function<void(WindowTexts&)>& change)
    {
        std::lock_guard lock(m_lock);
        change(m_texts);
    }

private:
    mutable std::mutex m_lock;
    WindowTexts m_texts;
};
