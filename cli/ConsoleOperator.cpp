#include "ConsoleOperator.h"

void ConsoleOperator::showMessage(const QString& text, const QString& caption, MessageIcon)
{
    say(caption + QStringLiteral(": ") + text);
}

bool ConsoleOperator::askQuestion(const QString& text, const QString&)
{
    say(text + QStringLiteral(" No (the command line does not ask)."));
    return false;
}

void ConsoleOperator::say(const QString& text)
{
    QString line = text;
    line.replace(QLatin1Char('\n'), QStringLiteral("\n  "));
    const QByteArray bytes = line.toUtf8() + '\n';
    std::lock_guard lock(m_lock);
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), m_out);
    std::fflush(m_out);
}
