#pragma once

#include "ChildProgram.h"

#include <QJsonObject>
#include <QList>
#include <QStringList>
#include <csignal>
#include <functional>

// The station's program running one terminal command (`station program`,
// `station journal`, ...), as an operator's terminal runs it; its output
// gathered as it comes.
class StationCommand
{
public:
    explicit StationCommand(const QStringList& arguments, const QStringList& environment = {});

    // Serves the output until condition holds or the program ends (20 s at most).
    bool waitUntil(const std::function<bool()>& condition);
    bool waitForEvents(int count);
    bool waitForError(const QString& text);
    void interrupt(int signal = SIGINT) { m_program.signal(signal); }
    // Waits for the end; the exit status, or -1 when it did not end normally.
    int finish() { return m_program.finish(); }
    pid_t pid() const { return m_program.pid(); }

    // Standard output's lines as JSON objects (the token events).
    QList<QJsonObject> events() const;
    QByteArray output() const { return m_program.output(); }
    QString errorText() const { return QString::fromUtf8(m_program.errorOutput()); }

    // The station program's path in this build.
    static QString ProgramPath();

private:
    ChildProgram m_program;
};
