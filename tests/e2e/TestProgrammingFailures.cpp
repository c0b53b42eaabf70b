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

// A seed the station cannot write whole is refused before any token command:
// the token is neither authenticated nor configured for it.
TEST(ProgrammingFailures, SeedsTheStationRefuses)
{
    struct Row
    {
        QString seed;
        QString message; // the start of the one message shown
    };
    const Row rows[] = {
        {QString(104, 'B'), "Failed to program the token! Error: 00001004"},
        {"ABCDEFG1", "The seed is not valid Base32 text"},
        // As the QR import may place it: a NUL in the middle.
        {QString("JBSWY3DPEHPK3PXP") + QChar(0) + "GEZDGNBV", "The seed is not valid Base32 text"},
        {QString(160, 'B'), "The seed is too long"},
        {QString(300, 'B'), "The seed is too long"},
        {"A", "The seed is too short"},
    };
    for (const Row& row : rows) {
        ArmedStation armed;
        StationUnderTest& station = armed.station;
        station.child<QCheckBox>("exportCheck")->setChecked(true);
        station.setSeed(row.seed);
        ASSERT_TRUE(station.pressBurn());
        ASSERT_TRUE(station.waitForRows(1)) << row.seed.toStdString();

        EXPECT_EQ(station.logRow(0).mid(1),
                  (QStringList{"FT00000001", "", "Failed", station.readerName(0)}));
        ASSERT_TRUE(StationUnderTest::waitFor([&] { return station.counters() == "1/0/1"; }));
        EXPECT_EQ(station.burnButton()->text(), "Burn");
        const QStringList messages = station.op.recorded.texts();
        ASSERT_EQ(messages.size(), 1) << messages.join('|').toStdString();
        EXPECT_TRUE(messages.front().startsWith(row.message)) << messages.front().toStdString();
        EXPECT_EQ(station.op.recorded.messages().front().caption, "ERROR");
        EXPECT_TRUE(armed.token->state().seed.empty());
        EXPECT_FALSE(Received(*armed.token, 0xCE)); // no AUTHENTICATE
        EXPECT_EQ(station.exportLines(".b32.csv"), QStringList{});
    }
}

// The press takes the seed the edit shows at that moment: what the operator
// changes afterwards is for the next token.
TEST(ProgrammingFailures, TheSeedIsTheOneShownWhenBurnIsPressed)
{
    ArmedStation armed;
    StationUnderTest& station = armed.station;
    station.setSeed("JBSWY3DPEHPK3PXP");
    ASSERT_TRUE(station.pressBurn());
    station.child<QLineEdit>("seedEdit")->clear();

    ASSERT_TRUE(station.waitForRows(1));
    EXPECT_EQ(station.logRow(0).value(3), "Succeeded");
    EXPECT_EQ(armed.token->state().seed, StationUnderTest::SeedBytes("JBSWY3DPEHPK3PXP"));
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

// Lifted after the token took its settings, before the seed: the attempt
// fails, and nothing stays armed for the next token presented.
TEST(ProgrammingFailures, TokenLiftedBeforeItsSeedArmsNothing)
{
    ArmedStation armed;
    StationUnderTest& station = armed.station;
    station.child<QCheckBox>("exportCheck")->setChecked(true);
    station.setSeed("JBSWY3DPEHPK3PXP");
    // READ INFO, GET CHALLENGE, AUTHENTICATE, CONFIGURE: then it is gone.
    armed.token->liftAfterAnswers(4);
    ASSERT_TRUE(station.pressBurn());

    ASSERT_TRUE(station.waitForRows(1));
    EXPECT_EQ(station.logRow(0).value(3), "Failed");
    ASSERT_TRUE(StationUnderTest::waitFor([&] { return station.counters() == "1/0/1"; }));
    const QStringList messages = station.op.recorded.texts();
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages.front().startsWith("Failed to program the token! Error: "));
    EXPECT_EQ(station.burnButton()->text(), "Burn");
    EXPECT_TRUE(armed.token->state().seed.empty());
    EXPECT_EQ(station.exportLines(".b32.csv"), QStringList{});

    // Another token presented without a press is read, never configured or written.
    ASSERT_TRUE(station.pcsc.waitForCard(0, false)) << station.pcsc.failure();
    auto next = StationUnderTest::Token("FT00000002");
    ASSERT_TRUE(station.present(next));
    EXPECT_FALSE(Received(*next, kWriteSeed));
    EXPECT_FALSE(Received(*next, 0xD4));
    EXPECT_EQ(station.counters(), "1/0/1");
}

// A token of another customer refuses the key and counts its tries down; the
// last one is spent only when the operator says so.
TEST(ProgrammingFailures, TokenOfAnotherCustomerTriesLeftThenLocked)
{
    ArmedStation armed;
    StationUnderTest& station = armed.station;
    station.setSeed("JBSWY3DPEHPK3PXP");
    VirtualTokenSettings other;
    other.serial = "OTHER0001";
    other.customerKey.fill(0x11);
    other.maxTries = 3;
    auto foreign = std::make_shared<VirtualToken>(other);
    ASSERT_TRUE(station.lift());
    ASSERT_TRUE(station.present(foreign));

    auto press = [&](const QString& expected) {
        const qsizetype before = station.op.recorded.texts().size();
        if (!station.pressBurn())
            return false;
        return StationUnderTest::waitFor([&] {
            const QStringList texts = station.op.recorded.texts();
            return texts.size() > before && texts.back() == expected;
        });
    };
    ASSERT_TRUE(press("Authentication failed, remaining 2 times"));
    EXPECT_EQ(station.burnButton()->text(), "Burn");
    ASSERT_TRUE(press("Authentication failed, remaining 1 times"));

    // Not spent unless the operator says so.
    const auto commands = foreign->received().size();
    ASSERT_TRUE(
        press("One attempt is left; a wrong key then locks the token for good. Try anyway?"));
    ASSERT_TRUE(StationUnderTest::waitFor([&] { return station.burnButton()->isEnabled(); }));
    EXPECT_EQ(foreign->received().size(), commands);
    station.op.recorded.answerNextQuestion(true);
    ASSERT_TRUE(press("Authentication failed, remaining 0 times"));
    ASSERT_TRUE(press("Customer key is locked"));

    EXPECT_EQ(station.attemptRows().size(), 0);
    EXPECT_EQ(station.counters(), "0/0/0");
    EXPECT_EQ(station.burnButton()->text(), "Burn");
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
    auto shown = [&] {
        return StationUnderTest::waitFor(
            [&] { return !armed.station.op.recorded.texts().isEmpty(); });
    };
    armed.station.window->seal();
    ASSERT_TRUE(shown());
    EXPECT_EQ(armed.station.op.recorded.texts(), QStringList{"CardSeal success!"});
    EXPECT_EQ(armed.station.op.recorded.messages().front().caption, "Hints");
    EXPECT_TRUE(armed.token->state().sealed);

    armed.station.op.recorded.clear();
    armed.token->answerNextWith(0x6985, 0xC7);
    armed.station.window->seal();
    ASSERT_TRUE(shown());
    EXPECT_EQ(armed.station.op.recorded.texts(), QStringList{"CardSeal failed![00000001]"});
}
