// The virtual token in-process: it must hold the station to the protocol as
// strictly as a real token, or the end-to-end tests prove nothing.

#include "ControlCommands.h"
#include "HexBytes.h"
#include "VirtualToken.h"
#include "VpcdLink.h"
#include "token/CustomerKey.h"
#include "token/Sm4.h"
#include "token/TokenApdus.h"

#include <gtest/gtest.h>

namespace {

const char kKeyText[] = "5A1C9E07B3D24F68A0E7C1D93B2F4A86";
const char kOtherKeyText[] = "00112233445566778899AABBCCDDEEFF";

std::vector<uint8_t> Key(const char* text)
{
    std::vector<uint8_t> key(16);
    HexToBytes(text, key.data(), key.size());
    return key;
}

uint16_t SwOf(const std::vector<uint8_t>& response)
{
    return StatusWord(response.data(), response.size());
}

class PoweredToken : public ::testing::Test
{
protected:
    void SetUp() override { token.powerOn(); }

    std::vector<uint8_t> send(const Apdu& command)
    {
        return token.answer(command.data(), command.size()).response;
    }

    uint16_t authenticate(const char* keyText = kKeyText)
    {
        const auto challenge = send(GetChallengeApdu());
        EXPECT_EQ(challenge.size(), 10u);
        Apdu command;
        EXPECT_EQ(BuildAuthenticateApdu(Key(keyText).data(), challenge.data(), command), 0);
        return SwOf(send(command));
    }

    uint16_t writeSeed(const std::vector<uint8_t>& seed, const char* keyText = kKeyText)
    {
        Apdu command;
        EXPECT_EQ(BuildWriteSeedApdu(Key(keyText).data(), seed.data(), seed.size(), command), 0);
        return SwOf(send(command));
    }

    uint16_t configure(int display, int algorithm, int step, int option)
    {
        Apdu command;
        EXPECT_EQ(BuildConfigureApdu(
                      Key(kKeyText).data(),
                      BuildConfigRecord(display, algorithm, step, 0x5DF81172, option), command),
                  0);
        return SwOf(send(command));
    }

    uint16_t secured(uint8_t ins, uint8_t p1, const std::vector<uint8_t>& data)
    {
        Apdu command;
        EXPECT_EQ(BuildSecuredCommand(Key(kKeyText).data(), ins, p1, 0, data.data(), data.size(),
                                      command),
                  0);
        return SwOf(send(command));
    }

    VirtualToken token{VirtualTokenSettings{.serial = "TK-0042", .maxTries = 4}};
};

} // namespace

TEST_F(PoweredToken, ReadInfoAnswersInTheStationsLayout)
{
    const auto answer = send(ReadInfoApdu());
    ASSERT_EQ(answer.size(), 4u + 7u + 2u + 4u + 2u);
    EXPECT_EQ(std::string(answer.begin() + 4, answer.begin() + 11), "TK-0042");
    ReadInfoAnswer info;
    ASSERT_TRUE(ParseReadInfoAnswer(answer.data(), answer.size(), info));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(info.serial), info.serialLength),
              "TK-0042");
    EXPECT_NEAR(info.clock, token.clock(HostTimeNow()), 1);
}

TEST_F(PoweredToken, AuthenticationCountsTriesAndLocks)
{
    EXPECT_EQ(authenticate(kOtherKeyText), 0x63C3);
    EXPECT_EQ(authenticate(), 0x9000);
    EXPECT_TRUE(token.state().authenticated);
    EXPECT_EQ(token.state().triesLeft, 4);

    for (uint16_t expected : {0x63C3, 0x63C2, 0x63C1, 0x63C0, 0x6983})
        EXPECT_EQ(authenticate(kOtherKeyText), expected);
    EXPECT_EQ(authenticate(), 0x6983);
    EXPECT_FALSE(token.state().authenticated);
}

TEST_F(PoweredToken, ACryptogramNeedsTheChallengeRightBeforeIt)
{
    Apdu command;
    const uint8_t guessed[8] = {};
    ASSERT_EQ(BuildAuthenticateApdu(Key(kKeyText).data(), guessed, command), 0);
    EXPECT_EQ(SwOf(send(command)), 0x6985);

    const auto challenge = send(GetChallengeApdu());
    send(ReadInfoApdu()); // any command in between voids the challenge
    ASSERT_EQ(BuildAuthenticateApdu(Key(kKeyText).data(), challenge.data(), command), 0);
    EXPECT_EQ(SwOf(send(command)), 0x6985);
    EXPECT_EQ(token.state().triesLeft, 4); // refusals that cost no try

    EXPECT_NE(send(GetChallengeApdu()), send(GetChallengeApdu())); // fresh every time
}

