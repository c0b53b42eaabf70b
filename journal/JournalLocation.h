#pragma once

#include "ProgrammingJournal.h"

#include <QString>
#include <memory>

// Where the station's journal is: --journal's value (the window's Journal
// setting), a libpq connection string or URI ("service=tokens",
// "host=/run/postgresql dbname=tokens", "postgresql://...") for a fleet's
// journal on PostgreSQL, or the path of a SQLite file; empty for the
// station's own file in its Data folder (defaultPath).
struct JournalLocation
{
    QString given;       // as the user named it; empty for the default
    QString defaultPath; // the SQLite file of the Data folder

    bool isServer() const;
    // The journal as messages name it: a path, or the connection without its password.
    QString displayName() const;
};

// Opens the journal there, creating the SQLite file or the server's tables
// when they are missing. With unreachable, a server that cannot be reached
// now is no failure: why is put there, and the journal refuses every call
// until the server answers (PostgresJournal::open).
JournalResult<std::unique_ptr<ProgrammingJournal>> OpenJournal(const JournalLocation& location,
                                                               QString* unreachable = nullptr);
