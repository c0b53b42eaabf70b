#pragma once

#include <cstdint>

// The SM4 block cipher (GB/T 32907-2016) as the token link uses it: ECB over
// whole 16-byte blocks, and a four-byte CBC-MAC. Both are keyed directly with
// the 16-byte customer key; nothing is kept between calls.

constexpr int SM4_ENCRYPT = 0;
constexpr int SM4_DECRYPT = 1;

constexpr int SM4_OK = 0;
constexpr int SM4_ERR_ARGUMENT = -1;    // a buffer missing, length 0 or not a multiple of 16
constexpr int SM4_ERR_MODE = -2;        // mode other than SM4_ENCRYPT or SM4_DECRYPT
constexpr int SM4_ERR_CRYPTO = -3;      // the cryptographic library refused the operation
constexpr int SM4_ERR_CAPACITY = 8;     // output too small; capacity is set to the size needed
constexpr int SM4_MAC_ERR_CAPACITY = 1; // Sm4Mac: room for fewer than 4 bytes

// Transforms length bytes of input block by block into output (which may be
// the input itself). capacity: the output's size in, length out on success.
// Arguments are checked in the order of the codes above; on a failure nothing
// is written.
int Sm4Ecb(const uint8_t* key, const uint8_t* input, unsigned length, uint8_t* output,
           unsigned* capacity, int mode);

// ISO/IEC 9797-1 MAC algorithm 1 with SM4: zero initial value, padding with
// 0x80 and zeros (always at least one byte), the first four bytes of the last
// block. Any length, 0 included. capacity: the mac's size in, 4 out.
int Sm4Mac(const uint8_t* key, const uint8_t* data, unsigned length, uint8_t* mac,
           unsigned* capacity);
