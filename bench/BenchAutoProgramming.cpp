// Auto-programming's speed: per token, the station's own time beyond the
// token's exchanges, from the token's first command (READ INFO) to its
// records on disk; and four readers programming a token each at once
// against one reader programming one.
//
//   build/release/bench/bench_auto_programming [ROUNDS] [JOURNAL]
//
// JOURNAL: none (the default), sqlite (journal.sqlite beside the records),
// postgres (a private PostgreSQL 15 cluster on a Unix socket) or
// postgres-sealed (the same, each seed sealed to an RSA 2048 certificate).
// processes: three `station program --auto` processes at once against one
// alone instead (StationProcesses.h).
#include "Meters.h"
#include "PcscFixture.h"
#include "PostgresFixture.h"
#include "RecordingOperator.h"
#include "StationProcesses.h"
#include "engine/Station.h"
#include "engine/StationKey.h"
#include "journal/JournalFiles.h"
#include "journal/PostgresJournal.h"
#include "journal/SeedSeal.h"
#include "journal/SqliteJournal.h"
#include "token/TokenSession.h"

#include <QCoreApplication>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <thread>

namespace {

using Clock = BenchClock;

// Waits for each station's outcomes, on the stations' threads.
class Outcomes
{
public:
    void add(int slot)
    {
        {
            std::lock_guard lock(m_lock);
            ++m_done[slot];
            m_at[slot] = Clock::now();
        }
        m_changed.notify_all();
    }
    bool waitFor(int slot, int count)
    {
        std::unique_lock lock(m_lock);
        return m_changed.wait_for(lock, std::chrono::seconds(20),
                                  [&] { return m_done[slot] >= count; });
    }
    Clock::time_point at(int slot)
    {
        std::lock_guard lock(m_lock);
        return m_at[slot];
    }

private:
    std::mutex m_lock;
    std::condition_variable m_changed;
    int m_done[4] = {};
    Clock::time_point m_at[4];
};

int Fail(const char* what, const PcscFixture& pcsc)
{
    std::fprintf(stderr, "bench_auto_programming: %s\n%s\n", what, pcsc.failure().c_str());
    return 1;
}

} // namespace

int main(int argc, char** argv)
{
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 21;
    if (argc > 2 && std::strcmp(argv[2], "processes") == 0)
        return RunStationProcesses(rounds);
    PcscFixture pcsc(3); // readers 0-3 program; reader 4 holds the bare run's token
    if (!pcsc.ok())
        return Fail("no private pcscd", pcsc);
    const std::string journalKind = argc > 2 ? argv[2] : "none";
    QCoreApplication app(argc, argv);
    RecordingOperator op;
    QTemporaryDir data;
    ExportFiles exports(data.path());
    std::unique_ptr<PostgresFixture> postgres;
    std::unique_ptr<ProgrammingJournal> journal;
    std::unique_ptr<SeedSeal> seal;
    if (journalKind == "sqlite") {
        auto opened = SqliteJournal::open(JournalDatabasePath(data.path()));
        if (!opened.ok())
            return Fail("no SQLite journal", pcsc);
        journal = std::move(opened).value();
    } else if (journalKind.rfind("postgres", 0) == 0) {
        postgres = std::make_unique<PostgresFixture>();
        auto opened = PostgresJournal::open(postgres->connection(), QStringLiteral("bench"));
        if (!postgres->ok() || !opened.ok())
            return Fail("no PostgreSQL journal", pcsc);
        journal = std::move(opened).value();
        if (journalKind == "postgres-sealed") {
            QProcess openssl;
            openssl.start(QStringLiteral("openssl"),
                          {"req", "-x509", "-nodes", "-newkey", "rsa:2048", "-subj", "/CN=fleet",
                           "-days", "30", "-keyout", data.filePath("key.pem"), "-out",
                           data.filePath("cert.pem")});
            openssl.waitForFinished(-1);
            auto loaded = SeedSeal::load(data.filePath("cert.pem"));
            if (!loaded.ok())
                return Fail("no certificate", pcsc);
            seal = std::move(loaded).value();
        }
    }
    Outcomes outcomes;
    std::vector<std::unique_ptr<Station>> stations;
    AutoProgramming settings;
    std::strcpy(settings.timing.algorithmName, "SHA1");
    settings.holdOnFailure = false;
    for (int slot = 0; slot < 4; ++slot) {
        stations.push_back(std::make_unique<Station>(QString::fromStdString(pcsc.readerName(slot)),
                                                     g_customerKey, op, exports));
        QObject::connect(
            stations.back().get(), &Station::tokenDone, stations.back().get(),
            [&outcomes, slot](const TokenOutcome&) { outcomes.add(slot); }, Qt::DirectConnection);
        stations.back()->setJournal(journal.get());
        stations.back()->setSeedSeal(seal.get());
        stations.back()->start();
    }
    // Past each station's first look, so the tokens count as presented.
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    for (auto& station : stations)
        station->setAutoProgramming(settings);

    if (!pcsc.insert(4, std::make_shared<VirtualToken>()))
        return Fail("insert", pcsc);
    std::vector<double> beyond, bare, one, four;
    int serial = 0;
    auto present = [&](int slot) {
        VirtualTokenSettings token;
        token.serial = "BA" + std::to_string(++serial);
        auto made = std::make_shared<VirtualToken>(token);
        return pcsc.insert(slot, made) ? made : nullptr;
    };
    int done[4] = {};
    for (int round = 0; round < rounds; ++round) {
        // One reader, one token.
        const auto start = Clock::now();
        auto token = present(0);
        if (!token || !outcomes.waitFor(0, ++done[0]))
            return Fail("no outcome", pcsc);
        one.push_back(Ms(outcomes.at(0) - start));
        if (const auto read = FirstCommandAt(*token, 0x41))
            beyond.push_back(Ms(outcomes.at(0) - *read));
        if (!pcsc.remove(0))
            return Fail("remove", pcsc);
        bare.push_back(RunBareSession(pcsc.readerName(4)).exchangesMs);

        // Four readers, a token each, presented at once.
        const auto all = Clock::now();
        std::vector<std::thread> hands;
        std::vector<std::shared_ptr<VirtualToken>> tokens(4);
        for (int slot = 0; slot < 4; ++slot)
            hands.emplace_back([&, slot] { tokens[slot] = present(slot); });
        for (auto& hand : hands)
            hand.join();
        Clock::time_point last = all;
        for (int slot = 0; slot < 4; ++slot) {
            if (!tokens[slot] || !outcomes.waitFor(slot, ++done[slot]))
                return Fail("no outcome on four readers", pcsc);
            last = std::max(last, outcomes.at(slot));
        }
        four.push_back(Ms(last - all));
        for (int slot = 0; slot < 4; ++slot)
            if (!pcsc.remove(slot))
                return Fail("remove", pcsc);
    }
    std::vector<double> added;
    for (size_t i = 0; i < beyond.size() && i < bare.size(); ++i)
        added.push_back(beyond[i] - bare[i]);
    std::printf("journal: %s\n", journalKind.c_str());
    std::printf("per token, READ INFO -> records on disk: median %.2f ms; the same exchanges "
                "bare: median %.2f ms; the station's own time: median %.2f ms (%zu tokens)\n",
                Median(beyond), Median(bare), Median(added), added.size());
    std::printf("presented -> records on disk, one reader: median %.2f ms; four readers at once: "
                "median %.2f ms; ratio %.2f (%d rounds)\n",
                Median(one), Median(four), Median(four) / Median(one), rounds);
    for (auto& station : stations)
        station->stopAndWait();
    return 0;
}
