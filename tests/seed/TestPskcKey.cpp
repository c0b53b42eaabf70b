#include "QtPrinters.h"
#include "seed/PskcKey.h"

#include <gtest/gtest.h>

namespace {

ByteString Bytes0To15()
{
    ByteString bytes(16);
    for (uint8_t i = 0; i < 16; ++i)
        bytes[i] = static_cast<uint8_t>(i * 0x11);
    return bytes;
}

TEST(ParsePskcKey, ReadsThirtyTwoHexDigitsWithSpacesBetween)
{
    const char* good[] = {
        "00112233445566778899aabbccddeeff",
        "00112233445566778899AABBCCDDEEFF",
        "0011 2233 4455 6677 8899 AaBb CcDd EeFf",
        "  00112233\t44556677 8899aabb ccddeeff  ",
        "0 0 1 1 2 2 3 3 4 4 5 5 6 6 7 7 8 8 9 9 a a b b c c d d e e f f",
    };
    for (const char* text : good) {
        SCOPED_TRACE(text);
        QString problem = "left over";
        const std::optional<PskcKey> key = ParsePskcKey(QString::fromLatin1(text), &problem);
        ASSERT_TRUE(key.has_value()) << problem.toStdString();
        EXPECT_TRUE(key->key == Bytes0To15());
        EXPECT_TRUE(problem.isEmpty());
        EXPECT_FALSE(key->name.isEmpty());
    }
}

TEST(ParsePskcKey, RefusesAnythingElseWithTheReason)
{
    struct Case
    {
        QString text;
        const char* reason;
    };
    const Case bad[] = {
        {"", "empty"},
        {"    \t ", "empty"},
        {"00112233445566778899aabbccddeef", "has 31 hexadecimal digits"},
        {"00112233445566778899aabbccddeeff0", "has 33 hexadecimal digits"},
        {"00112233445566778899aabbccddeeff00112233445566778899aabbccddeeff",
         "has 64 hexadecimal digits; an AES-128 key has 32"},
        {"0x00112233445566778899aabbccddee", "\"x\", which is not a hexadecimal digit"},
        {"00112233-44556677-8899aabb-ccddeeff", "\"-\""},
        {"00112233445566778899aabbccddeefg", "\"g\""},
        {QString::fromUtf8("00112233445566778899aabbccddee\xc3\xa9"
                           "f"),
         "\"\xc3\xa9\""},
        {"00112233445566778899aabbccddee\nff", "\"?\""},
    };
    for (const Case& c : bad) {
        SCOPED_TRACE(c.text.toStdString());
        QString problem;
        EXPECT_FALSE(ParsePskcKey(c.text, &problem).has_value());
        EXPECT_TRUE(problem.contains(QString::fromUtf8(c.reason))) << problem.toStdString();
    }
}

} // namespace
