#pragma once

#include <QStringList>
#include <QTextStream>

// `station export --journal CONNINFO --key KEY.pem [--since DATE] [--serial S]
// --format hex|b32|azure|pskc [--pskc-key FILE] --out DIR`: writes the
// authentication server's import file from a fleet's sealed seed vault, the
// newest seed of each serial number (programmed, or sent by a station that
// stopped before recording it: those are named on err), with the station's own
// writers of export files (same formats, folder rules and durability). Every
// entry is opened before anything is written: a missing or wrong key, or an
// entry that cannot be opened, writes no file. A progress line goes to a
// terminal's standard error.
//
// Exit status: 0 written, 1 the key, the journal, an entry or the file
// failed (why on err), 2 bad arguments.
int RunExportCommand(const QStringList& args, QTextStream& out, QTextStream& err);
