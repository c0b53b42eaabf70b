// What the operator sees when programming goes wrong, and what the token
// holds then: nothing shown as "Succeeded" may lack its seed.
#include "StationUnderTest.h"

#include <algorithm>

namespace {

bool Received(const VirtualToken& token, uint8_t ins)
{
    const auto commands = token.received();
    return std::any_of(commands.begin(), commands.end(), [ins](const std::vector<uint8_t>& c) {
        return c.size() > 1 && c[1] == ins;
    });
}
constexpr uint8_t kWriteSeed = 0xC5;

// A station connected to reader 0 with a token on it, showing its serial.
struct ArmedStation
{
    ArmedStation() : token(StationUnderTest::Token("FT00000001"))
    {
        EXPECT_TRUE(station.pcsc.ok()) << station.pcsc.failure();
        EXPECT_TRUE(station.connectTo(0));
        EXPECT_TRUE(station.present(token));
    }
    StationUnderTest station;
    std::shared_ptr<VirtualToken> token;
};

} // namespace

TEST(ProgrammingFailures, SeedsTheStationRefusesOrTheTokenRefuses)
{
    struct Row
    {
        QString seed;
        QString message;   // the start of the one message shown
        bool reachesToken; // a WRITE SEED is sent
    };
    const Row rows[] = {
        {QString(104, 'B'), "Failed to program the token! Error: 00001004", false},
        {"ABCDEFG1", "The seed is not valid Base32 text", false},
        {QString(160, 'B'), "The seed is too long", false},
        {QString(300, 'B'), "The seed is too long", false},
        {"A", "The seed is too short", false},
    };
    for (const Row& row : rows) {
        ArmedStation armed;
        StationUnderTest& station = armed.station;
        station.setSeed(row.seed);
        ASSERT_TRUE(station.pressBurn());
        ASSERT_TRUE(station.waitForRows(1)) << row.seed.toStdString();

        EXPECT_EQ(station.logRow(0).mid(1), (QStringList{"FT00000001", "", "Failed"}));
        ASSERT_TRUE(StationUnderTest::waitFor([&] { return station.counters() == "1/0/1"; }));
        EXPECT_EQ(station.burnButton()->text(), "Burn");
        const QStringList messages = station.op.recorded.texts();
        ASSERT_EQ(messages.size(), 1) << messages.join('|').toStdString();
        EXPECT_TRUE(messages.front().startsWith(row.message)) << messages.front().toStdString();
        EXPECT_EQ(station.op.recorded.messages().front().caption, "ERROR");
        EXPECT_TRUE(armed.token->state().seed.empty());
        EXPECT_EQ(Received(*armed.token, kWriteSeed), row.reachesToken);
    }
}

TEST(ProgrammingFailures, SeedEmptiedBetweenBurnAndProgramming)
{
    ArmedStation armed;
    StationUnderTest& station = armed.station;
    station.setSeed("JBSWY3DPEHPK3PXP");
    ASSERT_TRUE(station.pressBurn());
    // The poll waits for this thread before it reads the seed edit.
    station.child<QLineEdit>("seedEdit")->clear();

    ASSERT_TRUE(station.waitForRows(1));
    EXPECT_EQ(station.op.recorded.texts(), QStringList{"No seed found!"});
    EXPECT_EQ(station.logRow(0).mid(1), (QStringList{"FT00000001", "", "Failed"}));
    ASSERT_TRUE(StationUnderTest::waitFor([&] { return station.counters() == "1/0/1"; }));
    EXPECT_FALSE(Received(*armed.token, kWriteSeed));
}

TEST(ProgrammingFailures, StatusWordErrorOnTheWrite)
{
    ArmedStation armed;
    StationUnderTest& station = armed.station;
    station.child<QCheckBox>("exportCheck")->setChecked(true);
    station.setSeed("JBSWY3DPEHPK3PXP");
    armed.token->answerNextWith(0x6A80, kWriteSeed);
    ASSERT_TRUE(station.pressBurn());

    ASSERT_TRUE(station.waitForRows(1));
    EXPECT_EQ(station.op.recorded.texts(),
              QStringList{"Failed to program the token! Error: 00000001"});
    EXPECT_EQ(station.logRow(0).value(3), "Failed");
    ASSERT_TRUE(StationUnderTest::waitFor([&] { return station.counters() == "1/0/1"; }));
    EXPECT_TRUE(armed.token->state().seed.empty());
    // No export record for a token that does not hold its seed.
    EXPECT_EQ(station.exportLines(".b32.csv"), QStringList{});
}

