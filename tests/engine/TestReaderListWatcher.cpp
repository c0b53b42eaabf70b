// The reader list as the platform reports it, through a private pcscd whose
// readers come and go with the service.
#include "PcscFixture.h"
#include "engine/ReaderListWatcher.h"

#include <condition_variable>
#include <gtest/gtest.h>
#include <mutex>

namespace {

// What the watcher told, from its own thread.
struct ListRecorder
{
    explicit ListRecorder(ReaderListWatcher& watcher)
    {
        QObject::connect(
            &watcher, &ReaderListWatcher::listed, &watcher,
            [this](const QString& text) { note("listed " + text); }, Qt::DirectConnection);
        QObject::connect(
            &watcher, &ReaderListWatcher::listFailed, &watcher, [this] { note("failed"); },
            Qt::DirectConnection);
        QObject::connect(
            &watcher, &ReaderListWatcher::serviceChanged, &watcher,
            [this](bool available) { note(available ? "service" : "no service"); },
            Qt::DirectConnection);
    }
    void note(const QString& event)
    {
        {
            std::lock_guard lock(m_lock);
            m_events << event;
        }
        m_changed.notify_all();
    }
    bool waitFor(const QString& event)
    {
        std::unique_lock lock(m_lock);
        return m_changed.wait_for(lock, std::chrono::seconds(10),
                                  [&] { return m_events.contains(event); });
    }
    QStringList events()
    {
        std::lock_guard lock(m_lock);
        return m_events;
    }

    std::mutex m_lock;
    std::condition_variable m_changed;
    QStringList m_events;
};

} // namespace

TEST(ReaderListWatcher, FollowsTheReadersAndTheService)
{
    PcscFixture pcsc(1);
    ASSERT_TRUE(pcsc.ok()) << pcsc.failure();
    const QString two =
        QString::fromStdString(pcsc.readerName(0) + "[E]" + pcsc.readerName(1) + "[E]");
    ReaderListWatcher watcher;
    ListRecorder recorder(watcher);
    watcher.start();
    ASSERT_TRUE(recorder.waitFor("listed " + two));
    EXPECT_EQ(recorder.events().first(), "service");

    ASSERT_TRUE(pcsc.stopDaemon());
    ASSERT_TRUE(recorder.waitFor("no service"));
    ASSERT_TRUE(recorder.waitFor("failed"));

    ASSERT_TRUE(pcsc.startDaemon(2)) << pcsc.failure();
    ASSERT_TRUE(recorder.waitFor(
        QString::fromStdString("listed " + pcsc.readerName(0) + "[E]" + pcsc.readerName(1) + "[E]" +
                               pcsc.readerName(2) + "[E]" + pcsc.readerName(3) + "[E]")));
    EXPECT_EQ(recorder.events().count("service"), 2);

    // Asleep in the platform's wait, it is woken to stop.
    watcher.stopAndWait();
    EXPECT_FALSE(watcher.running());
}
