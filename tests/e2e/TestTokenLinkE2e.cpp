// The token commands through the real PC/SC stack: a private pcscd, a vpcd
// reader and the virtual token, whose state each test reads back.

#include "PcscFixture.h"
#include "token/CardTransport.h"
#include "token/TokenCommands.h"
#include "token/TokenSession.h"
#include "token/TokenTime.h"

#include <atomic>
#include <gtest/gtest.h>
#include <openssl/rand.h>
#include <string>
#include <thread>
#include <vector>

namespace {

const char kKey[] = "5A1C9E07B3D24F68A0E7C1D93B2F4A86"; // the virtual token's default key
const char kOtherKey[] = "00112233445566778899AABBCCDDEEFF";

std::vector<uint8_t> RandomSeed(size_t length)
{
    std::vector<uint8_t> seed(length);
    RAND_bytes(seed.data(), static_cast<int>(length));
    return seed;
}

struct ReadInfo
{
    int32_t result = -1;
    std::string serial;
    std::string clock;
};

ReadInfo Read(const std::string& reader, unsigned serialCapacity = 32, unsigned clockCapacity = 64)
{
    uint8_t serial[64] = {};
    uint8_t clock[64] = {};
    ReadInfo info;
    info.result = TokenReadInfo(reader.c_str(), serial, &serialCapacity, clock, &clockCapacity);
    if (info.result == TOKEN_OK) {
        info.serial.assign(reinterpret_cast<char*>(serial), serialCapacity);
        info.clock.assign(reinterpret_cast<char*>(clock), clockCapacity);
    }
    return info;
}

// Seconds since 1970 of a token clock text "YYYY-MM-DD hh:mm:ss".
int64_t ClockSeconds(const std::string& text)
{
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
    if (std::sscanf(text.c_str(), "%d-%d-%d %d:%d:%d", &y, &mo, &d, &h, &mi, &s) != 6)
        return -1;
    return SecondsFromUtc(y, mo, d, h, mi, s);
}

class TokenLink : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(pcsc.ok()) << pcsc.failure();
        ASSERT_TRUE(pcsc.insert(0, token)) << pcsc.failure();
    }

    std::string reader() const { return pcsc.readerName(0); }
    // Opens the session on reader r and authenticates in it, as the station
    // does before a secured command.
    int32_t authenticate(const std::string& r, const char* key = kKey)
    {
        if (session.open(r.c_str()) != TOKEN_OK)
            return TOKEN_ERR_CONNECT;
        return session.authenticate(key);
    }
    size_t commandsReceived() const { return token->received().size(); }
    std::vector<uint8_t> lastCommand() const { return token->received().back(); }

    PcscFixture pcsc;
    std::shared_ptr<VirtualToken> token = std::make_shared<VirtualToken>(
        VirtualTokenSettings{.serial = "TK-0042", .maxTries = 3, .clockOffset = -3600});
    TokenSession session;
};

} // namespace

TEST_F(TokenLink, ListsTheVirtualReaders)
{
    std::string text = "kept:";
    ASSERT_EQ(ListReaders(text), 0);
    EXPECT_EQ(text, "kept:Virtual PCD 00 00[E]Virtual PCD 00 01[E]");
}

TEST_F(TokenLink, ReadInfoGivesSerialNumberAndTokenClock)
{
    const ReadInfo info = Read(reader());
    ASSERT_EQ(info.result, TOKEN_OK);
    EXPECT_EQ(info.serial, "TK-0042");
    ASSERT_EQ(info.clock.size(), 19u);
    EXPECT_NEAR(ClockSeconds(info.clock), token->clock(HostTimeNow()), 2);
    EXPECT_EQ(lastCommand(), (std::vector<uint8_t>{0x80, 0x41, 0x00, 0x00, 0x02, 0x02, 0x11}));
}

