// The station on a reader, without widgets: a private pcscd, vpcd readers
// and virtual tokens that the tests present, lift and read back.
#include "StationFixture.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <openssl/rand.h>
#include <thread>

namespace {

using StationTest = StationFixture<1>;

} // namespace

TEST_F(StationTest, ReadsATokenOnceAndSeesItGo)
{
    connect();
    ASSERT_TRUE(probe().showsNoToken());
    auto token = Token("ST0001");
    ASSERT_TRUE(present(token));
    const TokenTexts texts = station().texts();
    EXPECT_EQ(texts.tips, "Token or card detected");
    EXPECT_EQ(texts.tokenClock.size(), 19);
    EXPECT_EQ(texts.computerClock.size(), 19);
    EXPECT_EQ(probe().read(), QStringList{"ST0001"});

    ASSERT_TRUE(pcsc.remove(0)) << pcsc.failure();
    ASSERT_TRUE(probe().showsNoToken());
    EXPECT_EQ(Count(*token, kReadInfo), 1);
    EXPECT_TRUE(token->state().seed.empty());
}

TEST_F(StationTest, ProgramsTheTokenInOneSession)
{
    connect();
    auto token = Token("ST0002");
    ASSERT_TRUE(present(token));
    const size_t before = token->received().size();

    ASSERT_TRUE(burn(request("JBSW-Y3DP-ehpk-3pxp")));

    const VirtualTokenState state = token->state();
    EXPECT_EQ(state.seed, SeedBytes("JBSWY3DPEHPK3PXP"));
    EXPECT_EQ(state.algorithm, 2);
    EXPECT_EQ(state.timeStep, 60);
    EXPECT_EQ(state.displayTime, 120);
    EXPECT_TRUE(state.configured);
    // READ INFO, GET CHALLENGE, AUTHENTICATE, CONFIGURE, WRITE SEED: one
    // authentication serves both secured commands.
    std::vector<uint8_t> run;
    const auto commands = token->received();
    for (size_t i = before; i < commands.size(); ++i)
        run.push_back(commands[i][1]);
    EXPECT_EQ(run, (std::vector<uint8_t>{kReadInfo, 0x4B, kAuthenticate, kConfigure, kWriteSeed}));

    ASSERT_EQ(probe().rows().size(), 1u);
    EXPECT_EQ(probe().rows()[0].result, "Succeeded");
    EXPECT_EQ(probe().rows()[0].userName, "operator");
    EXPECT_EQ(op.texts(), QStringList{"Token successfully programmed!"});
    const StationTally tally = station().tally();
    EXPECT_EQ(tally.total, 1);
    EXPECT_EQ(tally.success, 1);
    EXPECT_EQ(exportLines(".b32.csv"), QStringList{"ST0002,JBSWY3DPEHPK3PXP"});
    EXPECT_FALSE(station().armed());
}

TEST_F(StationTest, ATokenSwappedWhileAMessageIsOpenIsReadBeforeAnythingIsWritten)
{
    connect();
    auto first = Token("SW0001");
    auto second = Token("SW0002");
    ASSERT_TRUE(present(first));

    // The operator has not closed "Token successfully programmed!" yet.
    op.holdNextMessage();
    station().burn(request("JBSWY3DPEHPK3PXP"));
    ASSERT_TRUE(op.waitUntilHeld());
    ASSERT_TRUE(pcsc.remove(0)) << pcsc.failure();
    ASSERT_TRUE(pcsc.insert(0, second)) << pcsc.failure();
    op.release();

    ASSERT_TRUE(probe().showsToken("SW0002"));
    ASSERT_TRUE(burn(request("GEZDGNBVGY3TQOJQ")));
    EXPECT_EQ(first->state().seed, SeedBytes("JBSWY3DPEHPK3PXP"));
    EXPECT_EQ(second->state().seed, SeedBytes("GEZDGNBVGY3TQOJQ"));
    EXPECT_EQ(exportLines(".b32.csv"),
              (QStringList{"SW0001,JBSWY3DPEHPK3PXP", "SW0002,GEZDGNBVGY3TQOJQ"}));
}

TEST_F(StationTest, BurnForATokenNoLongerOnTheReaderWritesNothing)
{
    connect();
    auto first = Token("SW0003");
    auto second = Token("SW0004");
    ASSERT_TRUE(present(first));
    BurnRequest stale = request("JBSWY3DPEHPK3PXP"); // pressed while SW0003 showed

    // The station is busy with a message while the tokens change, so the
    // press reaches it before it has read the new token.
    op.holdNextMessage();
    station().burn(request("ABCDEFG1")); // refused with a message
    ASSERT_TRUE(op.waitUntilHeld());
    ASSERT_TRUE(pcsc.remove(0)) << pcsc.failure();
    ASSERT_TRUE(pcsc.insert(0, second)) << pcsc.failure();
    station().burn(stale);
    op.release();

    ASSERT_TRUE(probe().waitFor([&] { return probe().burns() == 2; }));
    EXPECT_EQ(Count(*second, kAuthenticate), 0);
    EXPECT_TRUE(second->state().seed.empty());
    EXPECT_EQ(station().texts().serialNumber, "SW0004");
    EXPECT_EQ(op.texts().back(), "The token on the reader is SW0004, not SW0003 for which Burn "
                                 "was pressed. Nothing was written to it; press Burn again to "
                                 "program SW0004.");
    EXPECT_EQ(probe().rows().size(), 1u); // the refused seed's row only
    EXPECT_TRUE(exportLines(".b32.csv").isEmpty());
}

