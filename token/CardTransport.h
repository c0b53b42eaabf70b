#pragma once

#include <cstdint>
#include <mutex>
#include <string>

// The card reader transport under the token commands: one link state per
// process (context, card, active protocol), guarded by the card link lock.

// Connects to the card in the named reader (UTF-8). TOKEN_OK or TOKEN_ERR_CONNECT.
// A connection an earlier command left open is released first (the card
// stays powered), and a failed connect releases what it obtained.
int32_t CardConnect(const char* reader);

// Exchanges one APDU over the last connection; returns the platform's code
// (0 on success). responseLength is the capacity in, the bytes received out.
long CardTransmit(const uint8_t* command, unsigned long commandLength, uint8_t* response,
                  unsigned long* responseLength);

// Disconnects leaving the card powered, and releases the context. Always 0.
int CardRelease();

// Appends every reader name followed by "[E]" to text (UTF-8). 0 on success,
// -1 when the platform gives no context or no reader; text is then unchanged.
// The list is read in full, however long.
int ListReaders(std::string& text);

// The card link lock. Every token command holds it from its connect to its
// release or return, so commands of different threads never interleave on
// the one link state; the Card* operations take it too (it is recursive).
std::unique_lock<std::recursive_mutex> LockCardLink();