TEST_F(TokenLink, EveryCommandWorksOverEitherProtocol)
{
    // The first reader's token speaks T=1, this one T=0: the exchange must
    // name the protocol the connection agreed on, or the reader refuses it.
    auto t0 =
        std::make_shared<VirtualToken>(VirtualTokenSettings{.serial = "TK-T0", .protocolT0 = true});
    ASSERT_TRUE(pcsc.insert(1, t0)) << pcsc.failure();
    const std::string r = pcsc.readerName(1);
    const auto seed = RandomSeed(20);
    EXPECT_EQ(Read(r).serial, "TK-T0");
    EXPECT_EQ(authenticate(r), TOKEN_OK);
    EXPECT_EQ(session.writeSeed(kKey, seed.data(), 20), TOKEN_OK);
    EXPECT_EQ(session.configure(kKey, "SHA256", 60, 15, "2024/02/29/12/00/00", 0), TOKEN_OK);
    EXPECT_EQ(session.seal(kKey), TOKEN_OK);
    const auto state = t0->state();
    EXPECT_EQ(state.seed, seed);
    EXPECT_EQ(state.algorithm, 2);
    EXPECT_EQ(state.displayTime, 15);
    EXPECT_TRUE(state.sealed);
    EXPECT_EQ(Read(reader()).serial, "TK-0042");
}

TEST_F(TokenLink, ReadInfoHonoursTheCallersCapacities)
{
    const std::string longest(32, 'S');
    token->setSerial(longest);
    EXPECT_EQ(Read(reader(), 32).serial, longest); // exactly as long as the capacity
    EXPECT_EQ(Read(reader(), 31).result, TOKEN_ERR_BUFFER);
    EXPECT_EQ(Read(reader(), 32, 18).result, TOKEN_ERR_BUFFER);
    EXPECT_EQ(Read(reader(), 32, 19).result, TOKEN_OK);
}

TEST_F(TokenLink, ReadInfoRefusesAnAnswerOtherThan9000)
{
    token->answerNextWith(0x6A82);
    EXPECT_EQ(Read(reader()).result, TOKEN_ERR_STATUS);
    EXPECT_EQ(Read(reader()).result, TOKEN_OK); // the link recovers on the next command
}

TEST_F(TokenLink, AuthenticateProvesTheCustomerKey)
{
    ASSERT_EQ(TokenAuthenticate(reader().c_str(), kKey), TOKEN_OK);
    const auto state = token->state();
    EXPECT_TRUE(state.authenticated);
    EXPECT_EQ(state.triesLeft, 3);
    const auto commands = token->received();
    ASSERT_EQ(commands.size(), 2u);
    EXPECT_EQ(commands[0], (std::vector<uint8_t>{0x80, 0x4B, 0x08, 0x00, 0x00}));
    EXPECT_EQ(commands[1].size(), 21u);
}

TEST_F(TokenLink, AuthenticateCountsTriesDownThenTheKeyIsLocked)
{
    EXPECT_EQ(TokenAuthenticate(reader().c_str(), kOtherKey), 0x10C2);
    EXPECT_EQ(TokenAuthenticate(reader().c_str(), kKey), TOKEN_OK); // restores the count
    EXPECT_EQ(token->state().triesLeft, 3);

    EXPECT_EQ(TokenAuthenticate(reader().c_str(), kOtherKey), 0x10C2);
    EXPECT_EQ(TokenAuthenticate(reader().c_str(), kOtherKey), 0x10C1);
    EXPECT_EQ(TokenAuthenticate(reader().c_str(), kOtherKey), 0x10C0);
    EXPECT_TRUE(IsAuthTriesLeft(0x10C0));
    EXPECT_EQ(TokenAuthenticate(reader().c_str(), kOtherKey), TOKEN_ERR_KEY_LOCKED);
    EXPECT_EQ(TokenAuthenticate(reader().c_str(), kKey), TOKEN_ERR_KEY_LOCKED);
    EXPECT_FALSE(token->state().authenticated);
}

TEST_F(TokenLink, AuthenticateJudgesTheStatusWord)
{
    struct Case
    {
        uint16_t sw;
        int32_t result;
    };
    const Case cases[] = {
        {0x63C3, 0x10C3},         {0x63C0, 0x10C0},         {0x6983, TOKEN_ERR_KEY_LOCKED},
        {0x6A82, TOKEN_ERR_AUTH}, {0x6F08, TOKEN_ERR_AUTH}, {0x9000, TOKEN_OK}};
    for (const auto& c : cases) {
        token->answerNextWith(c.sw, 0xCE);
        EXPECT_EQ(TokenAuthenticate(reader().c_str(), kKey), c.result) << std::hex << c.sw;
    }
    // A token that gives no challenge refuses the cryptogram that follows.
    token->answerNextWith(0x6D00, 0x4B);
    EXPECT_EQ(TokenAuthenticate(reader().c_str(), kKey), TOKEN_ERR_AUTH);
    EXPECT_EQ(token->state().triesLeft, 3);
}

