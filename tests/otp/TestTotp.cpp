#include "otp/Totp.h"

#include <gtest/gtest.h>
#include <stdexcept>
#include <string>

namespace {

const ByteString kSha1Seed = ByteString::FromText("12345678901234567890");
const ByteString kSha256Seed = ByteString::FromText("12345678901234567890123456789012");

TEST(Hotp, ReproducesRfc4226AppendixD)
{
    const uint32_t expected[] = {755224, 287082, 359152, 969429, 338314,
                                 254676, 287922, 162583, 399871, 520489};
    for (uint64_t counter = 0; counter < 10; ++counter) {
        EXPECT_EQ(Hotp(kSha1Seed, counter, 6), expected[counter]) << "counter " << counter;
    }
}

struct Rfc6238Row
{
    uint64_t time;
    uint32_t sha1;
    uint32_t sha256;
};

TEST(Totp, ReproducesRfc6238AppendixB)
{
    const Rfc6238Row rows[] = {
        {59, 94287082, 46119246},         {1111111109, 7081804, 68084774},
        {1111111111, 14050471, 67062674}, {1234567890, 89005924, 91819424},
        {2000000000, 69279037, 90698825}, {20000000000, 65353130, 77737706},
    };
    for (const Rfc6238Row& row : rows) {
        SCOPED_TRACE("time " + std::to_string(row.time));
        EXPECT_EQ(Totp(kSha1Seed, row.time, 30, 8), row.sha1);
        EXPECT_EQ(Totp(kSha1Seed, row.time, 30, 8, OtpAlgorithm::Sha1), row.sha1);
        EXPECT_EQ(Totp(kSha256Seed, row.time, 30, 8, OtpAlgorithm::Sha256), row.sha256);
    }
}

TEST(Totp, CountsStepsFromTheEpoch)
{
    for (uint64_t step : {30u, 60u}) {
        SCOPED_TRACE("step " + std::to_string(step));
        const uint64_t k = 1700000000 / step;
        EXPECT_EQ(Totp(kSha1Seed, k * step, step, 6),
                  Totp(kSha1Seed, k * step + step - 1, step, 6));
        EXPECT_EQ(Totp(kSha1Seed, k * step - 1, step, 6), Hotp(kSha1Seed, k - 1, 6));
        EXPECT_EQ(Totp(kSha1Seed, k * step, step, 6), Hotp(kSha1Seed, k, 6));
        EXPECT_NE(Hotp(kSha1Seed, k - 1, 6), Hotp(kSha1Seed, k, 6));
    }
}

TEST(Hotp, HandlesEveryDigitCountAndKeySize)
{
    // RFC 4226 counter 0 truncates to 1284755224; each digit count keeps its tail.
    uint32_t modulus = 1;
    for (uint32_t digits = 0; digits <= 9; ++digits) {
        EXPECT_EQ(Hotp(kSha1Seed, 0, digits), 1284755224u % modulus) << digits << " digits";
        modulus *= 10;
    }
    for (uint64_t counter = 0; counter < 50; ++counter) {
        EXPECT_EQ(Hotp(kSha1Seed, counter, 0, OtpAlgorithm::Sha256), 0u);
    }
    for (size_t keySize : {0u, 1u, 64u, 65u, 200u}) {
        EXPECT_LT(Hotp(ByteString(keySize, 7), 1, 6), 1000000u) << keySize << "-byte key";
    }
}

TEST(Hotp, RefusesWhatItCannotCompute)
{
    EXPECT_THROW(Hotp(kSha1Seed, 0, 10), std::invalid_argument);
    EXPECT_THROW(Totp(kSha1Seed, 59, 30, 10), std::invalid_argument);
    EXPECT_THROW(Totp(kSha1Seed, 59, 0, 6), std::invalid_argument);
}

} // namespace
