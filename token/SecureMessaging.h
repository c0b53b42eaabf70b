#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

using Apdu = std::vector<uint8_t>;

constexpr uint8_t CLA_PLAIN = 0x80;
constexpr uint8_t CLA_SECURED = 0x84;
constexpr size_t SECURED_DATA_MAX = 251; // data plus the 4-byte MAC fit the one-byte Lc

// Length after padding with 0x80 and zeros to the next multiple of 16; at
// least one byte is always added (16 bytes become 32).
constexpr size_t PaddedLength(size_t length)
{
    return (length / 16 + 1) * 16;
}

// Builds the MAC-protected form of the command 80 INS P1 P2 with data:
// 84 INS P1 P2 (n+4) data MAC, where the MAC covers the header as it reads
// unprotected (80 INS P1 P2 n) followed by the data. Returns 0, -1 for data
// longer than SECURED_DATA_MAX, or the result of Sm4Mac.
int BuildSecuredCommand(const uint8_t* key, uint8_t ins, uint8_t p1, uint8_t p2,
                        const uint8_t* data, size_t length, Apdu& apdu);
