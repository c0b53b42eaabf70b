#pragma once

#include "seed/ByteString.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// Lenient decoder (programs tokens, checks seed files, makes the hex export).
// Returns the number of bytes written to out, 0 for text it refuses: empty,
// only "=", a character outside the alphabet, only zero bits, longer than
// 255 characters, or a result larger than capacity. Nothing is written to out
// when it returns 0. Allocates nothing.
int32_t Base32ToBytes(const char* text, uint8_t* out, size_t capacity);

// The same decoder over exactly length characters of text, which need not end
// in a zero byte: a zero byte inside them is a character outside the alphabet,
// so a seed holding a NUL is refused instead of cut short at it. Every text
// that carries its own length (QString, QByteArray, std::string, a seed file's
// field) goes through this one.
int32_t Base32ToBytes(const char* text, size_t length, uint8_t* out, size_t capacity);

// Strict decoder (the OTP preview): throws std::invalid_argument with the
// station's fixed messages.
ByteString DecodeBase32(std::string_view text);
ByteString DecodeBase32Chunk(std::string_view chunk);

// Encodes whole 5-byte groups without padding. A length that is not a
// multiple of 5 gives an empty text.
std::string EncodeBase32Groups(const uint8_t* bytes, size_t length);