TEST_F(StationTest, LiftedAfterAnyCommandOfTheRunNeverShowsAFalseSuccess)
{
    connect();
    // The run's commands, in order: READ INFO, GET CHALLENGE, AUTHENTICATE,
    // CONFIGURE, WRITE SEED. The token leaves after answering the n-th.
    for (int n = 1; n <= 5; ++n) {
        SCOPED_TRACE(n);
        auto token = Token("LF000" + std::to_string(n));
        ASSERT_TRUE(present(token));
        const size_t rowsBefore = probe().rows().size();
        token->liftAfterAnswers(n);
        ASSERT_TRUE(burn(request("JBSWY3DPEHPK3PXP")));
        ASSERT_TRUE(pcsc.waitForCard(0, false)) << pcsc.failure();
        ASSERT_TRUE(probe().showsNoToken());

        const auto rows = probe().rows();
        const VirtualTokenState state = token->state();
        const bool succeeded = rows.size() > rowsBefore && rows.back().result == "Succeeded";
        if (succeeded) {
            EXPECT_EQ(state.seed, SeedBytes("JBSWY3DPEHPK3PXP"));
            EXPECT_EQ(state.timeStep, 60);
            EXPECT_EQ(state.algorithm, 2);
        } else {
            EXPECT_TRUE(state.seed.empty());
            EXPECT_FALSE(exportLines(".b32.csv").join('|').contains("LF000" + QString::number(n)));
        }
        EXPECT_FALSE(station().armed());
        EXPECT_EQ(succeeded, n == 5);

        // Nothing stays armed: the next token presented is read, not written.
        auto next = Token("NX000" + std::to_string(n));
        ASSERT_TRUE(present(next));
        EXPECT_EQ(Count(*next, kWriteSeed), 0);
        EXPECT_EQ(Count(*next, kConfigure), 0);
        ASSERT_TRUE(pcsc.remove(0)) << pcsc.failure();
    }
}

TEST_F(StationTest, TheSameTokenPresentedAgainWhileBusyIsReadAgain)
{
    connect();
    auto token = Token("RP0001");
    ASSERT_TRUE(present(token));
    ASSERT_EQ(Count(*token, kReadInfo), 1);

    op.holdNextMessage();
    station().burn(request("ABCDEFG1")); // refused with a message: the station is busy
    ASSERT_TRUE(op.waitUntilHeld());
    ASSERT_TRUE(pcsc.remove(0)) << pcsc.failure();
    token->setSerial("RP0001"); // the same serial number: only the event count tells
    ASSERT_TRUE(pcsc.insert(0, token)) << pcsc.failure();
    op.release();

    ASSERT_TRUE(probe().waitFor([&] { return probe().read().size() == 2; }));
    EXPECT_EQ(Count(*token, kReadInfo), 2);
    EXPECT_EQ(probe().read(), (QStringList{"RP0001", "RP0001"}));
}

TEST_F(StationTest, TwoStationsProgramTheirTokensAtTheSameTime)
{
    connect(0);
    connect(1);
    constexpr int kTokens = 20;
    auto run = [&](int index) {
        for (int i = 0; i < kTokens; ++i) {
            const std::string serial = "R" + std::to_string(index) + "-" + std::to_string(i);
            auto token = Token(serial);
            if (!present(token, index, index))
                return ADD_FAILURE() << "not shown: " << serial;
            const QString seed = RandomSeedText();
            if (!burn(request(seed, index), index))
                return ADD_FAILURE() << "no end of the run: " << serial;
            EXPECT_EQ(token->state().seed, SeedBytes(seed)) << serial;
            if (!pcsc.remove(index))
                return ADD_FAILURE() << pcsc.failure();
        }
    };
    std::thread other(run, 1);
    run(0);
    other.join();

    for (int index = 0; index < 2; ++index) {
        EXPECT_EQ(station(index).tally().success, kTokens);
        EXPECT_EQ(probe(index).rows().size(), size_t(kTokens));
    }
    // Every record names the token that holds its seed.
    const QStringList lines = exportLines(".b32.csv");
    EXPECT_EQ(lines.size(), 2 * kTokens);
    EXPECT_EQ(QSet<QString>(lines.begin(), lines.end()).size(), 2 * kTokens);
}

