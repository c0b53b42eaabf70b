#include "otp/Totp.h"

#include <stdexcept>

ByteString PackU32BE(uint32_t value)
{
    return ByteString{static_cast<uint8_t>(value >> 24), static_cast<uint8_t>(value >> 16),
                      static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value)};
}

ByteString PackU64BE(uint64_t value)
{
    ByteString bytes = PackU32BE(static_cast<uint32_t>(value >> 32));
    bytes.append(PackU32BE(static_cast<uint32_t>(value)));
    return bytes;
}

uint32_t Hotp(const ByteString& key, uint64_t counter, uint32_t digits, OtpAlgorithm algorithm)
{
    // 10^10 does not fit the 32-bit modulus; a code of more digits would be
    // silently wrong rather than long.
    if (digits > 9) {
        throw std::invalid_argument("a one-time password has at most 9 digits");
    }
    const ByteString message = PackU64BE(counter);
    const ByteString mac =
        algorithm == OtpAlgorithm::Sha256 ? HmacSha256(key, message) : HmacSha1(key, message);

    // Dynamic truncation: four bytes at the offset named by the last byte.
    const size_t offset = mac[mac.size() - 1] & 0x0F;
    uint32_t truncated = static_cast<uint32_t>(mac[offset] & 0x7F) << 24 |
                         static_cast<uint32_t>(mac[offset + 1]) << 16 |
                         static_cast<uint32_t>(mac[offset + 2]) << 8 |
                         static_cast<uint32_t>(mac[offset + 3]);
    ScopedWipe wipeTruncated(&truncated, sizeof truncated);

    uint32_t modulus = 1;
    for (uint32_t i = 0; i < digits; ++i) {
        modulus *= 10;
    }
    return truncated % modulus;
}

uint32_t Totp(const ByteString& key, uint64_t time, uint64_t step, uint32_t digits,
              OtpAlgorithm algorithm)
{
    if (step == 0) {
        throw std::invalid_argument("the time step of a one-time password must not be 0");
    }
    return Hotp(key, time / step, digits, algorithm);
}
