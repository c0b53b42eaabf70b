#pragma once

#include "engine/Operator.h"

#include <QStringList>
#include <deque>
#include <mutex>

// The operator of a test: records every message instead of showing it, and
// answers file dialogs with paths queued in advance (empty: cancelled).
class RecordingOperator : public Operator
{
public:
    struct Message
    {
        QString text;
        QString caption;
        MessageIcon icon;
    };

    void showMessage(const QString& text, const QString& caption, MessageIcon icon) override
    {
        std::lock_guard lock(m_lock);
        m_messages.push_back({text, caption, icon});
    }
    // A question is recorded like a message and answered with the answer
    // queued for it; without one, No.
    bool askQuestion(const QString& text, const QString& caption) override
    {
        std::lock_guard lock(m_lock);
        m_messages.push_back({text, caption, MessageIcon::None});
        if (m_questionAnswers.empty())
            return false;
        const bool answer = m_questionAnswers.front();
        m_questionAnswers.pop_front();
        return answer;
    }
    void answerNextQuestion(bool yes)
    {
        std::lock_guard lock(m_lock);
        m_questionAnswers.push_back(yes);
    }
    QString askOpenFileName(const QString& filter) override
    {
        std::lock_guard lock(m_lock);
        m_filters.push_back(filter);
        if (m_answers.empty())
            return {};
        QString path = m_answers.front();
        m_answers.pop_front();
        return path;
    }
    void beep() override
    {
        std::lock_guard lock(m_lock);
        ++m_beeps;
    }

    void answerNextFileDialog(const QString& path)
    {
        std::lock_guard lock(m_lock);
        m_answers.push_back(path);
    }
    std::vector<Message> messages() const
    {
        std::lock_guard lock(m_lock);
        return m_messages;
    }
    QStringList texts() const
    {
        std::lock_guard lock(m_lock);
        QStringList all;
        for (const auto& m : m_messages)
            all << m.text;
        return all;
    }
    QStringList filters() const
    {
        std::lock_guard lock(m_lock);
        return m_filters;
    }
    int beeps() const
    {
        std::lock_guard lock(m_lock);
        return m_beeps;
    }
    void clear()
    {
        std::lock_guard lock(m_lock);
        m_messages.clear();
        m_beeps = 0;
    }

private:
    mutable std::mutex m_lock;
    std::vector<Message> m_messages;
    std::deque<QString> m_answers;
    std::deque<bool> m_questionAnswers;
    QStringList m_filters;
    int m_beeps = 0;
};
