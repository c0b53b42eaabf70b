#pragma once

#include <QString>
#include <atomic>
#include <functional>
#include <mutex>

// The window's texts, written by the worker threads and the window's thread
// and shown by the window at each token refresh.
struct ConsoleTexts
{
    QString serialNumber;  // m_serialNumber: token on the reader, empty when none
    QString tokenClock;    // m_tokenClock: token clock read at detection (UTC)
    QString computerClock; // m_computerClock (UTC)
    QString tips;          // m_tips: status line
    QString seedFilePath;  // m_seedFilePath
    QString seedText;      // m_seedText: current seed text
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

// Process-wide values of the console.
enum PollState
{
    PollIdle = 0,
    PollRunning = 1,
    PollStopRequested = 2
};

extern const char g_customerKey[];        // built-in customer key, 32 hexadecimal characters
extern std::atomic<int> g_pollState;      // PollState of the token poll chain
extern std::atomic<int> g_detectPending;  // 1 while the token on the reader is not read yet
extern std::atomic<int> g_programPending; // 1 while the token on the reader may be programmed
extern std::atomic<int> g_totalCount;
extern std::atomic<int> g_successCount;
extern std::atomic<int> g_failCount;

// The reader chosen with Connect, read by the poll thread while the window's
// thread may replace it.
class LockedText
{
public:
    QString get() const
    {
        std::lock_guard lock(m_lock);
        return m_text;
    }
    void set(const QString& text)
    {
        std::lock_guard lock(m_lock);
        m_text = text;
    }

private:
    mutable std::mutex m_lock;
    QString m_text;
};
extern LockedText g_readerName;
