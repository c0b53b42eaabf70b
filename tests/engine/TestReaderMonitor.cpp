// The reader monitor's list rules, one cycle at a time against a private
// pcscd whose readers come and go.
#include "FakeConsoleWindow.h"
#include "PcscFixture.h"
#include "engine/ReaderMonitor.h"

#include <gtest/gtest.h>

namespace {

QCoreApplication& App()
{
    static int argc = 1;
    static char name[] = "TestReaderMonitor";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    return app;
}

QString Reader(const PcscFixture& pcsc, int slot)
{
    return QString::fromStdString(pcsc.readerName(slot));
}

} // namespace

TEST(ReaderMonitor, SplitsTheReaderListText)
{
    EXPECT_EQ(SplitReaderList("R1[E]R2[E]"), (QStringList{"R1", "R2"}));
    EXPECT_EQ(SplitReaderList("R1[E]"), QStringList{"R1"});
    EXPECT_EQ(SplitReaderList(""), QStringList{});
    EXPECT_EQ(SplitReaderList("R1[E]tail"), QStringList{"R1"});
}

TEST(ReaderMonitor, ReadersComeAndGoWhileTheChoiceStays)
{
    PcscFixture pcsc(1);
    ASSERT_TRUE(pcsc.ok()) << pcsc.failure();
    App();
    FakeConsoleWindow window;
    ReaderMonitor monitor(window);

    monitor.ReaderMonitorProc();
    ASSERT_EQ(window.entries, (QStringList{Reader(pcsc, 0), Reader(pcsc, 1)}));
    EXPECT_EQ(window.state().texts().tips, "Please select a card reader.");
    window.selected = 0;

    // Two more readers: added at the end, the choice kept.
    ASSERT_TRUE(pcsc.stopDaemon());
    ASSERT_TRUE(pcsc.startDaemon(2)) << pcsc.failure();
    window.state().update([](ConsoleTexts& texts) { texts.tips = "kept"; });
    monitor.ReaderMonitorProc();
    EXPECT_EQ(window.entries,
              (QStringList{Reader(pcsc, 0), Reader(pcsc, 1), Reader(pcsc, 2), Reader(pcsc, 3)}));
    EXPECT_EQ(window.selected, 0);
    EXPECT_EQ(window.state().texts().tips, "kept");

    // They go again: dropped, the choice kept.
    ASSERT_TRUE(pcsc.stopDaemon());
    ASSERT_TRUE(pcsc.startDaemon(1)) << pcsc.failure();
    monitor.ReaderMonitorProc();
    EXPECT_EQ(window.entries, (QStringList{Reader(pcsc, 0), Reader(pcsc, 1)}));
    EXPECT_EQ(window.selected, 0);

    // The chosen reader goes: its entry leaves, and the next cycle asks again.
    window.selected = 1;
    window.entries.insert(1, "Gone Reader");
    monitor.ReaderMonitorProc();
    EXPECT_EQ(window.entries, (QStringList{Reader(pcsc, 0), Reader(pcsc, 1)}));
    EXPECT_EQ(window.selected, -1);
    monitor.ReaderMonitorProc();
    EXPECT_EQ(window.state().texts().tips, "Please select a card reader.");
}

TEST(ReaderMonitor, AnEntryThatIsPartOfAListedNameStays)
{
    PcscFixture pcsc(1);
    ASSERT_TRUE(pcsc.ok()) << pcsc.failure();
    App();
    FakeConsoleWindow window;
    ReaderMonitor monitor(window);
    window.entries = {"Virtual PCD", "Other Reader"};

    monitor.ReaderMonitorProc();

    EXPECT_EQ(window.entries, (QStringList{"Virtual PCD", Reader(pcsc, 0), Reader(pcsc, 1)}));
}

TEST(ReaderMonitor, NoServiceEmptiesTheListAndClearsTheToken)
{
    PcscFixture pcsc(1);
    ASSERT_TRUE(pcsc.ok()) << pcsc.failure();
    App();
    FakeConsoleWindow window;
    ReaderMonitor monitor(window);
    monitor.ReaderMonitorProc();
    window.state().update([](ConsoleTexts& texts) {
        texts.serialNumber = "S1";
        texts.tokenClock = "2019-12-16 23:21:22";
        texts.computerClock = "2019-12-16 23:21:23";
        texts.tips = "Token or card detected";
    });

    ASSERT_TRUE(pcsc.stopDaemon());
    monitor.ReaderMonitorProc();

    EXPECT_TRUE(window.entries.isEmpty());
    const ConsoleTexts texts = window.state().texts();
    EXPECT_TRUE(texts.serialNumber.isEmpty());
    EXPECT_TRUE(texts.tokenClock.isEmpty());
    EXPECT_TRUE(texts.computerClock.isEmpty());
    EXPECT_EQ(texts.tips, "Token or card detected");
}