TEST_F(TokenLink, WriteSeedStoresExactlyTheSeedSent)
{
    struct Case
    {
        size_t length;
        uint8_t lc;
    };
    for (const Case c :
         {Case{1, 0x14}, Case{20, 0x24}, Case{32, 0x34}, Case{40, 0x34}, Case{63, 0x44}}) {
        const auto seed = RandomSeed(c.length);
        ASSERT_EQ(authenticate(reader()), TOKEN_OK);
        ASSERT_EQ(session.writeSeed(kKey, seed.data(), static_cast<int>(c.length)), TOKEN_OK)
            << c.length;
        EXPECT_EQ(token->state().seed, seed) << c.length;
        const auto command = lastCommand();
        EXPECT_EQ(command[4], c.lc) << c.length;
        EXPECT_EQ(command.size(), c.lc + 5u) << c.length;
    }
}

TEST_F(TokenLink, WriteSeedFailuresLeaveTheTokensSeedAlone)
{
    const auto kept = RandomSeed(20);
    ASSERT_EQ(authenticate(reader()), TOKEN_OK);
    ASSERT_EQ(session.writeSeed(kKey, kept.data(), 20), TOKEN_OK);
    session.close();

    const auto other = RandomSeed(64);
    const size_t before = commandsReceived();
    EXPECT_EQ(TokenWriteSeed(reader().c_str(), kKey, other.data(), 64), TOKEN_ERR_SEED_TOO_LONG);
    EXPECT_EQ(TokenWriteSeed(reader().c_str(), kKey, other.data(), -1), TOKEN_ERR_BUFFER);
    EXPECT_EQ(commandsReceived(), before); // refused before any exchange

    // The token refuses an empty seed, a MAC under another key and a write
    // without authentication since it was powered.
    EXPECT_EQ(TokenWriteSeed(reader().c_str(), kKey, other.data(), 0), TOKEN_ERR_STATUS);
    EXPECT_EQ(TokenWriteSeed(reader().c_str(), kOtherKey, other.data(), 20), TOKEN_ERR_STATUS);
    ASSERT_TRUE(pcsc.remove(0)) << pcsc.failure();
    ASSERT_TRUE(pcsc.insert(0, token)) << pcsc.failure();
    EXPECT_EQ(TokenWriteSeed(reader().c_str(), kKey, other.data(), 20), TOKEN_ERR_STATUS);
    EXPECT_EQ(token->state().seed, kept);
}

TEST_F(TokenLink, ConfigureSetsAlgorithmStepDisplayTimeAndClock)
{
    ASSERT_EQ(authenticate(reader()), TOKEN_OK);
    ASSERT_EQ(session.configure(kKey, "SHA1", 30, 60, "2019/12/16/23/21/22", 0), TOKEN_OK);
    session.close();
    const std::vector<uint8_t> expected{0x84, 0xD4, 0x00, 0x00, 0x1A, 0x81, 0x14, 0x1F, 0x01,
                                        0x02, 0x86, 0x06, 0x0A, 0x01, 0x01, 0x0D, 0x01, 0x1E,
                                        0x0F, 0x04, 0x5D, 0xF8, 0x11, 0x72, 0x22, 0x01, 0x00};
    const auto command = lastCommand();
    ASSERT_EQ(command.size(), 31u);
    EXPECT_EQ(std::vector<uint8_t>(command.begin(), command.end() - 4), expected);
    auto state = token->state();
    EXPECT_EQ(state.algorithm, 1);
    EXPECT_EQ(state.timeStep, 30);
    EXPECT_EQ(state.displayTime, 60);
    EXPECT_EQ(state.option, 0);
    EXPECT_NEAR(token->clock(HostTimeNow()), 0x5DF81172u, 2);
    EXPECT_NEAR(ClockSeconds(Read(reader()).clock), 0x5DF81172, 2);

    ASSERT_EQ(authenticate(reader()), TOKEN_OK);
    ASSERT_EQ(session.configure(kKey, "SHA256", 60, 120, "2099/12/31/23/59/59", -1), TOKEN_OK);
    EXPECT_EQ(lastCommand().size(), 28u);
    state = token->state();
    EXPECT_EQ(state.algorithm, 2);
    EXPECT_EQ(state.timeStep, 60);
    EXPECT_EQ(state.displayTime, 120);
    EXPECT_EQ(state.option, -1);
    EXPECT_NEAR(token->clock(HostTimeNow()), 0xF48656FFu, 2);
}

