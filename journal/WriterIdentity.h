#pragma once

#include <QString>

// Which running process wrote a "writing" row, so that a station starting
// beside another one on the same machine does not take the other's token in
// the middle of its writing for one left by a crash.
//
// "<boot id> <pid> <start time>": the boot id tells a row of an earlier boot
// (its writer is gone), the process's start time tells a reused pid. Empty
// where the system does not tell (every row then counts as left by a crash).
QString CurrentWriter();

// Whether the process that wrote writer may still be running on this machine:
// false for an empty text, another boot, or a pid that is gone or reused.
bool WriterMayBeRunning(const QString& writer);
