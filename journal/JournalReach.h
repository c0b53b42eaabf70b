#pragma once

#include "JournalLocation.h"
#include "JournalResult.h"

// Whether the journal answers now, for the window to show: the server
// accepts connections (a short probe of its own, so that it never waits on
// a station's call), or the SQLite file, or the folder it would be made in,
// may be written. Blocks for a few seconds at most: call it off the window's
// thread.
JournalResult<void> CheckJournalReachable(const JournalLocation& location);
