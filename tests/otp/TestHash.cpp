#include "otp/Totp.h"
#include "tests/support/ByteStringPrinter.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <openssl/hmac.h>
#include <random>
#include <string>

namespace {

ByteString Hex(std::string_view hex)
{
    ByteString bytes;
    for (size_t i = 0; i + 1 < hex.size(); i += 2) {
        bytes.push_back(
            static_cast<uint8_t>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16)));
    }
    return bytes;
}

ByteString Text(std::string_view text)
{
    return ByteString::FromText(text);
}

ByteString RandomBytes(std::mt19937& random, size_t count)
{
    ByteString bytes(count);
    for (size_t i = 0; i < count; ++i) {
        bytes[i] = static_cast<uint8_t>(random());
    }
    return bytes;
}

ByteString OpenSslDigest(const EVP_MD* md, const ByteString& message)
{
    uint8_t out[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    EXPECT_EQ(EVP_Digest(message.data(), message.size(), out, &size, md, nullptr), 1);
    return ByteString(out, size);
}

ByteString OpenSslHmac(const EVP_MD* md, const ByteString& key, const ByteString& message)
{
    // OpenSSL wants a key pointer even for an empty key.
    static const uint8_t kNoKey = 0;
    uint8_t out[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    EXPECT_NE(HMAC(md, key.empty() ? &kNoKey : key.data(), static_cast<int>(key.size()),
                   message.data(), message.size(), out, &size),
              nullptr);
    return ByteString(out, size);
}

TEST(Hash, ReproducesThePublishedDigests)
{
    const std::string twoBlocks = "abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq";
    EXPECT_EQ(Sha1(Text("")), Hex("da39a3ee5e6b4b0d3255bfef95601890afd80709"));
    EXPECT_EQ(Sha1(Text("abc")), Hex("a9993e364706816aba3e25717850c26c9cd0d89d"));
    EXPECT_EQ(Sha1(Text(twoBlocks)), Hex("84983e441c3bd26ebaae4aa1f95129e5e54670f1"));
    EXPECT_EQ(Sha256(Text("")),
              Hex("e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"));
    EXPECT_EQ(Sha256(Text("abc")),
              Hex("ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"));
    EXPECT_EQ(Sha256(Text(twoBlocks)),
              Hex("248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"));
}

// Every message length from 0 to 200 crosses the padding's edges (55, 56,
// 63, 64 bytes and their multiples); key lengths cover empty, short, exactly
// one block and longer keys that are hashed first.
TEST(Hash, DigestsAndHmacsMatchOpenSsl)
{
    std::mt19937 random(6238);
    for (size_t length = 0; length <= 200; ++length) {
        SCOPED_TRACE("message of " + std::to_string(length) + " bytes");
        const ByteString message = RandomBytes(random, length);
        ASSERT_EQ(Sha1(message), OpenSslDigest(EVP_sha1(), message));
        ASSERT_EQ(Sha256(message), OpenSslDigest(EVP_sha256(), message));

        for (size_t keyLength : {length, static_cast<size_t>(random() % 201)}) {
            SCOPED_TRACE("key of " + std::to_string(keyLength) + " bytes");
            const ByteString key = RandomBytes(random, keyLength);
            ASSERT_EQ(HmacSha1(key, message), OpenSslHmac(EVP_sha1(), key, message));
            ASSERT_EQ(HmacSha256(key, message), OpenSslHmac(EVP_sha256(), key, message));
        }
    }
}

TEST(Hash, HashesOnlyKeysLongerThanOneBlock)
{
    const ByteString message = Text("message");
    const ByteString key64(64, 0x5A);
    const ByteString key65(65, 0x5A);
    EXPECT_NE(HmacSha1(key64, message), HmacSha1(Sha1(key64), message));
    EXPECT_EQ(HmacSha1(key65, message), HmacSha1(Sha1(key65), message));
    EXPECT_NE(HmacSha256(key64, message), HmacSha256(Sha256(key64), message));
    EXPECT_EQ(HmacSha256(key65, message), HmacSha256(Sha256(key65), message));
}

TEST(Hash, PacksWordsMostSignificantByteFirst)
{
    EXPECT_EQ(PackU32BE(0x01020304), (ByteString{1, 2, 3, 4}));
    EXPECT_EQ(PackU64BE(0x0102030405060708), (ByteString{1, 2, 3, 4, 5, 6, 7, 8}));
}

} // namespace
