#include "seed/Base32.h"
#include "tests/support/ByteStringPrinter.h"

#include <cstring>
#include <gtest/gtest.h>
#include <random>
#include <stdexcept>
#include <string>

namespace {

ByteString Bytes(std::string_view text)
{
    return ByteString::FromText(text);
}

// The seed "0123456789abcdef" (16 bytes) is 26 characters without padding;
// its last character Y carries two zero bits below the last byte. Z and 2 set
// one of those bits, which the lenient decoder keeps as a seventeenth byte.
const std::string kSixteen = "GAYTEMZUGU3DOOBZMFRGGZDFMY";
const std::string kSixteenLowBit = "GAYTEMZUGU3DOOBZMFRGGZDFMZ";
const std::string kSixteenHighBit = "GAYTEMZUGU3DOOBZMFRGGZDFM2";

ByteString WithByte(ByteString bytes, uint8_t last)
{
    bytes.push_back(last);
    return bytes;
}

struct LenientRow
{
    std::string text;
    ByteString expected; // empty: the decoder refuses the text (returns 0)
};

TEST(Base32ToBytes, DecodesOrRefusesEachText)
{
    const std::string max7(255, '7');
    ByteString allOnes(159, 0xFF);
    allOnes.push_back(0xE0);

    const LenientRow rows[] = {
        {"MFRGG", Bytes("abc")},
        {"MFRGG===", Bytes("abc")},
        {"JBSWY3DPEHPK3PXP", Bytes("Hello!\xde\xad\xbe\xef")},
        {"B", {0x08}},
        {"A", {}},
        {"AB", {0x00, 0x40}},
        {"AA", {0x00}},
        {kSixteen, Bytes("0123456789abcdef")},
        {kSixteenLowBit, WithByte(Bytes("0123456789abcdef"), 0x40)},
        {kSixteenHighBit, WithByte(Bytes("0123456789abcdef"), 0x80)},
        {kSixteen + "======", Bytes("0123456789abcdef")},
        {"", {}},
        {"=", {}},
        {"========", {}},
        {"mfrgg", {}},
        {"MFRGg", {}},
        {"MFR GG", {}},
        {" MFRGG", {}},
        {"MF-GG", {}},
        {"MF=GG", {}},
        {"=MFRGG", {}},
        {"MFRGG0", {}},
        {"MFRGG1", {}},
        {"MFRGG8", {}},
        {"MFRGG9", {}},
        {"MFRGG\xc3\x84", {}},
        {max7, allOnes},
        {max7.substr(1) + "=", WithByte(ByteString(158, 0xFF), 0xFC)},
        {max7 + "7", {}},
        {max7 + "=", {}},
    };
    for (const LenientRow& row : rows) {
        SCOPED_TRACE("text \"" + row.text + "\"");
        uint8_t out[200];
        std::memset(out, 0xAA, sizeof out);
        const int32_t count = Base32ToBytes(row.text.c_str(), out, sizeof out);
        ASSERT_EQ(count, static_cast<int32_t>(row.expected.size()));
        EXPECT_EQ(ByteString(out, static_cast<size_t>(count)), row.expected);
        for (size_t i = static_cast<size_t>(count); i < sizeof out; ++i) {
            ASSERT_EQ(out[i], 0xAA) << "written past the result at " << i;
        }
    }
}

TEST(Base32ToBytes, NeverWritesPastTheCallersCapacity)
{
    uint8_t out[8];
    std::memset(out, 0xAA, sizeof out);
    EXPECT_EQ(Base32ToBytes("MFRGG", out, 3), 3);
    EXPECT_EQ(ByteString(out, 3), Bytes("abc"));

    std::memset(out, 0xAA, sizeof out);
    EXPECT_EQ(Base32ToBytes("MFRGG", out, 2), 0);
    EXPECT_EQ(Base32ToBytes("MFRGGZDFMY", out, 0), 0);
    EXPECT_EQ(ByteString(out, sizeof out), ByteString(sizeof out, 0xAA));

    EXPECT_EQ(Base32ToBytes(nullptr, out, sizeof out), 0);
    EXPECT_EQ(Base32ToBytes("MFRGG", nullptr, 0), 0);
}

struct StrictRow
{
    std::string text;
    ByteString expected;
    std::string error; // empty: the text decodes to expected
};

void ExpectStrict(const StrictRow& row, ByteString (*decode)(std::string_view))
{
    SCOPED_TRACE("text \"" + row.text + "\"");
    if (row.error.empty()) {
        EXPECT_EQ(decode(row.text), row.expected);
        return;
    }
    try {
        decode(row.text);
        ADD_FAILURE() << "expected the error \"" << row.error << "\"";
    } catch (const std::invalid_argument& e) {
        EXPECT_EQ(std::string(e.what()), row.error);
    }
}

const std::string kLength = "base32 string length not divisible by 8";
const std::string kChunk = "incorrect length of base32 chunk";
const std::string kPadFollowed = "padding character followed by non-padding character";
const std::string kNotBase32 = "not a base32 character: ";
const std::string kPadCount = "invalid number of padding characters";

TEST(DecodeBase32, DecodesGroupsOrThrowsTheFirstProblem)
{
    const StrictRow rows[] = {
        {"", {}, ""},
        {"MFRGGZDF", Bytes("abcde"), ""},
        {"MFRGGZA=", Bytes("abcd"), ""},
        {"MFRGG===", Bytes("abc"), ""},
        {"MFRA====", Bytes("ab"), ""},
        {"ME======", Bytes("a"), ""},
        {"MFRGG===MFRGG===", Bytes("abcabc"), ""},
        {"MFRGG===ME======", Bytes("abca"), ""},
        {"JBSWY3DPEHPK3PXP", Bytes("Hello!\xde\xad\xbe\xef"), ""},
        {kSixteen + "======", Bytes("0123456789abcdef"), ""},
        {kSixteenLowBit + "======", Bytes("0123456789abcdef"), ""},
        {kSixteenHighBit + "======", Bytes("0123456789abcdef"), ""},
        {"MFRGG", {}, kLength},
        {kSixteen, {}, kLength},
        {"MFRGGZDFM", {}, kLength},
        {"mfrgg===MFRGG", {}, kLength},
        {"========", {}, kPadCount},
        {"MFRGGZ==", {}, kPadCount},
        {"MFR=====", {}, kPadCount},
        {"M=======", {}, kPadCount},
        {"MFRGG=G=", {}, kPadFollowed},
        {"A=a=====", {}, kPadFollowed},
        {"MF=GGZDF", {}, kPadFollowed},
        {"mfrgg===", {}, kNotBase32 + "m"},
        {"MFR GG==", {}, kNotBase32 + " "},
        {"MF-GGZDF", {}, kNotBase32 + "-"},
        {"MFRGG0==", {}, kNotBase32 + "0"},
        {"MFRGG1==", {}, kNotBase32 + "1"},
        {"MFRGGZD8", {}, kNotBase32 + "8"},
        {"MFRGGZD9", {}, kNotBase32 + "9"},
        {"MFRGG===mfrgg===", {}, kNotBase32 + "m"},
        {"MFRGG===MFRGGZ==", {}, kPadCount},
    };
    for (const StrictRow& row : rows) {
        ExpectStrict(row, DecodeBase32);
    }
}

TEST(DecodeBase32Chunk, RefusesGroupsThatAreNotEightCharacters)
{
    const StrictRow rows[] = {
        {"MFRGG===", Bytes("abc"), ""}, {"", {}, kChunk},           {"MFRGG==", {}, kChunk},
        {"MFRGG====", {}, kChunk},      {"MFRGGZDFMY", {}, kChunk},
    };
    for (const StrictRow& row : rows) {
        ExpectStrict(row, DecodeBase32Chunk);
    }
}

TEST(EncodeBase32Groups, EncodesWholeGroupsThatBothDecodersReadBack)
{
    const ByteString hello = Bytes("Hello!\xde\xad\xbe\xef");
    EXPECT_EQ(EncodeBase32Groups(hello.data(), hello.size()), "JBSWY3DPEHPK3PXP");
    EXPECT_EQ(EncodeBase32Groups(hello.data(), 0), "");
    EXPECT_EQ(EncodeBase32Groups(hello.data(), 9), "") << "a partial group is refused";

    std::mt19937 random(20240611);
    for (size_t length : {5u, 20u, 40u, 155u}) {
        SCOPED_TRACE(length);
        ByteString seed(length);
        for (size_t i = 0; i < length; ++i) {
            seed[i] = static_cast<uint8_t>(random());
        }
        const std::string text = EncodeBase32Groups(seed.data(), seed.size());
        ASSERT_EQ(text.size(), length / 5 * 8);
        EXPECT_EQ(DecodeBase32(text), seed);

        uint8_t out[512];
        const int32_t count = Base32ToBytes(text.c_str(), out, sizeof out);
        EXPECT_EQ(ByteString(out, static_cast<size_t>(count)), seed);
    }
}

} // namespace
