#pragma once

#include "seed/ByteString.h"

#include <cstdint>

enum class OtpAlgorithm
{
    Sha1,
    Sha256
};

ByteString PackU32BE(uint32_t value);
ByteString PackU64BE(uint64_t value);

ByteString Sha1(const ByteString& message);
ByteString Sha256(const ByteString& message);
// HMAC with a 64-byte block; keys longer than the block are hashed first.
ByteString HmacSha1(const ByteString& key, const ByteString& message);
ByteString HmacSha256(const ByteString& key, const ByteString& message);

// The code below 10^digits; leading zeros are the caller's to show.
// digits 0..9; larger values throw std::invalid_argument.
uint32_t Hotp(const ByteString& key, uint64_t counter, uint32_t digits,
              OtpAlgorithm algorithm = OtpAlgorithm::Sha1);
// Hotp at counter time / step (start time 0); a step of 0 throws
// std::invalid_argument.
uint32_t Totp(const ByteString& key, uint64_t time, uint64_t step, uint32_t digits,
              OtpAlgorithm algorithm = OtpAlgorithm::Sha1);
