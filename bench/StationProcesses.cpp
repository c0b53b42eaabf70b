#include "StationProcesses.h"

#include "ChildProgram.h"
#include "Meters.h"
#include "PcscFixture.h"
#include "PostgresFixture.h"
#include "StationCommand.h"

#include <QTemporaryDir>
#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <map>
#include <thread>

namespace {

constexpr uint8_t kReadInfo = 0x41;
constexpr int kReadersPerStation = 2;
constexpr int kBareSlot = 6; // the fourth pair's first reader: the bare session's

// When each token's event line reached the bench, by serial number; filled
// by one thread per station process, each serving its own process's output
// so no process waits for another's to be read.
class EventTimes
{
public:
    void add(const QString& serial)
    {
        {
            std::lock_guard lock(m_lock);
            m_at[serial] = BenchClock::now();
        }
        m_changed.notify_all();
    }
    bool waitFor(const QStringList& serials)
    {
        std::unique_lock lock(m_lock);
        return m_changed.wait_for(lock, std::chrono::seconds(60), [&] {
            for (const QString& serial : serials)
                if (!m_at.count(serial))
                    return false;
            return true;
        });
    }
    BenchClock::time_point at(const QString& serial)
    {
        std::lock_guard lock(m_lock);
        return m_at.at(serial);
    }

private:
    std::mutex m_lock;
    std::condition_variable m_changed;
    std::map<QString, BenchClock::time_point> m_at;
};

struct Fleet
{
    PcscFixture& pcsc;
    PostgresFixture& postgres;
    QTemporaryDir& folder;
    int serial = 0;
};

QString Reader(const Fleet& fleet, int slot)
{
    return QString::fromStdString(fleet.pcsc.readerName(slot));
}

// The station's own time of every token programmed by `stations` processes
// at once over `rounds` rounds (a token on each reader per round): READ INFO
// to the token's event line, less a bare session's exchanges.
std::optional<std::vector<double>> OwnTimes(Fleet& fleet, int stations, int rounds)
{
    std::vector<std::unique_ptr<StationCommand>> processes;
    for (int station = 0; station < stations; ++station) {
        QStringList arguments{"program", "--auto"};
        for (int reader = 0; reader < kReadersPerStation; ++reader)
            arguments << "--reader" << Reader(fleet, kReadersPerStation * station + reader);
        arguments << "--journal" << fleet.postgres.connection() << "--seal-to"
                  << fleet.folder.filePath("cert.pem") << "--export"
                  << fleet.folder.filePath(QStringLiteral("data%1-%2").arg(stations).arg(station));
        processes.push_back(std::make_unique<StationCommand>(arguments));
        for (int reader = 0; reader < kReadersPerStation; ++reader)
            if (!processes.back()->waitForError(
                    "Watching " + Reader(fleet, kReadersPerStation * station + reader))) {
                std::fprintf(stderr, "a station did not start:\n%s\n",
                             qPrintable(processes.back()->errorText()));
                return std::nullopt;
            }
    }
    EventTimes times;
    std::atomic<bool> stop{false};
    std::vector<std::thread> collectors;
    for (auto& process : processes)
        collectors.emplace_back([&times, &stop, command = process.get()] {
            qsizetype seen = 0;
            while (!stop) {
                command->waitUntil([&] { return stop || command->events().size() > seen; });
                const QList<QJsonObject> events = command->events();
                for (; seen < events.size(); ++seen)
                    times.add(events[seen]["serial"].toString());
            }
        });

    std::vector<double> own;
    bool complete = true;
    for (int round = 0; round < rounds && complete; ++round) {
        const double bare = RunBareSession(fleet.pcsc.readerName(kBareSlot)).exchangesMs;
        const int readers = kReadersPerStation * stations;
        std::vector<std::shared_ptr<VirtualToken>> tokens(readers);
        QStringList serials;
        for (int slot = 0; slot < readers; ++slot) {
            VirtualTokenSettings settings;
            settings.serial = "PR" + std::to_string(++fleet.serial);
            tokens[slot] = std::make_shared<VirtualToken>(settings);
            serials << QString::fromStdString(settings.serial);
        }
        std::vector<std::thread> hands;
        for (int slot = 0; slot < readers; ++slot)
            hands.emplace_back([&, slot] { fleet.pcsc.insert(slot, tokens[slot]); });
        for (auto& hand : hands)
            hand.join();
        complete = times.waitFor(serials);
        for (int slot = 0; complete && slot < readers; ++slot)
            if (const auto read = FirstCommandAt(*tokens[slot], kReadInfo))
                own.push_back(Ms(times.at(serials[slot]) - *read) - bare);
        for (int slot = 0; slot < readers; ++slot)
            complete = fleet.pcsc.remove(slot) && complete;
    }
    // Each collector serves its process until the process ends; only then
    // is the process this thread's to finish.
    stop = true;
    for (auto& process : processes)
        process->interrupt();
    for (auto& collector : collectors)
        collector.join();
    for (auto& process : processes)
        process->finish();
    if (!complete) {
        std::fprintf(stderr, "tokens without an outcome:\n%s\n", fleet.pcsc.failure().c_str());
        return std::nullopt;
    }
    return own;
}

} // namespace

int RunStationProcesses(int rounds)
{
    PcscFixture pcsc(4); // first: before any PC/SC call or thread
    PostgresFixture postgres;
    QTemporaryDir folder;
    if (!pcsc.ok() || !postgres.ok()) {
        std::fprintf(stderr, "bench_auto_programming: no pcscd or PostgreSQL: %s %s\n",
                     pcsc.failure().c_str(), postgres.failure().c_str());
        return 1;
    }
    ChildProgram openssl(QStringLiteral("openssl"),
                         {"req", "-x509", "-nodes", "-newkey", "rsa:2048", "-subj", "/CN=fleet",
                          "-days", "30", "-keyout", folder.filePath("key.pem"), "-out",
                          folder.filePath("cert.pem")});
    if (openssl.run() != 0) {
        std::fprintf(stderr, "bench_auto_programming: no certificate\n");
        return 1;
    }
    Fleet fleet{pcsc, postgres, folder};
    const auto alone = OwnTimes(fleet, 1, rounds);
    const auto three = alone ? OwnTimes(fleet, 3, rounds) : std::nullopt;
    if (!three)
        return 1;
    std::printf("station program --auto, two readers each, PostgreSQL journal with sealing\n");
    std::printf("the station's own time per token (READ INFO -> its event, less a bare session's "
                "exchanges): one process alone: median %.2f ms (%zu tokens); three processes at "
                "once: median %.2f ms (%zu tokens); ratio %.2f\n",
                Median(*alone), alone->size(), Median(*three), three->size(),
                Median(*three) / Median(*alone));
    return 0;
}
