#pragma once

#include "engine/Station.h"

#include <QByteArray>

// One line of JSON for a token's outcome, for whatever reads the command
// line's standard output: reader, serial, user (the UPN its records name),
// result ("programmed",
// "not-recorded" or "failed"), whether it was programmed before, the reason
// and the export files that hold its record. Never the seed.
QByteArray TokenEventJson(const TokenOutcome& outcome);
