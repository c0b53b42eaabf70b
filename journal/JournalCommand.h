#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QTextStream>
#include <optional>

// `station journal [--export DIR] [--since DATE] [--serial S] [--json]
// [--journal J]`: lists the attempts of the journal at databasePath, with
// --export of the journal that `station program --export DIR` kept in DIR, or
// J (a fleet's journal on PostgreSQL, or another SQLite file), oldest first.
// args are the words after "journal". Text: a title line, then one aligned
// line per attempt (local time). --json: one JSON object per line with id,
// time (ISO 8601 UTC), reader, serial, user, settings, exportFiles, state and
// reason (and station, in a fleet's journal). A journal not created yet lists
// nothing; a folder given with --export that holds none is an error.
//
// Exit status: 0 listed, 1 the journal cannot be read or --export's folder
// holds none (why on err), 2 bad arguments (why on err).
int RunJournalCommand(const QStringList& args, QTextStream& out, QTextStream& err,
                      const QString& databasePath);

// --since's DATE: "YYYY-MM-DD" (local midnight), or an ISO 8601 date and time
// ("2026-12-10T14:05" or "2026-12-10 14:05", in local time unless it ends in
// "Z" or an offset such as "+01:00"). nullopt when it is neither.
std::optional<QDateTime> ParseJournalSince(const QString& text);
