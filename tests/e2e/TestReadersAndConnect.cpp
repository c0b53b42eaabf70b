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

// Gives the poll time to reach a call on the window's thread, without serving it.
void LetThePollRunInto()
{
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
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

    // The only readers go away: the list empties, the token fields clear, and
    // the Tips line keeps what it said.
    const QString tips = station.text("tipsText");
    ASSERT_TRUE(station.pcsc.stopDaemon());
    ASSERT_TRUE(StationUnderTest::waitFor([&] { return combo->count() == 0; }));
    ASSERT_TRUE(
        StationUnderTest::waitFor([&] { return station.text("serialNumberText").isEmpty(); }));
    EXPECT_EQ(station.text("tipsText"), tips);
    EXPECT_FALSE(station.burnButton()->isEnabled());

    // They come back: listed again, none chosen.
    ASSERT_TRUE(station.pcsc.startDaemon(1)) << station.pcsc.failure();
    ASSERT_TRUE(StationUnderTest::waitFor([&] { return combo->count() == 2; }));
    ASSERT_TRUE(StationUnderTest::waitFor(
        [&] { return station.text("tipsText") == "Please select a card reader."; }));
}

TEST(Connect, WithNothingChosenAsksForAReader)
{
    StationUnderTest station;
    ASSERT_TRUE(station.pcsc.ok()) << station.pcsc.failure();
    QTest::mouseClick(station.child<QPushButton>("connectButton"), Qt::LeftButton);
    ASSERT_TRUE(StationUnderTest::waitFor(
        [&] { return station.text("tipsText") == "Please select a card reader!"; }));
    EXPECT_EQ(g_pollState.load(), PollIdle);
}

TEST(Connect, PressedTwiceQuicklyRunsOnePoll)
{
    StationUnderTest station;
    ASSERT_TRUE(station.pcsc.ok()) << station.pcsc.failure();
    ASSERT_TRUE(station.connectTo(0));
    QTest::mouseClick(station.child<QPushButton>("connectButton"), Qt::LeftButton);
    EXPECT_EQ(g_pollState.load(), PollRunning);

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

    EXPECT_EQ(g_readerName.get().toStdString(), station.pcsc.readerName(1));
    EXPECT_EQ(g_pollState.load(), PollRunning);
    auto second = StationUnderTest::Token("CA0002");
    ASSERT_TRUE(station.present(second, 1));
    EXPECT_EQ(ReadInfos(*second), 1);
}

TEST(Connect, WhileThePollWaitsForTheWindow)
{
    StationUnderTest station;
    ASSERT_TRUE(station.pcsc.ok()) << station.pcsc.failure();
    ASSERT_TRUE(station.connectTo(0));
    auto token = StationUnderTest::Token("CW0001");
    ASSERT_TRUE(station.present(token));
    station.setSeed("ABCDEFG1"); // refused with a message from the poll
    ASSERT_TRUE(station.pressBurn());
    LetThePollRunInto();

    station.window->OnConnect();

    EXPECT_EQ(g_pollState.load(), PollRunning);
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
    ASSERT_TRUE(station.pressBurn());
    LetThePollRunInto();

    station.window->reject();

    // The attempt under way was finished and recorded before the files closed.
    EXPECT_EQ(g_pollState.load(), PollIdle);
    EXPECT_EQ(token->state().seed, StationUnderTest::SeedBytes("JBSWY3DPEHPK3PXP"));
    EXPECT_EQ(station.log()->topLevelItemCount(), 1);
    EXPECT_EQ(station.exportLines(".b32.csv"), QStringList{"CC0001,JBSWY3DPEHPK3PXP"});
}