TEST_F(TokenLink, ConfigureRefusesBadChoicesBeforeAnyExchange)
{
    struct Case
    {
        const char* algorithm;
        int step;
        int display;
        const char* time;
        int option;
        int32_t result;
    };
    const char* good = "2019/12/16/23/21/22";
    const Case cases[] = {
        {"SHA512", 30, 60, good, 0, TOKEN_ERR_BAD_CONFIG},
        {"sha1", 30, 60, good, 0, TOKEN_ERR_BAD_CONFIG},
        {nullptr, 30, 60, good, 0, TOKEN_ERR_BAD_CONFIG},
        {"SHA1", 45, 60, good, 0, TOKEN_ERR_BAD_CONFIG},
        {"SHA1", 30, 90, good, 0, TOKEN_ERR_BAD_CONFIG},
        {"SHA1", 30, 60, "2019/02/29/00/00/00", 0, TOKEN_ERR_BAD_TIME},
        {"SHA1", 30, 60, "2019/12/16/23/21", 0, TOKEN_ERR_BAD_TIME},
        {"SHA1", 30, 60, nullptr, 0, TOKEN_ERR_BAD_TIME},
        {"SHA1", 30, 60, good, 1, TOKEN_ERR_BAD_CONFIG},
        {"SHA1", 30, 60, good, 2, TOKEN_ERR_BAD_CONFIG},
        {"SHA1", 30, 60, good, 16, TOKEN_ERR_BAD_CONFIG},
        {"SHA1", 30, 60, good, -2, TOKEN_ERR_BAD_CONFIG},
        {"SHA1", 30, 60, "2100/01/01/00/00/00", 16, TOKEN_ERR_BAD_TIME}, // time is checked first
    };
    ASSERT_EQ(authenticate(reader()), TOKEN_OK);
    const size_t before = commandsReceived();
    for (const auto& c : cases) {
        EXPECT_EQ(session.configure(kKey, c.algorithm, c.step, c.display, c.time, c.option),
                  c.result)
            << (c.algorithm ? c.algorithm : "(null)") << " " << c.step << " " << c.display << " "
            << (c.time ? c.time : "(null)") << " " << c.option;
    }
    EXPECT_EQ(commandsReceived(), before);
    EXPECT_FALSE(token->state().configured);
}

TEST_F(TokenLink, SealIsKeptAndEndsProgramming)
{
    ASSERT_EQ(authenticate(reader()), TOKEN_OK);
    ASSERT_EQ(session.seal(kKey), TOKEN_OK);
    EXPECT_TRUE(token->state().sealed);
    EXPECT_EQ(lastCommand().size(), 9u);

    const auto seed = RandomSeed(20);
    ASSERT_EQ(authenticate(reader()), TOKEN_OK);
    EXPECT_EQ(session.writeSeed(kKey, seed.data(), 20), TOKEN_ERR_STATUS);
    EXPECT_TRUE(token->state().seed.empty());
}

TEST_F(TokenLink, SealWithoutAuthenticationIsRefused)
{
    EXPECT_EQ(TokenSeal(reader().c_str(), kKey), TOKEN_ERR_STATUS);
    EXPECT_FALSE(token->state().sealed);
}