TEST_F(PoweredToken, SecuredCommandsAreCheckedBeforeTheyAct)
{
    const std::vector<uint8_t> seed = HexBytes("3132333435363738393031323334353637383930");
    EXPECT_EQ(writeSeed(seed), 0x6982); // not authenticated
    ASSERT_EQ(authenticate(), 0x9000);

    Apdu good;
    ASSERT_EQ(BuildWriteSeedApdu(Key(kKeyText).data(), seed.data(), seed.size(), good), 0);
    struct Case
    {
        const char* name;
        Apdu command;
        uint16_t sw;
    };
    auto changed = [&good](size_t at, uint8_t value) {
        Apdu command = good;
        command[at] = value;
        return command;
    };
    Apdu truncated(good.begin(), good.end() - 1);
    const Case cases[] = {
        {"unprotected class", changed(0, 0x80), 0x6987},
        {"unknown class", changed(0, 0x00), 0x6E00},
        {"length byte", changed(4, static_cast<uint8_t>(good[4] + 1)), 0x6700},
        {"truncated", truncated, 0x6700},
        {"MAC", changed(good.size() - 1, static_cast<uint8_t>(good.back() ^ 1)), 0x6988},
        {"data under the MAC", changed(5, static_cast<uint8_t>(good[5] ^ 1)), 0x6988},
        {"unknown instruction", HexBytes("80 99 00 00"), 0x6D00},
        {"too short", HexBytes("80 41 00"), 0x6700},
    };
    for (const auto& c : cases)
        EXPECT_EQ(SwOf(send(c.command)), c.sw) << c.name;
    EXPECT_EQ(writeSeed(seed, kOtherKeyText), 0x6988);

    // Well MACed, but not what the token takes.
    EXPECT_EQ(secured(0xC5, 0x02, std::vector<uint8_t>(32)), 0x6A86);
    EXPECT_EQ(secured(0xC5, 0x01, std::vector<uint8_t>(20)), 0x6700);
    EXPECT_EQ(secured(0xC5, 0x01, std::vector<uint8_t>(80)), 0x6700);
    EXPECT_EQ(secured(0xC7, 0x00, std::vector<uint8_t>(1)), 0x6700);
    EXPECT_EQ(configure(4, 1, 30, 0), 0x6A80);  // display time code
    EXPECT_EQ(configure(1, 3, 30, 0), 0x6A80);  // algorithm
    EXPECT_EQ(configure(1, 1, 45, 0), 0x6A80);  // step
    EXPECT_EQ(configure(1, 1, 30, 1), 0x6A80);  // option
    EXPECT_EQ(configure(1, 1, 30, 16), 0x6A80); // option
    EXPECT_EQ(secured(0xD4, 0x00, HexBytes("81 12 1F 01 02")), 0x6A80);
    EXPECT_TRUE(token.state().seed.empty());
    EXPECT_FALSE(token.state().configured);
}

TEST_F(PoweredToken, WriteSeedNeedsPaddingWithinTheLastBlock)
{
    ASSERT_EQ(authenticate(), 0x9000);
    auto encrypted = [](std::vector<uint8_t> plain) {
        const auto key = Key(kKeyText);
        unsigned capacity = static_cast<unsigned>(plain.size());
        EXPECT_EQ(Sm4Ecb(key.data(), plain.data(), capacity, plain.data(), &capacity, SM4_ENCRYPT),
                  SM4_OK);
        return plain;
    };
    std::vector<uint8_t> zeros(16, 0);
    std::vector<uint8_t> onlyPadding(16, 0);
    onlyPadding[0] = 0x80;
    std::vector<uint8_t> padInFirstBlock(32, 0); // seed AB, then 0x80 and 29 zeros
    padInFirstBlock[0] = 0xAB;
    padInFirstBlock[1] = 0x80;
    EXPECT_EQ(secured(0xC5, 0x01, encrypted(zeros)), 0x6A80);
    EXPECT_EQ(secured(0xC5, 0x01, encrypted(onlyPadding)), 0x6A80); // an empty seed
    EXPECT_EQ(secured(0xC5, 0x01, encrypted(padInFirstBlock)), 0x6A80);

    const std::vector<uint8_t> seedEndingInZero = {0x01, 0x02, 0x00};
    EXPECT_EQ(writeSeed(seedEndingInZero), 0x9000);
    EXPECT_EQ(token.state().seed, seedEndingInZero);
}

TEST_F(PoweredToken, PowerLossEndsTheAuthentication)
{
    ASSERT_EQ(authenticate(), 0x9000);
    token.powerOff();
    token.powerOn();
    EXPECT_EQ(writeSeed({1, 2, 3}), 0x6982);
    ASSERT_EQ(authenticate(), 0x9000);
    token.reset();
    EXPECT_EQ(writeSeed({1, 2, 3}), 0x6982);
}

TEST_F(PoweredToken, ASealedTokenTakesNoMoreProgramming)
{
    ASSERT_EQ(authenticate(), 0x9000);
    ASSERT_EQ(writeSeed({1, 2, 3}), 0x9000);
    EXPECT_EQ(secured(0xC7, 0x00, {}), 0x9000);
    EXPECT_TRUE(token.state().sealed);
    EXPECT_EQ(writeSeed({4, 5, 6}), 0x6985);
    EXPECT_EQ(configure(1, 1, 30, 0), 0x6985);
    EXPECT_EQ(secured(0xC7, 0x00, {}), 0x9000);
    EXPECT_EQ(token.state().seed, (std::vector<uint8_t>{1, 2, 3}));
}

