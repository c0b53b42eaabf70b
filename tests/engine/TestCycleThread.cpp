#include "engine/CycleThread.h"
#include "engine/ThreadCall.h"

#include <QCoreApplication>
#include <QObject>
#include <QThread>
#include <atomic>
#include <gtest/gtest.h>

using namespace std::chrono_literals;

namespace {

QCoreApplication& App()
{
    static int argc = 1;
    static char name[] = "TestCycleThread";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    return app;
}

// Stands for the window: an object on the main thread a worker may wait on.
struct MainThreadCall
{
    ThreadCaller target;
    std::atomic<int> served{0};

    // From the worker: waits until the main thread has run the call.
    void fromWorker()
    {
        target.run([this] {
            EXPECT_EQ(QThread::currentThread(), App().thread());
            ++served;
        });
    }
};

void SpinUntil(const std::atomic<bool>& flag)
{
    while (!flag)
        std::this_thread::yield();
}

} // namespace

TEST(CycleThread, StopCutsThePauseShortAndEndedRunsLast)
{
    App();
    CycleThread thread(1h);
    std::atomic<int> cycles{0};
    std::atomic<bool> pauseCut{false}, ended{false};
    thread.start(
        [&] {
            ++cycles;
            pauseCut = !thread.pause(1h);
        },
        [&] { ended = true; });
    while (cycles == 0)
        std::this_thread::yield();

    thread.stopAndWait();

    EXPECT_FALSE(thread.running());
    EXPECT_EQ(cycles, 1);
    EXPECT_TRUE(pauseCut);
    EXPECT_TRUE(ended);
}

TEST(CycleThread, WaitServesAWorkerWaitingOnTheWindowThread)
{
    App();
    MainThreadCall window;
    CycleThread thread(1h);
    std::atomic<bool> calling{false};
    thread.start([&] {
        calling = true;
        window.fromWorker();
    });
    // Do not serve events here: the worker is now (or soon) blocked on us.
    SpinUntil(calling);

    thread.stopAndWait();

    EXPECT_EQ(window.served, 1);
    EXPECT_FALSE(thread.running());
}

TEST(CycleThread, AWaitStartedWhileWaitingForTheSameWorker)
{
    // The window closes while Connect waits for the old poll to end.
    App();
    MainThreadCall window;
    CycleThread thread(1h);
    std::atomic<bool> calling{false};
    thread.start([&] {
        calling = true;
        window.fromWorker();
    });
    SpinUntil(calling);
    bool innerReturned = false;
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [&] {
            thread.stopAndWait();
            innerReturned = true;
        },
        Qt::QueuedConnection);

    thread.stopAndWait();

    EXPECT_TRUE(innerReturned);
    EXPECT_EQ(window.served, 1);
    EXPECT_FALSE(thread.running());
}

TEST(CycleThread, RestartsAfterAStop)
{
    App();
    CycleThread thread(1ms);
    std::atomic<int> first{0}, second{0};
    thread.start([&] { ++first; });
    while (first < 3)
        std::this_thread::yield();
    thread.stopAndWait();
    const int firstDone = first;

    thread.start([&] { ++second; });
    while (second < 3)
        std::this_thread::yield();
    thread.stopAndWait();

    EXPECT_EQ(first, firstDone);
}
