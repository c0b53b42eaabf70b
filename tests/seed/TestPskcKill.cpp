// A PSKC writer killed at random moments. A child process appends records to
// its own document, telling the parent over a pipe each record that append()
// reported written; the parent kills it with SIGKILL at a random moment of an
// append after the first ones, then checks the document: it validates, and python-pskc reads
// back exactly the first records, those reported written and at most the one
// being written at the kill. Plain and encrypted documents take turns.
//
// The temporary files of killed writers are removed by the next writer and
// by the next open of the export files (a killed CSV export's by the next
// export into its folder); a file of the same name that is not such a
// leftover is left alone.
//
// 20 kills here; STATION_KILL_ROUNDS sets another number (as for ExportKill).
// STATION_KILL_SEED repeats a run's moments (its seed is printed).
#include "PskcReaders.h"
#include "seed/ExportFiles.h"
#include "seed/PskcFile.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <random>
#include <sys/file.h>
#include <sys/stat.h>
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

// The names in folder of the writers' temporary files, links included.
QStringList Temporaries(const QString& folder)
{
    return QDir(folder).entryList({QStringLiteral(".Seed-*.pskc.xml.tmp-*")},
                                  QDir::AllEntries | QDir::Hidden | QDir::System);
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

// The next open of the export files in the folder removes the leftovers, and
// leaves alone every file of the same name pattern that is not one: another
// user's, a link, one with other rights, one a writer at work holds.
void ExpectOnlyLeftoversRemoved(const QString& folder)
{
    const QDir dir(folder);
    const auto plant = [&](const char* name, mode_t mode) {
        QFile file(dir.filePath(name));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("<KeyContainer/>");
        file.close();
        EXPECT_EQ(chmod(QFile::encodeName(file.fileName()).constData(), mode), 0);
        return file.fileName();
    };
    const QString theirs = plant(".Seed-2024-03-05-09-00-00.pskc.xml.tmp-a1", 0600);
    ASSERT_EQ(chown(QFile::encodeName(theirs).constData(), 4242, 4242), 0);
    const QString target = plant("Seed-2024-03-05-09-00-00.pskc.xml", 0600);
    ASSERT_TRUE(QFile::link(target, dir.filePath(".Seed-2024-03-05-09-00-00.pskc.xml.tmp-a2")));
    plant(".Seed-2024-03-05-09-00-00.pskc.xml.tmp-a3", 0644);
    const QString held = plant(".Seed-2024-03-05-09-00-00.pskc.xml.tmp-a4", 0600);
    const int writer = open(QFile::encodeName(held).constData(), O_WRONLY);
    ASSERT_GE(writer, 0);
    ASSERT_EQ(flock(writer, LOCK_EX), 0);
    const QStringList notLeftovers = Temporaries(folder).filter(QRegularExpression("-a[1-4]$"));
    ASSERT_EQ(notLeftovers.size(), 4);

    const QDateTime later(QDate(2024, 3, 5), QTime(10, 0));
    EXPECT_EQ(ExportFiles(folder).open(later), ExportFiles::OpenResult::Opened);
    EXPECT_EQ(Temporaries(folder), notLeftovers);
    EXPECT_TRUE(QFile::exists(target));

    // Once its writer is gone, the held one is a leftover as well.
    close(writer);
    EXPECT_EQ(ExportFiles(folder).open(later.addSecs(1)), ExportFiles::OpenResult::Opened);
    EXPECT_EQ(Temporaries(folder), notLeftovers.mid(0, 3));
}

// station export writes its CSV file in one go through a temporary file of
// the same pattern; a killed export leaves it, seeds in clear. The next
// export into that folder removes it with the same care, and its own file
// is written.
TEST(PskcKill, ExportRunRemovesTheCsvLeftoversOfAKilledExport)
{
    QTemporaryDir folder;
    ASSERT_TRUE(folder.isValid());
    const QDir dir(folder.path());
    struct Planted
    {
        const char* name;
        mode_t mode;
        bool othersUser;
        bool held;
        bool removed;
    };
    const Planted planted[] = {
        {".Seed-2024-03-05-09-00-00.hex.csv.tmp-b1", 0600, false, false, true},
        {".Seed-2024-03-05-09-00-00.azure.csv.tmp-b2", 0600, false, false, true},
        {".Seed-2024-03-05-09-00-00.b32.csv.tmp-b3", 0644, false, false, false},
        {".Seed-2024-03-05-09-00-00.b32.csv.tmp-b4", 0600, true, false, false},
        {".Seed-2024-03-05-09-00-00.hex.csv.tmp-b5", 0600, false, true, false},
        {".Seed-2024-03-05-09-00-00.hex.csv.tmpx-b6", 0600, false, false, false},
    };
    std::vector<int> writers;
    for (const Planted& p : planted) {
        QFile file(dir.filePath(p.name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("TK0001,3132333435363738393031323334353637383930\r\n");
        file.close();
        const QByteArray path = QFile::encodeName(file.fileName());
        ASSERT_EQ(chmod(path.constData(), p.mode), 0);
        if (p.othersUser) {
            ASSERT_EQ(chown(path.constData(), 4242, 4242), 0);
        }
        if (p.held) {
            writers.push_back(open(path.constData(), O_WRONLY));
            ASSERT_EQ(flock(writers.back(), LOCK_EX), 0);
        }
    }

    QString written;
    const std::vector<ExportRecord> records{{QString(), QStringLiteral("TK0002"),
                                             QStringLiteral("GEZDGNBVGY3TQOJQGEZDGNBVGY3TQOJQ"),
                                             30}};
    EXPECT_EQ(ExportFiles::WriteRun(folder.path(), QDateTime(QDate(2024, 3, 5), QTime(10, 0)),
                                    ExportFiles::File::Hex, records, written),
              QString());
    EXPECT_TRUE(QFile::exists(written));
    for (const Planted& p : planted)
        EXPECT_EQ(QFile::exists(dir.filePath(p.name)), !p.removed) << p.name;
    for (const int writer : writers)
        close(writer);
}

TEST(PskcKill, DocumentIsValidWithAPrefixOfTheRecordsAndNoLeftoverAfterAKillAtAnyMoment)
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
    int leftovers = 0;
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
        // The writer's first document removed what earlier kills left.
        const qsizetype left = Temporaries(folder).size();
        EXPECT_LE(left, 1) << Temporaries(folder).join(' ').toStdString();
        leftovers += int(left);
    }
    std::printf("%d kills; %d landed after a document was in place and before it was "
                "reported; %d left a temporary file\n",
                rounds, caughtWriting, leftovers);
    ExpectOnlyLeftoversRemoved(folder);
}

} // namespace
