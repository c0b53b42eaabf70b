#pragma once

#include "RecordingOperator.h"
#include "engine/Station.h"

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <vector>

// Records what a station tells, on the station's own thread, and lets a test
// wait for it: every signal wakes the waiting test.
class StationProbe
{
public:
    struct Row
    {
        QString serialNumber;
        QString userName;
        QString result;
    };

    explicit StationProbe(Station& station) : m_station(station)
    {
        auto note = [this](auto change) {
            {
                std::lock_guard lock(m_lock);
                change();
                ++m_version;
            }
            m_changed.notify_all();
        };
        QObject::connect(
            &station, &Station::textsChanged, &station, [note] { note([] {}); },
            Qt::DirectConnection);
        QObject::connect(
            &station, &Station::tokenRead, &station,
            [this, note](const QString& serial) { note([&] { m_read << serial; }); },
            Qt::DirectConnection);
        QObject::connect(
            &station, &Station::attemptRecorded, &station,
            [this, note](const QString& serial, const QString& user, const QString& result) {
                note([&] { m_rows.push_back({serial, user, result}); });
            },
            Qt::DirectConnection);
        QObject::connect(
            &station, &Station::burnDone, &station, [this, note] { note([this] { ++m_burns; }); },
            Qt::DirectConnection);
        QObject::connect(
            &station, &Station::tokenDone, &station,
            [this, note](const TokenOutcome& outcome) {
                note([&] { m_outcomes.push_back(outcome); });
            },
            Qt::DirectConnection);
        QObject::connect(
            &station, &Station::tallyChanged, &station, [note] { note([] {}); },
            Qt::DirectConnection);
    }

    // Waits until condition holds (10 s at most); condition may read the
    // station and this probe.
    bool waitFor(const std::function<bool()>& condition)
    {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        std::unique_lock lock(m_lock);
        for (;;) {
            const uint64_t seen = m_version;
            lock.unlock();
            const bool met = condition();
            lock.lock();
            if (met)
                return true;
            if (!m_changed.wait_until(lock, deadline, [&] { return m_version != seen; }))
                return false;
        }
    }

    bool showsToken(const QString& serial)
    {
        return waitFor([&] { return m_station.texts().serialNumber == serial; });
    }
    bool showsNoToken()
    {
        return waitFor([&] {
            const TokenTexts texts = m_station.texts();
            return texts.serialNumber.isEmpty() && texts.tips == "Token or card not detected";
        });
    }

    std::vector<Row> rows() const
    {
        std::lock_guard lock(m_lock);
        return m_rows;
    }
    QStringList read() const
    {
        std::lock_guard lock(m_lock);
        return m_read;
    }
    std::vector<TokenOutcome> outcomes() const
    {
        std::lock_guard lock(m_lock);
        return m_outcomes;
    }
    int burns() const
    {
        std::lock_guard lock(m_lock);
        return m_burns;
    }

private:
    Station& m_station;
    mutable std::mutex m_lock;
    std::condition_variable m_changed;
    std::vector<Row> m_rows;
    std::vector<TokenOutcome> m_outcomes;
    QStringList m_read;
    int m_burns = 0;
    uint64_t m_version = 0; // counts what the station told
};

// An operator that can hold the station at a message until the test lets it
// go, as an operator who has not yet pressed OK does.
class HoldingOperator : public RecordingOperator
{
public:
    void showMessage(const QString& text, const QString& caption, MessageIcon icon) override
    {
        RecordingOperator::showMessage(text, caption, icon);
        std::unique_lock lock(m_holdLock);
        if (!m_holdNext)
            return;
        m_holdNext = false;
        m_held = true;
        m_holdChanged.notify_all();
        m_holdChanged.wait(lock, [this] { return !m_held; });
    }

    void holdNextMessage()
    {
        std::lock_guard lock(m_holdLock);
        m_holdNext = true;
    }
    bool waitUntilHeld()
    {
        std::unique_lock lock(m_holdLock);
        return m_holdChanged.wait_for(lock, std::chrono::seconds(10), [this] { return m_held; });
    }
    void release()
    {
        {
            std::lock_guard lock(m_holdLock);
            m_held = false;
        }
        m_holdChanged.notify_all();
    }

private:
    std::mutex m_holdLock;
    std::condition_variable m_holdChanged;
    bool m_holdNext = false;
    bool m_held = false;
};
