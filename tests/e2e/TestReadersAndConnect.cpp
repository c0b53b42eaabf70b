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

TEST(Readers, LinesFollowTheServiceAndAskForAChoice)
{
    StationUnderTest station;
    ASSERT_TRUE(station.pcsc.ok()) << station.pcsc.failure();
    QTableWidget* lines = station.lines();
    ASSERT_TRUE(StationUnderTest::waitFor([&] { return lines->rowCount() == 2; }));
    EXPECT_EQ(station.lineRow(0), 0);
    EXPECT_EQ(lines->currentRow(), -1); // never chosen for the operator
    EXPECT_FALSE(station.connectCheck(0)->isChecked());
    EXPECT_EQ(station.text("tipsText"), "Please select a card reader.");

    ASSERT_TRUE(station.connectTo(0));
    EXPECT_EQ(lines->currentRow(), station.lineRow(0)); // the line connected is chosen
    auto token = StationUnderTest::Token("RD0001");
    ASSERT_TRUE(station.present(token));
    EXPECT_EQ(station.text("serialNumberText"), "RD0001");

    // The service goes away: the line of the reader not connected goes; the
    // connected one stays, its token fields clear, and its station says
    // what it waits for.
    ASSERT_TRUE(station.pcsc.stopDaemon());
    ASSERT_TRUE(StationUnderTest::waitFor([&] { return lines->rowCount() == 1; }));
    EXPECT_EQ(station.lineRow(1), -1);
    ASSERT_TRUE(
        StationUnderTest::waitFor([&] { return station.text("serialNumberText").isEmpty(); }));
    const QString noService =
        "The smart-card service is not answering; waiting for it to come back.";
    ASSERT_TRUE(StationUnderTest::waitFor([&] { return station.text("tipsText") == noService; }));
    EXPECT_EQ(station.lineText(0, StationUnderTest::StateColumn), noService);
    EXPECT_FALSE(station.burnButton()->isEnabled());

    // It comes back: both readers are listed again, the other one not
    // connected, and the station reads the token that stayed on its reader.
    ASSERT_TRUE(station.pcsc.startDaemon(1)) << station.pcsc.failure();
    ASSERT_TRUE(StationUnderTest::waitFor([&] { return lines->rowCount() == 2; }));
    EXPECT_FALSE(station.connectCheck(1)->isChecked());
    EXPECT_TRUE(station.connectCheck(0)->isChecked());
    ASSERT_TRUE(
        StationUnderTest::waitFor([&] { return station.text("serialNumberText") == "RD0001"; }));
}

// Unchecked and checked again at once, while the old station ends: the
// line ends up watched by one station, the other line's too.
TEST(Connect, CheckedAgainWhileTheOldStationEnds)
{
    StationUnderTest station(1);
    ASSERT_TRUE(station.pcsc.ok()) << station.pcsc.failure();
    ASSERT_TRUE(station.connectTo(0));
    auto first = StationUnderTest::Token("CA0001");
    ASSERT_TRUE(station.present(first));

    QMetaObject::invokeMethod(
        station.window.get(),
        [&] {
            station.window->connectReader(station.readerName(0), true);
            station.window->connectReader(station.readerName(1), true);
        },
        Qt::QueuedConnection);
    station.window->connectReader(station.readerName(0), false);

    ASSERT_TRUE(StationUnderTest::waitFor([&] {
        return station.window->lines().station(station.readerName(0)) &&
               station.window->lines().station(station.readerName(1));
    }));
    EXPECT_TRUE(station.connectCheck(0)->isChecked());
    EXPECT_TRUE(station.connectCheck(1)->isChecked());
    auto second = StationUnderTest::Token("CA0002");
    ASSERT_TRUE(station.present(second, 1));
    EXPECT_EQ(ReadInfos(*second), 1);
    // The token left on the first reader is read by the new station.
    ASSERT_TRUE(StationUnderTest::waitFor([&] { return ReadInfos(*first) == 2; }));
    EXPECT_EQ(station.lineText(0, StationUnderTest::SerialColumn), "CA0001");
}

// Unchecked while its station waits for the window to show a message: the
// message is answered, the attempt recorded, Burn released; a line checked
// meanwhile is connected.
TEST(Connect, UncheckedWhileTheStationWaitsForTheWindow)
{
    StationUnderTest station(1);
    ASSERT_TRUE(station.pcsc.ok()) << station.pcsc.failure();
    ASSERT_TRUE(station.connectTo(0));
    auto token = StationUnderTest::Token("CW0001");
    ASSERT_TRUE(station.present(token));
    station.setSeed("ABCDEFG1"); // refused with a message from the station
    ASSERT_TRUE(station.pressBurn());
    ASSERT_TRUE(WaitWithoutServing([&] { return station.op.waiting() > 0; }));

    QMetaObject::invokeMethod(
        station.window.get(), [&] { station.window->connectReader(station.readerName(1), true); },
        Qt::QueuedConnection);
    station.window->connectReader(station.readerName(0), false);

    EXPECT_EQ(station.window->lines().station(station.readerName(0)), nullptr);
    EXPECT_FALSE(station.connectCheck(0)->isChecked());
    ASSERT_NE(station.window->lines().station(station.readerName(1)), nullptr);
    ASSERT_TRUE(station.waitForRows(1));
    EXPECT_EQ(station.op.recorded.texts().size(), 1);
    EXPECT_EQ(station.logRow(0).value(3), "Failed");
    EXPECT_EQ(station.lineCounters(0), "1/0/1"); // the line keeps its counts
    EXPECT_EQ(station.counters(), "1/0/1");
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
