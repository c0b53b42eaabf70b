#pragma once

#include "engine/ThreadCall.h"
#include "tests/support/RecordingOperator.h"

#include <QCoreApplication>
#include <QObject>
#include <QThread>
#include <atomic>
#include <functional>

// The operator of the end-to-end tests: like the station's own, it answers on
// the window's (main) thread, a worker thread waiting there until it has; then
// it records the message and "presses OK" at once. A test can see a worker
// waiting (waiting()) and look at the window at the moment a message shows.
class WindowThreadOperator : public Operator
{
public:
    void showMessage(const QString& text, const QString& caption, MessageIcon icon) override
    {
        auto answer = [&] {
            if (whenShown)
                whenShown(text);
            recorded.showMessage(text, caption, icon);
        };
        if (QThread::currentThread() == m_window.thread()) {
            answer();
            return;
        }
        ++m_waiting;
        m_window.run(answer);
        --m_waiting;
    }
    bool askQuestion(const QString& text, const QString& caption) override
    {
        bool answer = false;
        auto ask = [&] {
            if (whenShown)
                whenShown(text);
            answer = recorded.askQuestion(text, caption);
        };
        if (QThread::currentThread() == m_window.thread()) {
            ask();
            return answer;
        }
        ++m_waiting;
        m_window.run(ask);
        --m_waiting;
        return answer;
    }
    QString askOpenFileName(const QString& filter) override
    {
        return recorded.askOpenFileName(filter);
    }
    void beep() override { recorded.beep(); }

    // Workers waiting for the window's thread to show their message.
    int waiting() const { return m_waiting; }

    RecordingOperator recorded;
    std::function<void(const QString&)> whenShown; // runs on the window's thread

private:
    ThreadCaller m_window; // created on the main thread: the window's
    std::atomic<int> m_waiting{0};
};
