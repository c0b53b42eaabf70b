#include "HexBytes.h"
#include "Sm4Oracle.h"
#include "token/Sm4.h"
#include "token/TokenApdus.h"

#include <gtest/gtest.h>

namespace {

const std::vector<uint8_t> kKey = HexBytes("5A1C9E07B3D24F68A0E7C1D93B2F4A86");

// The MAC a token computes over a secured command: over the header as it
// reads unprotected (class 80, Lc without the MAC) and the data.
std::vector<uint8_t> ExpectedMac(const Apdu& apdu)
{
    std::vector<uint8_t> input{0x80, apdu[1], apdu[2], apdu[3], static_cast<uint8_t>(apdu[4] - 4)};
    input.insert(input.end(), apdu.begin() + 5, apdu.end() - 4);
    return OracleMac(kKey.data(), input);
}

std::vector<uint8_t> Tail(const Apdu& apdu, size_t count)
{
    return {apdu.end() - static_cast<long>(count), apdu.end()};
}

std::vector<uint8_t> Decrypt(std::vector<uint8_t> data)
{
    unsigned capacity = static_cast<unsigned>(data.size());
    EXPECT_EQ(Sm4Ecb(kKey.data(), data.data(), capacity, data.data(), &capacity, SM4_DECRYPT),
              SM4_OK);
    return data;
}

} // namespace

TEST(TokenApdus, PlainCommandsAreFixed)
{
    EXPECT_EQ(HexText(ReadInfoApdu()), "80 41 00 00 02 02 11");
    EXPECT_EQ(HexText(GetChallengeApdu()), "80 4B 08 00 00");
}

TEST(TokenApdus, AuthenticateSendsTheEncryptedChallenge)
{
    const auto challenge = HexBytes("0102030405060708");
    Apdu apdu;
    ASSERT_EQ(BuildAuthenticateApdu(kKey.data(), challenge.data(), apdu), 0);
    ASSERT_EQ(apdu.size(), 21u);
    EXPECT_EQ(HexText({apdu.begin(), apdu.begin() + 5}), "80 CE 00 00 10");
    EXPECT_EQ(HexText(Decrypt({apdu.begin() + 5, apdu.end()})),
              "01 02 03 04 05 06 07 08 00 00 00 00 00 00 00 00");
}

TEST(TokenApdus, SealIsASecuredCommandWithoutData)
{
    Apdu apdu;
    ASSERT_EQ(BuildSealApdu(kKey.data(), apdu), 0);
    ASSERT_EQ(apdu.size(), 9u);
    EXPECT_EQ(HexText({apdu.begin(), apdu.begin() + 5}), "84 C7 00 00 04");
    EXPECT_EQ(Tail(apdu, 4), OracleMac(kKey.data(), HexBytes("80 C7 00 00 00")));
}

TEST(TokenApdus, WriteSeedPadsEncryptsAndMacsTheSeed)
{
    struct Case
    {
        size_t seedLength;
        size_t apduLength;
        uint8_t lc;
    };
    const Case cases[] = {{0, 25, 0x14},  {15, 25, 0x14}, {16, 41, 0x24},
                          {20, 41, 0x24}, {40, 57, 0x34}, {63, 73, 0x44}};
    for (const auto& c : cases) {
        std::vector<uint8_t> seed;
        for (size_t i = 0; i < c.seedLength; ++i)
            seed.push_back(static_cast<uint8_t>(0xA0 + i));
        Apdu apdu;
        ASSERT_EQ(BuildWriteSeedApdu(kKey.data(), seed.data(), seed.size(), apdu), 0);
        ASSERT_EQ(apdu.size(), c.apduLength) << "seed of " << c.seedLength;
        EXPECT_EQ(HexText({apdu.begin(), apdu.begin() + 5}),
                  HexText({0x84, 0xC5, 0x01, 0x00, c.lc}));
        auto padded = seed;
        padded.push_back(0x80);
        padded.resize(c.apduLength - 9, 0x00);
        EXPECT_EQ(Decrypt({apdu.begin() + 5, apdu.end() - 4}), padded);
        EXPECT_EQ(Tail(apdu, 4), ExpectedMac(apdu));
    }
    Apdu untouched{0x01};
    const std::vector<uint8_t> tooLong(64, 0x55);
    EXPECT_EQ(BuildWriteSeedApdu(kKey.data(), tooLong.data(), tooLong.size(), untouched), -1);
    EXPECT_EQ(untouched, Apdu{0x01});
}

