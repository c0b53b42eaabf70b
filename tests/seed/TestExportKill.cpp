// A record writer killed at random moments. A child process opens the export
// files (the same names every round, as a station restarted within the same
// second would) and appends records without end, telling the parent over a
// pipe each record that append reported in all three files. The parent kills
// it with SIGKILL at a random moment, or (every other round) lets it die of
// the file size limit at a random byte of a line, which tears that line
// every time. After the last kill the station opens the files once more and
// appends a record. Then every record reported saved is whole in all three
// files, and every line of them is a whole record: the torn line of each
// killed writer was cut off, never ended, never glued to the next. The only
// line not reported is that of the record being written at the kill, whole
// in the files written before it. The moments are random; the check holds
// every time.
//
// 50 kills here; STATION_KILL_ROUNDS=1000 for more (README, Tests).
// STATION_KILL_SEED repeats a run's moments (its seed is printed).
#include "QtPrinters.h"
#include "seed/Base32.h"
#include "seed/ExportFiles.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <gtest/gtest.h>
#include <numeric>
#include <random>
#include <set>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
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
// parent that checks it. The user name and the serial number begin with the
// key, so every line of every file begins with it; long ones make writes of
// many pages, so that a kill can land inside one.
ExportRecord MakeRecord(int round, int index)
{
    const uint64_t h = Mix(uint64_t(round) << 32 | uint32_t(index));
    uint8_t seed[20];
    for (size_t i = 0; i < sizeof seed; ++i)
        seed[i] = uint8_t(Mix(h + i));
    const QString name =
        Key(round, index) + QLatin1Char('.') + QString(int(h % 24000), QLatin1Char('a' + h % 26));
    const QString serial =
        Key(round, index) + QLatin1Char('.') + QString(int((h >> 32) % 6000), QLatin1Char('s'));
    return {name, serial, QString::fromStdString(EncodeBase32Groups(seed, sizeof seed)),
            h % 2 ? 30 : 60};
}

