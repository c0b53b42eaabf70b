#include "JournalAttempt.h"

#include <array>
#include <utility>

namespace {

constexpr std::array<std::pair<AttemptState, const char*>, 4> kNames{{
    {AttemptState::Writing, "writing"},
    {AttemptState::Programmed, "programmed"},
    {AttemptState::Failed, "failed"},
    {AttemptState::Interrupted, "interrupted"},
}};

} // namespace

QString AttemptStateName(AttemptState state)
{
    for (const auto& [known, name] : kNames)
        if (known == state)
            return QString::fromLatin1(name);
    return {};
}

std::optional<AttemptState> AttemptStateFromName(const QString& name)
{
    for (const auto& [state, known] : kNames)
        if (name == QLatin1String(known))
            return state;
    return std::nullopt;
}

QString RecordedStateProblem(AttemptState state)
{
    if (state == AttemptState::Writing)
        return QStringLiteral("An attempt recorded after the fact needs its outcome; an attempt "
                              "still writing is begun with beginWriting().");
    return {};
}

QString FinishedStateProblem(AttemptState state)
{
    if (state != AttemptState::Programmed && state != AttemptState::Failed)
        return QStringLiteral("An attempt finishes programmed or failed, not %1.")
            .arg(AttemptStateName(state));
    return {};
}