TEST_F(PoweredToken, DisplaysTheTotpCodesOfItsSeed)
{
    EXPECT_EQ(token.displayedCode(59), ""); // no seed, nothing shown
    ASSERT_EQ(authenticate(), 0x9000);

    // The six low digits of the published TOTP test values.
    const std::vector<uint8_t> sha1Seed(std::begin("12345678901234567890"),
                                        std::end("12345678901234567890") - 1);
    ASSERT_EQ(writeSeed(sha1Seed), 0x9000);
    ASSERT_EQ(configure(1, 1, 30, 0), 0x9000);
    token.setClockOffset(0);
    EXPECT_EQ(token.displayedCode(59), "287082");
    EXPECT_EQ(token.displayedCode(1111111109), "081804");
    EXPECT_EQ(token.displayedCode(1234567890), "005924");
    EXPECT_EQ(token.displayedCode(2000000000), "279037");

    const std::vector<uint8_t> sha256Seed(std::begin("12345678901234567890123456789012"),
                                          std::end("12345678901234567890123456789012") - 1);
    ASSERT_EQ(writeSeed(sha256Seed), 0x9000);
    ASSERT_EQ(configure(1, 2, 30, 0), 0x9000);
    token.setClockOffset(0);
    EXPECT_EQ(token.displayedCode(59), "119246");
    EXPECT_EQ(token.displayedCode(1111111109), "084774");

    ASSERT_EQ(configure(3, 2, 60, -1), 0x9000); // a 60 s step: counter 1 until 119 s
    token.setClockOffset(0);
    EXPECT_EQ(token.displayedCode(119), token.displayedCode(60));
    EXPECT_EQ(token.state().displayTime, 120);
}

TEST_F(PoweredToken, FaultsTouchOnlyTheCommandTheyAreMeantFor)
{
    token.answerNextWith(0x6A82);
    EXPECT_EQ(send(ReadInfoApdu()), HexBytes("6A 82"));
    EXPECT_EQ(SwOf(send(ReadInfoApdu())), 0x9000);

    token.answerNextWith(0x63C3, 0xCE);
    EXPECT_EQ(SwOf(send(ReadInfoApdu())), 0x9000);
    EXPECT_EQ(authenticate(), 0x63C3);
    EXPECT_EQ(token.state().triesLeft, 4); // answered, not carried out

    token.liftOnNextCommand();
    const auto lifted = token.answer(ReadInfoApdu().data(), 7);
    EXPECT_EQ(lifted.lift, TokenAnswer::Lift::BeforeAnswer);
    EXPECT_TRUE(lifted.response.empty());

    token.liftAfterNextAnswer();
    token.setAnswerDelay(std::chrono::milliseconds(250));
    const auto answered = token.answer(ReadInfoApdu().data(), 7);
    EXPECT_EQ(answered.lift, TokenAnswer::Lift::AfterAnswer);
    EXPECT_EQ(SwOf(answered.response), 0x9000);
    EXPECT_EQ(answered.delay, std::chrono::milliseconds(250));
    EXPECT_EQ(token.answer(ReadInfoApdu().data(), 7).lift, TokenAnswer::Lift::No);
}

TEST(VirtualTokenControl, CommandsAndTheirAnswers)
{
    VirtualToken token{VirtualTokenSettings{.serial = "TK \"7\""}};
    VpcdLink link(token, 1); // never inserted: nothing connects
    struct Case
    {
        const char* line;
        const char* answer;
    };
    const Case cases[] = {
        {"status 6A82", "ok"},
        {"status 63C2 CE", "ok"},
        {"status 6A8", "error: status needs"},
        {"status 6A82 CEE", "error: status needs"},
        {"delay 100", "ok"},
        {"delay -1", "error: delay needs"},
        {"delay x", "error: delay needs"},
        {"serial ", "error: serial needs"},
        {"lift-now", "ok"},
        {"frobnicate", "error: unknown command \"frobnicate\""},
        {"help", "commands:"},
    };
    for (const auto& c : cases) {
        const std::string answer = RunControlCommand(token, link, c.line);
        EXPECT_EQ(answer.rfind(c.answer, 0), 0u) << c.line << " -> " << answer;
    }
    const std::string state = RunControlCommand(token, link, "state");
    EXPECT_NE(state.find(R"("serial":"TK \"7\"")"), std::string::npos) << state;
    EXPECT_NE(state.find(R"("inserted":false)"), std::string::npos) << state;
    EXPECT_NE(state.find(R"("seed":"")"), std::string::npos) << state;
    EXPECT_EQ(state.find("5A1C9E07"), std::string::npos) << "the key never leaves the token";
}
