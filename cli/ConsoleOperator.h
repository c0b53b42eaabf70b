#pragma once

#include "engine/Operator.h"

#include <QString>
#include <mutex>

// The operator of the command line: messages go to standard error as they
// come, from whichever station's thread; no question is put to anyone, so
// each is answered No (the safe answer: nothing is spent or overwritten)
// and the answer is said.
class ConsoleOperator : public Operator
{
public:
    explicit ConsoleOperator(FILE* out = stderr) : m_out(out) {}

    void showMessage(const QString& text, const QString& caption, MessageIcon icon) override;
    bool askQuestion(const QString& text, const QString& caption) override;
    QString askOpenFileName(const QString&) override { return {}; }
    void beep() override {}

    // One line of human text, whole even when stations write at once.
    void say(const QString& text);

private:
    std::mutex m_lock;
    FILE* const m_out;
};