// The child: appends records until it is killed; writes the index of each
// record reported in all three files to the pipe. With a size limit, it dies
// of the write that takes a file past it (SIGXFSZ, as from the system), after
// that write put the line's first bytes in the file. Never returns.
[[noreturn]] void WriteUntilKilled(const QString& folder, int round, int pipe, rlim_t sizeLimit)
{
    if (sizeLimit > 0) {
        const rlimit noCore{0, 0};
        const rlimit limit{sizeLimit, sizeLimit};
        if (setrlimit(RLIMIT_CORE, &noCore) != 0 || setrlimit(RLIMIT_FSIZE, &limit) != 0 ||
            std::signal(SIGXFSZ, SIG_DFL) == SIG_ERR)
            _exit(7);
    }
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

qint64 FileSize(const QByteArray& path)
{
    struct stat info
    {};
    return ::stat(path.constData(), &info) == 0 ? info.st_size : -1;
}

// The bytes after the file's last LF: the line a killed writer tore. Read
// from the end: the file holds every round's records.
QByteArray TornTail(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return "(cannot be read)";
    QByteArray tail;
    for (qint64 end = file.size(); end > 0;) {
        const qint64 start = std::max<qint64>(0, end - 65536);
        file.seek(start);
        const QByteArray block = file.read(end - start);
        const qsizetype lineEnd = block.lastIndexOf('\n');
        tail.prepend(block.mid(lineEnd + 1));
        if (lineEnd >= 0)
            break;
        end = start;
    }
    return tail;
}

// Every line of one file is a whole record, and the file ends with a line
// end: a piece of a record is never left to be read as one. A line may only
// be a record reported saved or the one being written at the kill (whole in
// this file, the kill came before the others); each is there once. Returns
// the whole records.
std::set<std::pair<int, int>> CheckFile(const QByteArray& contents, int file,
                                        const std::vector<int>& reported, int& inFlight)
{
    std::set<std::pair<int, int>> whole;
    QList<QByteArray> lines = contents.split('\n');
    EXPECT_EQ(lines.takeLast(), QByteArray()) << "file " << file << " ends with a torn line";
    if (file == 0) {
        EXPECT_FALSE(lines.isEmpty());
        if (lines.isEmpty())
            return whole;
        EXPECT_EQ(lines.takeFirst(),
                  "UPN,Serial Number,Secret Key,Time Interval,Manufacturer,Model\r");
    }
    for (const QByteArray& line : lines) {
        const int round = line.mid(1, 4).toInt();
        const int index = line.mid(6, 5).toInt();
        const bool known = line.size() > kKeyLength && line.startsWith('K') &&
                           round < int(reported.size()) && line.mid(5, 1) == "-";
        EXPECT_TRUE(known) << "file " << file
                           << ": a line that is no record: " << line.left(80).toStdString();
        if (!known)
            continue;
        EXPECT_EQ(line, LineOf(MakeRecord(round, index), file))
            << "file " << file << ": record " << round << "/" << index
            << " is not whole: " << line.left(40).toStdString() << "..."
            << line.right(60).toStdString();
        EXPECT_LE(index, reported[round])
            << "file " << file << ": record " << round << "/" << index
            << " was never written (the child reported " << reported[round] << ")";
        EXPECT_TRUE(whole.insert({round, index}).second)
            << "file " << file << ": record " << round << "/" << index << " twice";
        inFlight += index == reported[round];
    }
    return whole;
}

TEST(ExportKill, RecordsReportedSavedSurviveAKillAtAnyMomentAndNoPieceIsLeft)
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
    const QString stem = QDir(folder).filePath(ExportFiles::FileStem(kStart));
    const char* suffixes[] = {".azure.csv", ".b32.csv", ".hex.csv"};
    // Records reported saved per round, and one more round: the station
    // started once more after the last kill.
    std::vector<int> reported(size_t(rounds) + 1, 0);
    // Where the azure file's whole lines end, after each kill.
    qint64 azureEnd = qint64(std::strlen(kExportAzureHeader));
    int tornTails = 0;
    for (int round = 0; round < rounds; ++round) {
        // The moment: after 1 to 4 records reported saved, in the next
        // append. Even rounds: SIGKILL at a random moment of it, up to 1.25
        // times as long as the last one took, so kills land in every step
        // (a busy wait: nothing waits on time); few land inside a write, the
        // syncs take far longer. Odd rounds: the writer dies inside its write
        // of the azure line, at a random byte of it (the file size limit
        // stops the write there): every one of them leaves a torn line.
        const int before = 1 + int(random() % 4);
        const bool tearing = round % 2 == 1;
        qint64 limit = azureEnd;
        for (int index = 0; index < before; ++index)
            limit += LineOf(MakeRecord(round, index), 0).size() + 1;
        const qint64 line = LineOf(MakeRecord(round, before), 0).size() + 1;
        limit += 1 + qint64(random() % uint64_t(line - 1));

        int fds[2];
        ASSERT_EQ(pipe(fds), 0);
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            close(fds[0]);
            WriteUntilKilled(folder, round, fds[1], tearing ? rlim_t(limit) : 0);
        }
        close(fds[1]);

        int index = -1;
        bool childEnded = false;
        auto last = std::chrono::steady_clock::now();
        std::chrono::steady_clock::duration appendTime{};
        for (int n = 0; n < before; ++n) {
            if (read(fds[0], &index, sizeof index) != sizeof index) {
                childEnded = true;
                break;
            }
            ++reported[round];
            const auto now = std::chrono::steady_clock::now();
            appendTime = now - last;
            last = now;
        }
        if (!tearing) {
            const auto moment =
                last + appendTime * std::uniform_real_distribution<double>(0, 1.25)(random);
            while (std::chrono::steady_clock::now() < moment) {
            }
            kill(child, SIGKILL);
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        while (read(fds[0], &index, sizeof index) == sizeof index)
            ++reported[round];
        close(fds[0]);
        ASSERT_FALSE(childEnded) << "the writer ended by itself, status " << status;
        ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == (tearing ? SIGXFSZ : SIGKILL))
            << "the writer ended by itself, status " << status;
        if (tearing) {
            EXPECT_EQ(FileSize(QFile::encodeName(stem + QLatin1String(suffixes[0]))), limit)
                << "the writer died elsewhere than inside the azure line";
        }
        for (const char* suffix : suffixes)
            tornTails += !TornTail(stem + QLatin1String(suffix)).isEmpty();
        azureEnd = FileSize(QFile::encodeName(stem + QLatin1String(suffixes[0]))) -
                   TornTail(stem + QLatin1String(suffixes[0])).size();
    }

    ExportFiles last(folder);
    ASSERT_EQ(last.open(kStart), ExportFiles::OpenResult::Opened);
    ASSERT_TRUE(last.append(MakeRecord(rounds, 0)).isEmpty());
    reported[rounds] = 1;

    int inFlight = 0;
    for (int file = 0; file < 3; ++file) {
        SCOPED_TRACE(suffixes[file]);
        QFile f(stem + QLatin1String(suffixes[file]));
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        const std::set<std::pair<int, int>> whole =
            CheckFile(f.readAll(), file, reported, inFlight);
        for (int round = 0; round <= rounds; ++round)
            for (int index = 0; index < reported[round]; ++index)
                EXPECT_TRUE(whole.count({round, index}))
                    << "record " << round << "/" << index
                    << " was reported saved and is not whole in the file";
    }
    const int saved = std::accumulate(reported.begin(), reported.end(), 0);
    std::printf("%d records reported saved over %d kills; %d torn lines cut off; %d lines of a "
                "record whole in its file when its writer was killed\n",
                saved, rounds, tornTails, inFlight);
}

} // namespace