TEST(ProgrammingFailures, TokenLiftedBetweenBurnAndTheNextPoll)
{
    ArmedStation armed;
    StationUnderTest& station = armed.station;
    station.setSeed("JBSWY3DPEHPK3PXP");
    ASSERT_TRUE(station.pressBurn());
    // Configured and armed; the poll cannot reach the token before this thread
    // serves it, so the token is gone before it is written.
    armed.token->liftOnNextCommand();

    ASSERT_TRUE(StationUnderTest::waitFor(
        [&] { return station.text("tipsText") == "Token or card not detected"; }));
    EXPECT_EQ(station.log()->topLevelItemCount(), 0);
    EXPECT_EQ(station.counters(), "0/0/0");
    EXPECT_EQ(station.burnButton()->text(), "Stop"); // still armed
    EXPECT_TRUE(armed.token->state().seed.empty());

    // Presented again, it is read and programmed in one go.
    ASSERT_TRUE(station.pcsc.remove(0));
    ASSERT_TRUE(station.present(armed.token));
    ASSERT_TRUE(station.waitForRows(1));
    EXPECT_EQ(station.logRow(0).value(3), "Succeeded");
    EXPECT_EQ(armed.token->state().seed, StationUnderTest::SeedBytes("JBSWY3DPEHPK3PXP"));
    EXPECT_EQ(station.burnButton()->text(), "Burn");
}

TEST(ProgrammingFailures, TokenOfAnotherCustomerTriesLeftThenLocked)
{
    ArmedStation armed;
    StationUnderTest& station = armed.station;
    station.setSeed("JBSWY3DPEHPK3PXP");

    // A token of another customer refuses Burn's authentication at once.
    VirtualTokenSettings other;
    other.serial = "OTHER0001";
    other.customerKey.fill(0x11);
    other.maxTries = 3;
    auto foreign = std::make_shared<VirtualToken>(other);
    ASSERT_TRUE(station.lift());
    ASSERT_TRUE(station.present(foreign));
    ASSERT_TRUE(station.pressBurn());
    EXPECT_EQ(station.op.recorded.texts(), QStringList{"Authentication failed, remaining 2 times"});
    EXPECT_EQ(station.burnButton()->text(), "Burn");

    // Armed on our own token, then the foreign one is presented: every poll
    // cycle tries it again until the operator stops.
    ASSERT_TRUE(station.lift());
    ASSERT_TRUE(station.present(armed.token));
    ASSERT_TRUE(station.pressBurn());
    armed.token->liftOnNextCommand(); // gone before it is written
    ASSERT_TRUE(StationUnderTest::waitFor(
        [&] { return station.text("tipsText") == "Token or card not detected"; }));
    station.op.recorded.clear();
    ASSERT_TRUE(station.pcsc.remove(0));
    ASSERT_TRUE(station.present(foreign));

    ASSERT_TRUE(StationUnderTest::waitFor(
        [&] { return station.op.recorded.texts().contains("Customer key is locked"); }));
    const QStringList messages = station.op.recorded.texts();
    EXPECT_EQ(messages.mid(0, 2), (QStringList{"Authentication failed, remaining 1 times",
                                               "Authentication failed, remaining 0 times"}));
    EXPECT_EQ(station.log()->topLevelItemCount(), 0);
    EXPECT_EQ(station.counters(), "0/0/0");
    EXPECT_EQ(station.burnButton()->text(), "Stop");

    // Stop disarms without a token command.
    const auto commands = foreign->received().size();
    ASSERT_TRUE(station.pressBurn());
    EXPECT_EQ(station.burnButton()->text(), "Burn");
    const qsizetype shown = station.op.recorded.texts().size();
    QTest::qWait(300);
    EXPECT_LE(foreign->received().size(), commands + 2); // a cycle under way may finish
    EXPECT_LE(station.op.recorded.texts().size(), shown + 1);
    EXPECT_TRUE(foreign->state().seed.empty());
}

TEST(ProgrammingFailures, BurnNeedsATokenAndASeed)
{
    StationUnderTest station;
    ASSERT_TRUE(station.pcsc.ok()) << station.pcsc.failure();
    ASSERT_TRUE(station.connectTo(0));
    auto token = StationUnderTest::Token("NB0001");
    ASSERT_TRUE(station.present(token));
    EXPECT_FALSE(station.burnButton()->isEnabled()); // no seed

    QTest::mouseClick(station.child<QWidget>("randomButton"), Qt::LeftButton);
    ASSERT_TRUE(StationUnderTest::waitFor([&] { return station.burnButton()->isEnabled(); }));

    ASSERT_TRUE(station.lift());
    ASSERT_TRUE(StationUnderTest::waitFor([&] { return !station.burnButton()->isEnabled(); }));
    QTest::mouseClick(station.burnButton(), Qt::LeftButton); // does nothing
    EXPECT_EQ(station.burnButton()->text(), "Burn");
    EXPECT_TRUE(token->state().seed.empty());
}

TEST(ProgrammingFailures, SealTellsItsOutcome)
{
    ArmedStation armed;
    armed.station.window->OnSeal();
    EXPECT_EQ(armed.station.op.recorded.texts(), QStringList{"CardSeal success!"});
    EXPECT_EQ(armed.station.op.recorded.messages().front().caption, "Hints");
    EXPECT_TRUE(armed.token->state().sealed);

    armed.station.op.recorded.clear();
    armed.token->answerNextWith(0x6985, 0xC7);
    armed.station.window->OnSeal();
    EXPECT_EQ(armed.station.op.recorded.texts(), QStringList{"CardSeal failed![00000001]"});
}
