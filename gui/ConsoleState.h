#pragma once

#include <QString>
#include <functional>
#include <mutex>

// The window's texts: what the connected station shows of its token, the
// seed file and the status line, shown by the window at each token refresh.
// The seed sources read them from any thread, hence the lock. The seed itself
// is not among them: the seed edit is its only holder in the window, so that
// a replaced or cleared seed leaves no second copy behind.
struct ConsoleTexts
{
    QString serialNumber;  // m_serialNumber: token on the reader, empty when none
    QString tokenClock;    // m_tokenClock: token clock read at detection (UTC)
    QString computerClock; // m_computerClock (UTC)
    QString tips;          // m_tips: status line
    QString seedFilePath;  // m_seedFilePath
    QString userName;      // m_userName: last user name written to the export files
};

class ConsoleState
{
public:
    ConsoleTexts texts() const
    {
        std::lock_guard lock(m_lock);
        return m_texts;
    }
    // Runs change on the texts under the lock; keep it short and call nothing
    // that may wait on another thread from inside it.
    void update(const std::function<void(ConsoleTexts&)>& change)
    {
        std::lock_guard lock(m_lock);
        change(m_texts);
    }

private:
    mutable std::mutex m_lock;
    ConsoleTexts m_texts;
};
