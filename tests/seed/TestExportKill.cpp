// A record writer killed at random moments. A child process opens the export
// files (the same names every round, as a station restarted within the same
// second would) and appends records without end, telling the parent over a
// pipe each record that append reported in all three files. The parent kills
// it with SIGKILL at a random moment, then checks all three files: every
// record reported saved is there whole, every other line is a record or a
// torn piece of one that was ended (CR LF) before the next, never two records
// glued together. The moments are random; the check holds every time.
//
// 50 kills here; STATION_KILL_ROUNDS=1000 for more (README, Tests).
// STATION_KILL_SEED repeats a run's moments (its seed is printed).
#include "QtPrinters.h"
#include "seed/Base32.h"
#include "seed/ExportFiles.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <gtest/gtest.h>
#include <random>
#include <set>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

const QDateTime kStart(QDate(2024, 3, 5), QTime(8, 7, 6));
constexpr int kKeyLength = 11; // "K0001-00002"
constexpr int kMaxRecordsPerRound = 100000;

uint64_t Mix(uint64_t x)
{
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

QString Key(int round, int index)
{
    return QStringLiteral("K%1-%2")
        .arg(round, 4, 10, QLatin1Char('0'))
        .arg(index, 5, 10, QLatin1Char('0'));
}

// Record (round, index), the same in the child that writes it and in the
// parent that checks it. The user name begins with the key, so every line of
// every file begins with it; long names make writes that cross pages.
ExportRecord MakeRecord(int round, int index)
{
    const uint64_t h = Mix(uint64_t(round) << 32 | uint32_t(index));
    uint8_t seed[20];
    for (size_t i = 0; i < sizeof seed; ++i)
        seed[i] = uint8_t(Mix(h + i));
    const int nameLength = int(h % 24000) + 1;
    const QString name =
        Key(round, index) + QLatin1Char('.') + QString(nameLength, QLatin1Char('a' + h % 26));
    return {name, Key(round, index), QString::fromStdString(EncodeBase32Groups(seed, sizeof seed)),
            h % 2 ? 30 : 60};
}

// The child: appends records until it is killed; writes the index of each
// record reported in all three files to the pipe. Never returns.
[[noreturn]] void WriteUntilKilled(const QString& folder, int round, int pipe)
{
    ExportFiles files(folder);
    if (files.open(kStart) != ExportFiles::OpenResult::Opened)
        _exit(3);
    for (int index = 0; index < kMaxRecordsPerRound; ++index) {
        if (!files.append(MakeRecord(round, index)).isEmpty())
            _exit(4);
        if (write(pipe, &index, sizeof index) != sizeof index)
            _exit(5);
    }
    _exit(6);
}

// The record's line in one file (0 azure, 1 b32, 2 hex), without its LF: the
// design's layout, written out here once more.
QByteArray LineOf(const ExportRecord& record, int file)
{
    const QByteArray serial = record.serialNumber.toLatin1(), seed = record.seedText.toLatin1();
    if (file == 0)
        return record.userName.toLatin1() + ',' + serial + ',' + seed + ',' +
               QByteArray::number(record.timeStep) + ",Morvane,Zentoka\r";
    if (file == 1)
        return serial + ',' + seed + '\r';
    uint8_t bytes[64];
    const int32_t count = Base32ToBytes(seed.constData(), bytes, sizeof bytes);
    return serial + ',' +
           QByteArray(reinterpret_cast<const char*>(bytes), count).toHex().toUpper() + '\r';
}

bool LooksLikeKeyPrefix(const QByteArray& piece)
{
    static const QByteArray pattern = "K0000-00000";
    for (qsizetype i = 0; i < piece.size(); ++i) {
        const bool digit = pattern[i] == '0';
        if (digit ? !(piece[i] >= '0' && piece[i] <= '9') : piece[i] != pattern[i])
            return false;
    }
    return true;
}

// Every line of one file: a whole record, or a torn piece of one that was
// ended with CR LF; the last piece (after the last LF) may be torn, unended.
// Returns the keys of the whole records.
std::set<std::pair<int, int>> CheckFile(const QByteArray& contents, int file, int rounds, int& torn)
{
    std::set<std::pair<int, int>> whole;
    QList<QByteArray> lines = contents.split('\n');
    const QByteArray tail = lines.takeLast();
    if (file == 0) {
        EXPECT_FALSE(lines.isEmpty());
        if (lines.isEmpty())
            return whole;
        EXPECT_EQ(lines.takeFirst(),
                  "UPN,Serial Number,Secret Key,Time Interval,Manufacturer,Model\r");
    }
    auto check = [&](const QByteArray& line, bool ended) {
        // An ended torn piece carries the CR of the line end written after it.
        const QByteArray piece = ended && line.endsWith('\r') ? line.chopped(1) : line;
        if (piece.size() < kKeyLength) {
            ++torn;
            EXPECT_TRUE(LooksLikeKeyPrefix(piece)) << "file " << file << ": " << line.toStdString();
            return;
        }
        const int round = piece.mid(1, 4).toInt();
        const int index = piece.mid(6, 5).toInt();
        ASSERT_TRUE(LooksLikeKeyPrefix(piece.left(kKeyLength)) && round < rounds)
            << "file " << file << ": a line that is no record: " << line.left(80).toStdString();
        const QByteArray full = LineOf(MakeRecord(round, index), file);
        if (ended && line == full) {
            whole.insert({round, index});
            return;
        }
        // Torn: what is there is the start of the record and nothing else.
        ++torn;
        EXPECT_TRUE(full.startsWith(piece) && piece.size() < full.size())
            << "file " << file << ": record " << round << "/" << index
            << " torn and glued to another: " << line.left(40).toStdString() << "..."
            << line.right(60).toStdString();
    };
    for (const QByteArray& line : lines)
        check(line, true);
    if (!tail.isEmpty())
        check(tail, false);
    return whole;
}

TEST(ExportKill, RecordsReportedSavedSurviveAKillAtAnyMoment)
{
    const char* roundsText = std::getenv("STATION_KILL_ROUNDS");
    const int rounds = roundsText ? std::atoi(roundsText) : 50;
    ASSERT_GT(rounds, 0);
    ASSERT_LT(rounds, 10000);
    const char* seedText = std::getenv("STATION_KILL_SEED");
    const uint64_t seed = seedText ? std::strtoull(seedText, nullptr, 10) : std::random_device()();
    std::printf("STATION_KILL_SEED=%llu, %d rounds\n", static_cast<unsigned long long>(seed),
                rounds);
    std::mt19937_64 random(seed);

    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("Data"));
    std::set<std::pair<int, int>> saved;
    int torn = 0;
    for (int round = 0; round < rounds; ++round) {
        int fds[2];
        ASSERT_EQ(pipe(fds), 0);
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            close(fds[0]);
            WriteUntilKilled(folder, round, fds[1]);
        }
        close(fds[1]);

        // The moment: after 0 to 3 records reported saved, and a random
        // stretch of work into the next one (no sleep: nothing waits on time).
        const int before = int(random() % 4);
        int index = -1;
        bool childEnded = false;
        for (int n = 0; n < before; ++n) {
            if (read(fds[0], &index, sizeof index) != sizeof index) {
                childEnded = true;
                break;
            }
            saved.insert({round, index});
        }
        volatile uint64_t spin = random() % 3'000'000;
        while (spin > 0)
            spin = spin - 1;
        kill(child, SIGKILL);
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        while (read(fds[0], &index, sizeof index) == sizeof index)
            saved.insert({round, index});
        close(fds[0]);
        ASSERT_FALSE(childEnded) << "the writer ended by itself, status " << status;
        ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL)
            << "the writer ended by itself, status " << status;
    }

    const QString stem = QDir(folder).filePath(ExportFiles::FileStem(kStart));
    const char* suffixes[] = {".azure.csv", ".b32.csv", ".hex.csv"};
    for (int file = 0; file < 3; ++file) {
        SCOPED_TRACE(suffixes[file]);
        QFile f(stem + QLatin1String(suffixes[file]));
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        const QByteArray contents = f.readAll();
        const std::set<std::pair<int, int>> whole = CheckFile(contents, file, rounds, torn);
        for (const auto& record : saved)
            EXPECT_TRUE(whole.count(record)) << "record " << record.first << "/" << record.second
                                             << " was reported saved and is not whole in the file";
    }
    std::printf("%zu records reported saved over %d kills; %d torn lines, each ended alone\n",
                saved.size(), rounds, torn);
}

} // namespace
