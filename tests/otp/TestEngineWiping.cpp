#include "otp/Totp.h"
#include "tests/support/FreedMemoryWatch.h"

#include <functional>
#include <gtest/gtest.h>
#include <new>
#include <openssl/evp.h>
#include <string>

namespace {

ByteString Pad(const ByteString& keyBlock, uint8_t mask)
{
    ByteString pad(64);
    for (size_t i = 0; i < 64; ++i) {
        pad[i] = static_cast<uint8_t>((i < keyBlock.size() ? keyBlock[i] : 0) ^ mask);
    }
    return pad;
}

ByteString OpenSslDigest(const EVP_MD* md, const ByteString& message)
{
    uint8_t out[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    EVP_Digest(message.data(), message.size(), out, &size, md, nullptr);
    return ByteString(out, size);
}

// What the engine derives from a key on its way to a code: the key block,
// both pads, the inner digest and the MAC. None of it may reach freed memory.
struct KeyMaterial
{
    std::vector<ByteString> patterns;
};

KeyMaterial MaterialOf(const ByteString& key, const ByteString& message, OtpAlgorithm algorithm)
{
    const EVP_MD* md = algorithm == OtpAlgorithm::Sha256 ? EVP_sha256() : EVP_sha1();
    const ByteString keyBlock = key.size() > 64 ? OpenSslDigest(md, key) : key;
    ByteString inner = Pad(keyBlock, 0x36);
    ByteString innerMessage = inner;
    innerMessage.append(message);
    const ByteString innerDigest = OpenSslDigest(md, innerMessage);
    const ByteString mac =
        algorithm == OtpAlgorithm::Sha256 ? HmacSha256(key, message) : HmacSha1(key, message);
    return {{keyBlock, ByteString(inner.data(), 32), Pad(keyBlock, 0x5C), innerDigest, mac}};
}

void WatchAll(const KeyMaterial& material)
{
    FreedMemoryWatch::Reset();
    for (const ByteString& pattern : material.patterns) {
        FreedMemoryWatch::Watch(pattern.data(), pattern.size() < 32 ? pattern.size() : 32);
    }
}

struct Case
{
    std::string name;
    ByteString key;
    OtpAlgorithm algorithm;
};

// Runs the computation once straight through, then once for every allocation
// it makes with that allocation failing, so each unwinding path is walked.
void ExpectNothingLeaks(const Case& c, const ByteString& message,
                        const std::function<void()>& compute)
{
    const KeyMaterial material = MaterialOf(c.key, message, c.algorithm);
    WatchAll(material);
    compute();
    EXPECT_FALSE(FreedMemoryWatch::StopAndReport()) << "normal path";

    for (int allowed = 0;; ++allowed) {
        WatchAll(material);
        FreedMemoryWatch::FailAfter(allowed);
        bool failed = false;
        try {
            compute();
        } catch (const std::bad_alloc&) {
            failed = true;
        }
        EXPECT_FALSE(FreedMemoryWatch::StopAndReport()) << "allocation " << allowed << " failed";
        if (!failed) {
            break;
        }
    }
}

TEST(EngineWiping, LeavesNoKeyMaterialInFreedMemory)
{
    const Case cases[] = {
        {"20-byte SHA-1 key", ByteString::FromText("12345678901234567890"), OtpAlgorithm::Sha1},
        {"100-byte SHA-1 key", ByteString(100, 0xC3), OtpAlgorithm::Sha1},
        {"32-byte SHA-256 key", ByteString::FromText("12345678901234567890123456789012"),
         OtpAlgorithm::Sha256},
        {"100-byte SHA-256 key", ByteString(100, 0xC3), OtpAlgorithm::Sha256},
    };
    const uint64_t counter = 56666666;
    const ByteString counterBytes = PackU64BE(counter);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ExpectNothingLeaks(c, counterBytes, [&] { Hotp(c.key, counter, 6, c.algorithm); });
        ExpectNothingLeaks(c, counterBytes,
                           [&] { Totp(c.key, counter * 30 + 7, 30, 8, c.algorithm); });
    }
}

} // namespace
