#include "JournalLocation.h"

#include "PostgresJournal.h"
#include "SqliteJournal.h"

bool JournalLocation::isServer() const
{
    return IsServerJournalName(given);
}

QString JournalLocation::displayName() const
{
    if (given.isEmpty())
        return defaultPath;
    return isServer() ? JournalDisplayName(given) : given;
}

JournalResult<std::unique_ptr<ProgrammingJournal>> OpenJournal(const JournalLocation& location,
                                                               QString* unreachable)
{
    if (location.isServer()) {
        auto opened = PostgresJournal::open(location.given, {}, unreachable);
        if (!opened.ok())
            return JournalError{opened.error()};
        return std::unique_ptr<ProgrammingJournal>(std::move(opened).value());
    }
    auto opened =
        SqliteJournal::open(location.given.isEmpty() ? location.defaultPath : location.given);
    if (!opened.ok())
        return JournalError{opened.error()};
    return std::unique_ptr<ProgrammingJournal>(std::move(opened).value());
}
