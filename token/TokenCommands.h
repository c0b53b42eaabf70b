#pragma once

#include "TokenResult.h"

#include <cstddef>
#include <cstdint>

// The five token commands. Each opens its own connection to the card in the
// named reader (UTF-8 text), exchanges its APDUs and returns a result code of
// TokenResult.h. customerKeyText is 32 hexadecimal characters.

// Reads serial number and clock. The texts are copied without a terminating
// zero; the lengths are capacities in, lengths used out. The clock text is
// "%04d-%02d-%02d %02d:%02d:%02d" in UTC (19 characters).
int32_t TokenReadInfo(const char* reader, uint8_t* serial, unsigned* serialLength, uint8_t* clock,
                      unsigned* clockLength);

int32_t TokenAuthenticate(const char* reader, const char* customerKeyText);

int32_t TokenWriteSeed(const char* reader, const char* customerKeyText, const uint8_t* seed,
                       int seedLength);

// algorithmName "SHA1" or "SHA256"; timeStep 30 or 60; displayTime 15, 30, 60
// or 120; timeText "Y/M/D/h/m/s" read as UTC; option -1, 0 or 3..15.
int32_t TokenConfigure(const char* reader, const char* customerKeyText, const char* algorithmName,
                       int timeStep, int displayTime, const char* timeText, int option);

int32_t TokenSeal(const char* reader, const char* customerKeyText);

// Reads a token time text; 0 and the clock value on success, -1 otherwise.
int ParseTokenTimeText(const char* text, size_t length, uint32_t* seconds);

uint32_t ReadBigEndian(const uint8_t* bytes, size_t count);