TEST(TokenApdus, ConfigureCarriesTheRecordInOneMoreElement)
{
    // SHA1, 30 s step, 60 s display time, 2019-12-16 23:21:22.
    Apdu withOption;
    ASSERT_EQ(
        BuildConfigureApdu(kKey.data(), BuildConfigRecord(2, 1, 30, 0x5DF81172, 0), withOption), 0);
    ASSERT_EQ(withOption.size(), 31u);
    EXPECT_EQ(HexText({withOption.begin(), withOption.end() - 4}),
              "84 D4 00 00 1A 81 14 1F 01 02 86 06 0A 01 01 0D 01 1E 0F 04 5D F8 11 72 22 01 00");
    EXPECT_EQ(Tail(withOption, 4), ExpectedMac(withOption));

    Apdu withoutOption;
    ASSERT_EQ(
        BuildConfigureApdu(kKey.data(), BuildConfigRecord(2, 1, 30, 0x5DF81172, -1), withoutOption),
        0);
    ASSERT_EQ(withoutOption.size(), 28u);
    EXPECT_EQ(HexText({withoutOption.begin(), withoutOption.end() - 4}),
              "84 D4 00 00 17 81 11 1F 01 02 86 06 0A 01 01 0D 01 1E 0F 04 5D F8 11 72");
    EXPECT_EQ(Tail(withoutOption, 4), ExpectedMac(withoutOption));

    // SHA256, 60 s step, 120 s display time, option 15, the last valid clock.
    EXPECT_EQ(HexText(BuildConfigRecord(3, 2, 60, 0xF48656FF, 15)),
              "1F 01 03 86 06 0A 01 02 0D 01 3C 0F 04 F4 86 56 FF 22 01 0F");
}

TEST(TokenApdus, SecuredDataIsLimitedToOneLengthByte)
{
    const std::vector<uint8_t> data(252, 0x11);
    Apdu apdu;
    EXPECT_EQ(BuildSecuredCommand(kKey.data(), 0xC5, 0, 0, data.data(), 252, apdu), -1);
    ASSERT_EQ(BuildSecuredCommand(kKey.data(), 0xC5, 0, 0, data.data(), 251, apdu), 0);
    EXPECT_EQ(apdu[4], 0xFF);
    EXPECT_EQ(apdu.size(), 260u);
}

TEST(ReadInfoAnswer, ReadsTheSerialNumberAndClockByPosition)
{
    struct Case
    {
        const char* answer;
        bool accepted;
        const char* serial;
        uint32_t clock;
    };
    const Case cases[] = {
        {"02 11 00 06 41 42 43 31 32 33 01 00 5D F8 11 72 90 00", true, "ABC123", 0x5DF81172},
        {"02 11 00 06 41 42 00 31 32 33 01 00 5D F8 11 72 90 00", true, "AB", 0x5DF81172},
        {"02 11 00 00 01 00 FF FF FF FF 90 00", true, "", 0xFFFFFFFF},
        {"02 11 00 00 00 00 00 00 00 00 90 00", true, "", 0},
        {"02 11 00 06 41 42 43 31 32 33 01 00 5D F8 11 72 6A 82", false, "", 0},
        {"11 00 00 01 00 FF FF FF FF 90 00", false, "", 0}, // 11 bytes: no room for the layout
        {"90 00", false, "", 0},
        {"00", false, "", 0},
        {"", false, "", 0},
    };
    for (const auto& c : cases) {
        const auto answer = HexBytes(c.answer);
        ReadInfoAnswer info;
        ASSERT_EQ(ParseReadInfoAnswer(answer.data(), answer.size(), info), c.accepted) << c.answer;
        if (!c.accepted)
            continue;
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(info.serial), info.serialLength),
                  c.serial)
            << c.answer;
        EXPECT_EQ(info.clock, c.clock) << c.answer;
    }
}

TEST(StatusWord, IsTheLastTwoBytes)
{
    const auto answer = HexBytes("01 02 63 C3");
    EXPECT_EQ(StatusWord(answer.data(), answer.size()), 0x63C3);
    EXPECT_EQ(StatusWord(answer.data(), 1), 0);
    EXPECT_EQ(StatusWord(nullptr, 2), 0);
}
