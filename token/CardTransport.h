#pragma once

#include <cstdint>
#include <string>

// The card reader transport under the token commands: one link state per
// process (context, card, active protocol).

// Connects to the card in the named reader (UTF-8). TOKEN_OK or TOKEN_ERR_CONNECT.
int32_t CardConnect(const char* reader);

// Exchanges one APDU over the last connection; returns the platform's code
// (0 on success). responseLength is the capacity in, the bytes received out.
long CardTransmit(const uint8_t* command, unsigned long commandLength, uint8_t* response,
                  unsigned long* responseLength);

// Disconnects leaving the card powered, and releases the context. Always 0.
int CardRelease();

// Appends every reader name followed by "[E]" to text (UTF-8). 0 on success,
// -1 when the platform gives no context or no reader; text is then unchanged.
int ListReaders(std::string& text);
