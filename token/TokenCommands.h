#pragma once

#include "TokenResult.h"

#include <cstddef>
#include <cstdint>

// The five token commands, each on its own: it opens a connection to the card
// in the named reader (UTF-8 text) in a transaction of its own, exchanges its
// APDUs, closes the connection leaving the card powered, and returns a result
// code of TokenResult.h. The commands may be called from any thread. Work
// that needs several commands on one token (authenticate, then a secured
// command) runs them in one TokenSession instead, so that the token cannot be
// powered down or reached by another connection in between.

// Reads serial number and clock. The texts are copied without a terminating
// zero; the lengths are capacities in, lengths used out. The clock text is
// "%04d-%02d-%02d %02d:%02d:%02d" in UTC (19 characters).
int32_t TokenReadInfo(const char* reader, uint8_t* serial, unsigned* serialLength, uint8_t* clock,
                      unsigned* clockLength);

int32_t TokenAuthenticate(const char* reader, const char* customerKeyText);

// seedLength 0..63; longer is TOKEN_ERR_SEED_TOO_LONG, negative (or a missing
// seed) TOKEN_ERR_BUFFER.
int32_t TokenWriteSeed(const char* reader, const char* customerKeyText, const uint8_t* seed,
                       int seedLength);

// algorithmName "SHA1" or "SHA256"; timeStep 30 or 60; displayTime 15, 30, 60
// or 120; timeText "Y/M/D/h/m/s" read as UTC; option -1, 0 or 3..15.
int32_t TokenConfigure(const char* reader, const char* customerKeyText, const char* algorithmName,
                       int timeStep, int displayTime, const char* timeText, int option);

int32_t TokenSeal(const char* reader, const char* customerKeyText);

// Reads a token time text of length bytes (it ends early at a zero byte); 0
// and the clock value on success, -1 otherwise (also for a field longer than
// 255 characters or one whose value overflows).
int ParseTokenTimeText(const char* text, size_t length, uint32_t* seconds);

uint32_t ReadBigEndian(const uint8_t* bytes, size_t count);
