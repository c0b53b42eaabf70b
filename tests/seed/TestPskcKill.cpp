// A PSKC writer killed at random moments. A child process appends records to
// its own document, telling the parent over a pipe each record that append()
// reported written; the parent kills it with SIGKILL at a random moment of an
// append after the first ones, then checks the document: it validates, and python-pskc reads
// back exactly the first records, those reported written and at most the one
// being written at the kill. Plain and encrypted documents take turns.
//
// 20 kills here; STATION_KILL_ROUNDS sets another number (as for ExportKill).
// STATION_KILL_SEED repeats a run's moments (its seed is printed).
#include "PskcReaders.h"
#include "seed/PskcFile.h"

#include <QJsonArray>
#include <QTemporaryDir>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <gtest/gtest.h>
#include <random>
#include <sys/wait.h>
#include <unistd.h>

namespace {

const char kKeyHex[] = "f0e1d2c3b4a5968778695a4b3c2d1e0f";
constexpr int kMaxRecords = 400;

// Record (round, index), the same in the child that writes it and in the
// parent that checks it. Long serial numbers make documents of tens of
// kilobytes, whose writes cross pages: a kill can then land inside one.
PskcRecord MakeRecord(int round, int index)
{
    ByteString seed(20 + index % 44);
    for (size_t i = 0; i < seed.size(); ++i)
        seed[i] = static_cast<uint8_t>(round * 131 + index * 7 + i * 13);
    const int padding = (round * 7919 + index * 104729) % 30000;
    return {QStringLiteral("K%1-%2-").arg(round).arg(index) + QString(padding, QLatin1Char('x')),
            std::move(seed), index % 2 ? "SHA256" : "SHA1", 6 + index % 3, 30 + index};
}

[[noreturn]] void WriteUntilKilled(const QString& path, bool encrypted, int round, int pipe)
{
    PskcFile file(path, encrypted ? ParsePskcKey(kKeyHex, nullptr) : std::nullopt);
    for (int index = 0; index < kMaxRecords; ++index) {
        if (!file.append(MakeRecord(round, index)).isEmpty())
            _exit(4);
        if (write(pipe, &index, sizeof index) != sizeof index)
            _exit(5);
    }
    _exit(6);
}

TEST(PskcKill, DocumentIsValidWithAPrefixOfTheRecordsAfterAKillAtAnyMoment)
{
    const char* roundsText = std::getenv("STATION_KILL_ROUNDS");
    const int rounds = roundsText ? std::atoi(roundsText) : 20;
    ASSERT_GT(rounds, 0);
    const char* seedText = std::getenv("STATION_KILL_SEED");
    const uint64_t seed = seedText ? std::strtoull(seedText, nullptr, 10) : std::random_device()();
    std::printf("STATION_KILL_SEED=%llu, %d rounds\n", static_cast<unsigned long long>(seed),
                rounds);
    std::mt19937_64 random(seed);

    QTemporaryDir dir;
    const QString folder = dir.filePath("Data");
    int caughtWriting = 0;
    for (int round = 0; round < rounds; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        const bool encrypted = round % 2 == 1;
        const QString path =
            PskcFile::PathFor(folder, QDateTime(QDate(2024, 3, 5), QTime(8, 0)).addSecs(round));
        int fds[2];
        ASSERT_EQ(pipe(fds), 0);
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            close(fds[0]);
            WriteUntilKilled(path, encrypted, round, fds[1]);
        }
        close(fds[1]);

        // After 2 to 5 records reported written, at a random moment of the
        // next append: up to 1.25 times as long as the last one took (its
        // syncs take milliseconds), so kills land in every step of it, the
        // rename and the folder's sync included. A busy wait, no sleep:
        // nothing waits on time.
        const int before = 2 + int(random() % 4);
        int reported = 0, index = -1;
        auto last = std::chrono::steady_clock::now();
        std::chrono::steady_clock::duration appendTime{};
        for (; reported < before; ++reported) {
            if (read(fds[0], &index, sizeof index) != sizeof index)
                break;
            const auto now = std::chrono::steady_clock::now();
            appendTime = now - last;
            last = now;
        }
        ASSERT_EQ(reported, before) << "the writer ended by itself";
        const auto moment =
            last + appendTime * std::uniform_real_distribution<double>(0, 1.25)(random);
        while (std::chrono::steady_clock::now() < moment) {
        }
        kill(child, SIGKILL);
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        while (read(fds[0], &index, sizeof index) == sizeof index)
            ++reported;
        close(fds[0]);
        ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL)
            << "the writer ended by itself, status " << status;

        EXPECT_TRUE(PskctoolValidates(path));
        QJsonObject read;
        ASSERT_TRUE(ReadWithPythonPskc(path, encrypted ? kKeyHex : "", read));
        const int inFile = static_cast<int>(read.value("keys").toArray().size());
        EXPECT_GE(inFile, reported) << "a record reported written is not in the document";
        EXPECT_LE(inFile, reported + 1);
        caughtWriting += inFile > reported;
        std::vector<PskcRecord> expected;
        for (int i = 0; i < inFile; ++i)
            expected.push_back(MakeRecord(round, i));
        ExpectReadHolds(read, expected, encrypted ? kKeyHex : "",
                        encrypted ? "Pre-shared-key" : "");
    }
    std::printf("%d kills; %d landed after a document was in place and before it was "
                "reported\n",
                rounds, caughtWriting);
}

} // namespace
