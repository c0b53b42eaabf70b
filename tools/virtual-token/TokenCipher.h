#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// The virtual token's own cryptography, written straight on OpenSSL and apart
// from the station's token link, so that the two check each other.

// SM4-ECB over whole 16-byte blocks; false when OpenSSL refuses.
bool Sm4Blocks(const uint8_t* key, const uint8_t* input, size_t length, uint8_t* output,
               bool encrypt);

// The four-byte SM4 CBC-MAC with a zero initial value over data padded with
// 0x80 and zeros; false when OpenSSL refuses.
bool Sm4CbcMac(const uint8_t* key, const std::vector<uint8_t>& data, std::array<uint8_t, 4>& mac);

// The six-digit code of HMAC-SHA-1 (algorithm 1) or HMAC-SHA-256 (2) over the
// counter, as a TOTP display shows it; empty when HMAC fails.
std::string SixDigitCode(int algorithm, const std::vector<uint8_t>& seed, uint64_t counter);

// Fills bytes with cryptographically random bytes; false when none are to be had.
bool RandomBytes(uint8_t* bytes, size_t count);
