#pragma once

#include "Operator.h"

#include <QStringList>

// The operator as one programming run sees it: every message of the run is
// kept as the run's reason. A pressed run also shows each one; an automatic
// run shows none, so a run of tokens needs no click. Questions always reach
// the operator.
class MessageCollector : public Operator
{
public:
    MessageCollector(Operator& op, bool show) : m_operator(op), m_show(show) {}

    void showMessage(const QString& text, const QString& caption, MessageIcon icon) override
    {
        m_messages << text;
        if (m_show)
            m_operator.showMessage(text, caption, icon);
    }
    bool askQuestion(const QString& text, const QString& caption) override
    {
        return m_operator.askQuestion(text, caption);
    }
    QString askOpenFileName(const QString& filter) override
    {
        return m_operator.askOpenFileName(filter);
    }
    void beep() override { m_operator.beep(); }

    QString text() const { return m_messages.join(QStringLiteral("\n")); }
    void clear() { m_messages.clear(); }

private:
    Operator& m_operator;
    const bool m_show;
    QStringList m_messages;
};
