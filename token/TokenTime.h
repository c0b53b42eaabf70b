#pragma once

#include <cstddef>
#include <cstdint>

// The token's clock: unsigned 32-bit seconds since 1970-01-01 00:00:00 UTC,
// read by people as "YYYY-MM-DD hh:mm:ss" and set from "Y/M/D/h/m/s".
// ParseTokenTimeText and ReadBigEndian are declared in TokenCommands.h.

constexpr size_t TOKEN_CLOCK_TEXT_LENGTH = 19;

// Seconds since 1970-01-01 of a UTC calendar time (the year may be anything
// the proleptic Gregorian calendar holds); no range check.
int64_t SecondsFromUtc(int year, int month, int day, int hour, int minute, int second);

// Writes the UTC calendar time of clock as "%04d-%02d-%02d %02d:%02d:%02d"
// into text and a terminating zero (20 bytes).
void FormatTokenClockText(uint32_t clock, char (&text)[TOKEN_CLOCK_TEXT_LENGTH + 1]);
