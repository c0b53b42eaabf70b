// The reader list, Connect, and the poll's thread meeting the window's.
#include "StationUnderTest.h"

#include <chrono>
#include <thread>

namespace {

int ReadInfos(const VirtualToken& token)
{
    int count = 0;
    for (const auto& command : token.received())
        count += command.size() > 1 && command[1] == 0x41;
    return count;
}

// Waits, without serving the window's events, until condition holds: the
// station's thread then runs into a call on the window's thread and waits there.
bool WaitWithoutServing(const std::function<bool()>& condition)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

bool Received(const VirtualToken& token, uint8_t ins)
{
    for (const auto& command : token.received())
        if (command.size() > 1 && command[1] == ins)
            return true;
    return false;
}

} // namespace

TEST(Readers, ListFollowsTheServiceAndAsksForAChoice)
{
    StationUnderTest station;
    ASSERT_TRUE(station.pcsc.ok()) << station.pcsc.failure();
    auto* combo = station.child<QComboBox>("readerCombo");
    ASSERT_TRUE(StationUnderTest::waitFor([&] { return combo->count() == 2; }));
    EXPECT_EQ(combo->itemText(0).toStdString(), station.pcsc.readerName(0));
    EXPECT_EQ(combo->currentIndex(), -1); // never chosen for the operator
    EXPECT_EQ(station.text("tipsText"), "Please select a card reader.");

    ASSERT_TRUE(station.connectTo(0));
    auto token = StationUnderTest::Token("RD0001");
    ASSERT_TRUE(station.present(token));

    // The service goes away: the list empties, the token fields clear, and
    // the station says what it waits for.
    ASSERT_TRUE(station.pcsc.stopDaemon());
    ASSERT_TRUE(StationUnderTest::waitFor([&] { return combo->count() == 0; }));
    ASSERT_TRUE(
        StationUnderTest::waitFor([&] { return station.text("serialNumberText").isEmpty(); }));
    ASSERT_TRUE(StationUnderTest::waitFor([&] {
        return station.text("tipsText") ==
               "The smart-card service is not answering; waiting for it to come back.";
    }));
    EXPECT_FALSE(station.burnButton()->isEnabled());

    // It comes back: the readers are listed again, none chosen, and the
    // station reads the token that stayed on its reader.
    ASSERT_TRUE(station.pcsc.startDaemon(1)) << station.pcsc.failure();
    ASSERT_TRUE(StationUnderTest::waitFor([&] { return combo->count() == 2; }));
    EXPECT_EQ(combo->currentIndex(), -1);
    // (The status line says what came last: the station's "Token or card
    // detected", or the list's "Please select a card reader.")
    ASSERT_TRUE(
        StationUnderTest::waitFor([&] { return station.text("serialNumberText") == "RD0001"; }));
}

TEST(Connect, WithNothingChosenAsksForAReader)
{
    StationUnderTest station;
    ASSERT_TRUE(station.pcsc.ok()) << station.pcsc.failure();
    QTest::mouseClick(station.child<QPushButton>("connectButton"), Qt::LeftButton);
    ASSERT_TRUE(StationUnderTest::waitFor(
        [&] { return station.text("tipsText") == "Please select a card reader!"; }));
    EXPECT_EQ(station.window->station(), nullptr);
}

TEST(Connect, PressedTwiceQuicklyWatchesOnce)
{
    StationUnderTest station;
    ASSERT_TRUE(station.pcsc.ok()) << station.pcsc.failure();
    ASSERT_TRUE(station.connectTo(0));
    QTest::mouseClick(station.child<QPushButton>("connectButton"), Qt::LeftButton);
    ASSERT_NE(station.window->station(), nullptr);

    auto token = StationUnderTest::Token("CT0001");
    ASSERT_TRUE(station.present(token));
    EXPECT_EQ(ReadInfos(*token), 1);
}

TEST(Connect, PressedAgainWhileTheOldPollEnds)
{
    StationUnderTest station(1);
    ASSERT_TRUE(station.pcsc.ok()) << station.pcsc.failure();
    ASSERT_TRUE(station.connectTo(0));
    auto first = StationUnderTest::Token("CA0001");
    ASSERT_TRUE(station.present(first));

    // The second press arrives while the first one waits for the old poll.
    auto* combo = station.child<QComboBox>("readerCombo");
    combo->setCurrentIndex(combo->findText(QString::fromStdString(station.pcsc.readerName(1))));
    QMetaObject::invokeMethod(station.window.get(), "OnConnect", Qt::QueuedConnection);
    station.window->OnConnect();

    ASSERT_NE(station.window->station(), nullptr);
    EXPECT_EQ(station.window->station()->readerName().toStdString(), station.pcsc.readerName(1));
    auto second = StationUnderTest::Token("CA0002");
    ASSERT_TRUE(station.present(second, 1));
    EXPECT_EQ(ReadInfos(*second), 1);
}

TEST(Connect, WhileTheStationWaitsForTheWindow)
{
    StationUnderTest station;
    ASSERT_TRUE(station.pcsc.ok()) << station.pcsc.failure();
    ASSERT_TRUE(station.connectTo(0));
    auto token = StationUnderTest::Token("CW0001");
    ASSERT_TRUE(station.present(token));
    station.setSeed("ABCDEFG1"); // refused with a message from the station
    ASSERT_TRUE(station.pressBurn());
    ASSERT_TRUE(WaitWithoutServing([&] { return station.op.waiting() > 0; }));

    station.window->OnConnect();

    ASSERT_NE(station.window->station(), nullptr);
    ASSERT_TRUE(station.waitForRows(1));
    EXPECT_EQ(station.op.recorded.texts().size(), 1);
    EXPECT_EQ(station.logRow(0).value(3), "Failed");
    EXPECT_EQ(station.burnButton()->text(), "Burn");
}

TEST(Connect, ClosingTheWindowWhileTheTokenIsProgrammed)
{
    StationUnderTest station;
    ASSERT_TRUE(station.pcsc.ok()) << station.pcsc.failure();
    station.child<QCheckBox>("exportCheck")->setChecked(true);
    ASSERT_TRUE(station.connectTo(0));
    auto token = StationUnderTest::Token("CC0001");
    ASSERT_TRUE(station.present(token));
    station.setSeed("JBSWY3DPEHPK3PXP");
    token->setAnswerDelay(std::chrono::milliseconds(50));
    ASSERT_TRUE(station.pressBurn());
    ASSERT_TRUE(WaitWithoutServing([&] { return Received(*token, 0x4B); })); // GET CHALLENGE

    station.window->reject();

    // The attempt under way was finished and recorded before the files closed.
    EXPECT_EQ(token->state().seed, StationUnderTest::SeedBytes("JBSWY3DPEHPK3PXP"));
    EXPECT_EQ(station.attemptRows().size(), 1);
    EXPECT_EQ(station.exportLines(".b32.csv"), QStringList{"CC0001,JBSWY3DPEHPK3PXP"});
}