TEST_F(StationTest, TheServiceGoesAwayAndComesBack)
{
    connect();
    auto token = Token("SV0001");
    ASSERT_TRUE(present(token));
    ASSERT_TRUE(pcsc.stopDaemon());
    ASSERT_TRUE(probe().waitFor([&] {
        return station().texts().tips ==
               "The smart-card service is not answering; waiting for it to come back.";
    }));
    EXPECT_TRUE(station().texts().serialNumber.isEmpty());
    ASSERT_TRUE(pcsc.startDaemon(1)) << pcsc.failure();
    ASSERT_TRUE(probe().showsToken("SV0001"));
    ASSERT_TRUE(burn(request("JBSWY3DPEHPK3PXP")));
    EXPECT_EQ(token->state().seed, SeedBytes("JBSWY3DPEHPK3PXP"));
}

TEST_F(StationTest, TheLastTryOfTheKeyIsSpentOnlyWhenTheOperatorSaysSo)
{
    connect();
    auto token = Token("KY0001", 2);
    ASSERT_TRUE(present(token));
    token->answerNextWith(0x63C1, kAuthenticate); // the token says one try is left
    ASSERT_TRUE(burn(request("JBSWY3DPEHPK3PXP")));
    EXPECT_EQ(op.texts().back(), "Authentication failed, remaining 1 times");
    EXPECT_FALSE(station().armed());

    // No: nothing is sent.
    const int authentications = Count(*token, kAuthenticate);
    op.answerNextQuestion(false);
    ASSERT_TRUE(burn(request("JBSWY3DPEHPK3PXP")));
    EXPECT_EQ(op.texts().back(),
              "One attempt is left; a wrong key then locks the token for good. Try anyway?");
    EXPECT_EQ(Count(*token, kAuthenticate), authentications);

    // Yes: the run goes on (and here the key is right).
    op.answerNextQuestion(true);
    ASSERT_TRUE(burn(request("JBSWY3DPEHPK3PXP")));
    EXPECT_EQ(token->state().seed, SeedBytes("JBSWY3DPEHPK3PXP"));
    EXPECT_EQ(probe().rows().size(), 1u);
}

TEST_F(StationTest, StoppingWhileWaitingReturns)
{
    connect();
    ASSERT_TRUE(probe().showsNoToken());
    station().stopAndWait(); // woken from the platform's wait, not left in it
    station().start();
    auto token = Token("WK0001");
    ASSERT_TRUE(present(token));
}

TEST_F(StationTest, ATokenWhoseRecordIsMissingIsNoPlainSuccess)
{
    // The export folder cannot be made: no file gets the record.
    QFile blocker(data.filePath("Blocked"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    ExportFiles blocked(data.filePath("Blocked"));
    connect(0, &blocked);
    auto token = Token("RC0001");
    ASSERT_TRUE(present(token));
    ASSERT_TRUE(burn(request("JBSWY3DPEHPK3PXP")));

    EXPECT_EQ(token->state().seed, SeedBytes("JBSWY3DPEHPK3PXP"));
    ASSERT_EQ(probe().rows().size(), 1u);
    EXPECT_EQ(probe().rows()[0].result, "Succeeded, not recorded in hex, b32, azure");
    const QStringList messages = op.texts();
    EXPECT_FALSE(messages.contains("Token successfully programmed!"));
    EXPECT_TRUE(messages.back().startsWith("The token was programmed, but its record is missing"))
        << messages.back().toStdString();
}

TEST_F(StationTest, ATokenWhoseSerialNumberIsNotPrintableIsNotProgrammed)
{
    connect();
    for (const std::string& serial : {std::string("TK\x01") + "0001", std::string("=SUM(A1)")}) {
        SCOPED_TRACE(serial);
        auto token = Token(serial);
        ASSERT_TRUE(pcsc.insert(0, token)) << pcsc.failure();
        ASSERT_TRUE(probe().waitFor([&] { return !station().texts().serialNumber.isEmpty(); }));
        const size_t rows = probe().rows().size();
        ASSERT_TRUE(burn(request("JBSWY3DPEHPK3PXP")));
        EXPECT_EQ(Count(*token, kAuthenticate), 0);
        EXPECT_TRUE(token->state().seed.empty());
        ASSERT_EQ(probe().rows().size(), rows + 1);
        EXPECT_EQ(probe().rows().back().result, "Failed");
        EXPECT_TRUE(op.texts().back().endsWith("Nothing was written to the token."))
            << op.texts().back().toStdString();
        ASSERT_TRUE(pcsc.remove(0)) << pcsc.failure();
        ASSERT_TRUE(probe().showsNoToken());
    }
    EXPECT_TRUE(exportLines(".b32.csv").isEmpty());
}