TEST_F(TokenLink, KeyTextIsCheckedBeforeAnyExchange)
{
    const char* badKeys[] = {"5A1C9E07B3D24F68A0E7C1D93B2F4A8", "5A1C9E07B3D24F68A0E7C1D93B2F4A86F",
                             "5A1C9E07B3D24F68A0E7C1D93B2F4AXX"};
    const auto seed = RandomSeed(20);
    const std::string r = reader();
    for (const char* key : badKeys) {
        EXPECT_EQ(TokenAuthenticate(r.c_str(), key), TOKEN_ERR_BAD_KEY) << key;
        EXPECT_EQ(TokenWriteSeed(r.c_str(), key, seed.data(), 20), TOKEN_ERR_BAD_KEY) << key;
        EXPECT_EQ(TokenConfigure(r.c_str(), key, "SHA1", 30, 60, "2019/12/16/23/21/22", 0),
                  TOKEN_ERR_BAD_KEY)
            << key;
        EXPECT_EQ(TokenSeal(r.c_str(), key), TOKEN_ERR_BAD_KEY) << key;
    }
    for (const char* key : {static_cast<const char*>(nullptr), ""}) {
        EXPECT_EQ(TokenAuthenticate(r.c_str(), key), TOKEN_ERR_NO_KEY);
        EXPECT_EQ(TokenWriteSeed(r.c_str(), key, seed.data(), 20), TOKEN_ERR_NO_KEY);
        EXPECT_EQ(TokenSeal(r.c_str(), key), TOKEN_ERR_NO_KEY);
    }
    EXPECT_EQ(commandsReceived(), 0u);
}

TEST_F(TokenLink, NoReaderOrNoCardIsAConnectFailureBeforeAnythingElse)
{
    const auto seed = RandomSeed(20);
    for (const std::string& r : {std::string("No Such Reader 00 00"), pcsc.readerName(1)}) {
        uint8_t serial[32], clock[64];
        unsigned serialLength = 0, clockLength = 0; // too small, but connect comes first
        EXPECT_EQ(TokenReadInfo(r.c_str(), serial, &serialLength, clock, &clockLength),
                  TOKEN_ERR_CONNECT);
        EXPECT_EQ(TokenAuthenticate(r.c_str(), ""), TOKEN_ERR_CONNECT);
        EXPECT_EQ(TokenWriteSeed(r.c_str(), "x", seed.data(), 64), TOKEN_ERR_CONNECT);
        EXPECT_EQ(TokenConfigure(r.c_str(), kKey, "MD5", 1, 2, "", 7), TOKEN_ERR_CONNECT);
        EXPECT_EQ(TokenSeal(r.c_str(), nullptr), TOKEN_ERR_CONNECT);
    }
    EXPECT_EQ(TokenReadInfo(nullptr, nullptr, nullptr, nullptr, nullptr), TOKEN_ERR_CONNECT);
}

TEST_F(TokenLink, TokenRemovedBetweenCommands)
{
    ASSERT_EQ(TokenAuthenticate(reader().c_str(), kKey), TOKEN_OK);
    ASSERT_TRUE(pcsc.remove(0)) << pcsc.failure();
    const auto seed = RandomSeed(20);
    EXPECT_EQ(TokenWriteSeed(reader().c_str(), kKey, seed.data(), 20), TOKEN_ERR_CONNECT);
    EXPECT_TRUE(token->state().seed.empty());
    EXPECT_FALSE(token->state().authenticated); // it lost power with the reader
}

TEST_F(TokenLink, TokenLiftedDuringACommand)
{
    // Lifted before answering: the reader hands back an empty answer (or a
    // failed exchange), never a status word.
    token->liftOnNextCommand();
    EXPECT_NE(Read(reader()).result, TOKEN_OK);
    ASSERT_TRUE(pcsc.waitForCard(0, false)) << pcsc.failure();
    EXPECT_EQ(Read(reader()).result, TOKEN_ERR_CONNECT);

    // Lifted after the challenge: the cryptogram cannot be sent. The vpcd
    // reader reports that as a failed exchange or, depending on when it
    // notices, as an empty answer; the command fails either way.
    ASSERT_TRUE(pcsc.insert(0, token)) << pcsc.failure();
    token->liftAfterNextAnswer();
    const int32_t result = TokenAuthenticate(reader().c_str(), kKey);
    EXPECT_TRUE(result == TOKEN_ERR_TRANSMIT || result == TOKEN_ERR_AUTH) << std::hex << result;
    ASSERT_TRUE(pcsc.waitForCard(0, false)) << pcsc.failure();

    // Lifted as the seed arrives: not written, and not reported as written.
    ASSERT_TRUE(pcsc.insert(0, token)) << pcsc.failure();
    ASSERT_EQ(authenticate(reader()), TOKEN_OK);
    token->liftOnNextCommand();
    const auto seed = RandomSeed(20);
    EXPECT_NE(session.writeSeed(kKey, seed.data(), 20), TOKEN_OK);
    EXPECT_TRUE(token->state().seed.empty());
}

