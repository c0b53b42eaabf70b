#pragma once

#include "JournalResult.h"

#include <QString>

// The journal's file within the Data folder.
QString JournalDatabasePath(const QString& dataFolder);

// Makes the journal's folder and files the owner's only before SQLite opens
// them: the folder (and any missing parent) is created 0700 and an existing
// folder of ours is tightened to 0700; the database and its -wal and -shm
// files are created 0600 whatever the umask, an existing one of ours is
// tightened to 0600. A link, a file of another user, a file with other names
// (hard links) or anything but a regular file is refused with the reason:
// the journal must not be written where someone else put it.
//
// No file is opened and closed while it may carry a lock: closing any
// descriptor of a file drops every POSIX lock the process holds on it,
// SQLite's included. A missing file is made under a temporary name and
// moved into place closed.
JournalResult<void> PrepareJournalFiles(const QString& databasePath);
