#include "StationCommand.h"

#include <QJsonDocument>

StationCommand::StationCommand(const QStringList& arguments, const QStringList& environment)
    : m_program(ProgramPath(), arguments, environment)
{}

QString StationCommand::ProgramPath()
{
    return QStringLiteral(STATION_PROGRAM);
}

bool StationCommand::waitUntil(const std::function<bool()>& condition)
{
    const auto deadline = ChildProgram::Clock::now() + std::chrono::seconds(20);
    while (!condition()) {
        if (!m_program.serve(deadline))
            return condition();
    }
    return true;
}

bool StationCommand::waitForEvents(int count)
{
    return waitUntil([&] { return events().size() >= count; });
}

bool StationCommand::waitForError(const QString& text)
{
    return waitUntil([&] { return errorText().contains(text); });
}

QList<QJsonObject> StationCommand::events() const
{
    QList<QJsonObject> events;
    for (const QByteArray& line : output().split('\n'))
        if (!line.isEmpty())
            events << QJsonDocument::fromJson(line).object();
    return events;
}