TEST_F(TokenLink, SlowAnswersStillComplete)
{
    token->setAnswerDelay(std::chrono::milliseconds(300));
    const auto seed = RandomSeed(20);
    ASSERT_EQ(authenticate(reader()), TOKEN_OK);
    ASSERT_EQ(session.writeSeed(kKey, seed.data(), 20), TOKEN_OK);
    EXPECT_EQ(token->state().seed, seed);
}

TEST_F(TokenLink, CommandsOfTwoThreadsDoNotInterleave)
{
    // One thread programs the token on the first reader while another reads
    // the token on the second, as two stations do.
    auto second = std::make_shared<VirtualToken>(VirtualTokenSettings{.serial = "TK-0043"});
    ASSERT_TRUE(pcsc.insert(1, second)) << pcsc.failure();
    const std::string first = reader();
    const std::string other = pcsc.readerName(1);
    std::vector<int32_t> programming, reading;
    std::thread programmer([&] {
        for (int i = 0; i < 15; ++i) {
            const auto seed = RandomSeed(20);
            TokenSession programmingSession;
            programming.push_back(programmingSession.open(first.c_str()));
            programming.push_back(programmingSession.authenticate(kKey));
            programming.push_back(programmingSession.writeSeed(kKey, seed.data(), 20));
        }
    });
    for (int i = 0; i < 30; ++i) {
        const ReadInfo info = Read(other);
        reading.push_back(info.result == TOKEN_OK && info.serial == "TK-0043" ? TOKEN_OK : -1);
    }
    programmer.join();
    EXPECT_EQ(programming, std::vector<int32_t>(45, TOKEN_OK));
    EXPECT_EQ(reading, std::vector<int32_t>(30, TOKEN_OK));
}

TEST_F(TokenLink, NoOtherConnectionReachesTheTokenDuringASession)
{
    // Another connection's command waits for the session to end: nothing can
    // come between the authentication and the secured command it allows.
    ASSERT_EQ(authenticate(reader()), TOKEN_OK);
    std::atomic<bool> readDone{false};
    ReadInfo other;
    std::thread reading([&] {
        other = Read(reader());
        readDone = true;
    });
    const size_t before = commandsReceived();
    const auto seed = RandomSeed(20);
    EXPECT_EQ(session.writeSeed(kKey, seed.data(), 20), TOKEN_OK);
    EXPECT_EQ(commandsReceived(), before + 1);
    EXPECT_FALSE(readDone);
    session.close();
    reading.join();
    EXPECT_EQ(other.serial, "TK-0042");
    EXPECT_EQ(token->state().seed, seed);
}

TEST_F(TokenLink, ReadersComeAndGoWithTheService)
{
    ASSERT_TRUE(pcsc.stopDaemon()) << pcsc.failure();
    std::string text = "kept";
    EXPECT_EQ(ListReaders(text), -1);
    EXPECT_EQ(text, "kept");
    EXPECT_EQ(Read(reader()).result, TOKEN_ERR_CONNECT);

    ASSERT_TRUE(pcsc.startDaemon(2)) << pcsc.failure();
    text.clear();
    ASSERT_EQ(ListReaders(text), 0);
    EXPECT_EQ(text, "Virtual PCD 00 00[E]Virtual PCD 00 01[E]Virtual PCD B 00 00[E]"
                    "Virtual PCD B 00 01[E]");
    EXPECT_EQ(Read(reader()).serial, "TK-0042"); // the token stayed on its reader
}
