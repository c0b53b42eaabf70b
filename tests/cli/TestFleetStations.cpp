// A fleet of stations on one journal: `station program` processes on a
// private pcscd's readers and a private PostgreSQL server, their seeds sealed
// to the fleet's certificate, and `station export` reading them back.
#include "ChildProgram.h"
#include "CommandLineTokens.h"
#include "FleetKey.h"
#include "PcscFixture.h"
#include "PostgresFixture.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <map>

namespace {

class FleetStationsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(pcsc.ok()) << pcsc.failure();
        ASSERT_TRUE(postgres.ok()) << postgres.failure();
        ASSERT_TRUE(folder.isValid());
        ASSERT_EQ(MakeFleetKey(folder.path()), QString());
    }

    QString path(const QString& name) const { return folder.filePath(name); }
    QString reader(int slot) const { return QString::fromStdString(pcsc.readerName(slot)); }

    // station program --auto on these readers, into the fleet's journal (or
    // the one named), sealing.
    QStringList program(const QList<int>& readerSlots, const QString& dataFolder,
                        const QString& journal = {}) const
    {
        QStringList arguments{"program", "--auto"};
        for (const int slot : readerSlots)
            arguments << "--reader" << reader(slot);
        return arguments +
               QStringList{"--journal", journal.isEmpty() ? postgres.connection() : journal,
                           "--seal-to", path("cert.pem"),
                           "--export",  dataFolder};
    }

    // serial number -> seed bytes, as station export delivers them (b32)
    // from the fleet's journal (or the one named).
    std::map<QString, std::vector<uint8_t>> exported(const QString& name,
                                                     const QString& journal = {})
    {
        std::map<QString, std::vector<uint8_t>> seeds;
        const QString out = path(name);
        StationCommand exporter({"export", "--journal",
                                 journal.isEmpty() ? postgres.connection() : journal, "--key",
                                 path("key.pem"), "--format", "b32", "--out", out});
        EXPECT_EQ(exporter.finish(), 0) << exporter.errorText().toStdString();
        const QStringList files = QDir(out).entryList({"*.b32.csv"}, QDir::Files);
        EXPECT_EQ(files.size(), 1);
        if (files.size() != 1)
            return seeds;
        QFile file(QDir(out).filePath(files.first()));
        EXPECT_TRUE(file.open(QIODevice::ReadOnly));
        for (const QString& line :
             QString::fromUtf8(file.readAll()).split("\r\n", Qt::SkipEmptyParts))
            seeds[line.section(',', 0, 0)] = SeedBytes(line.section(',', 1));
        return seeds;
    }

    // "programmed|writing|other" counts of the journal's rows.
    QString rowStates()
    {
        const auto counted = postgres.psql(
            "SELECT count(*) FILTER (WHERE state = 'programmed') || '|' || count(*) FILTER "
            "(WHERE state = 'writing') || '|' || count(*) FILTER (WHERE state NOT IN "
            "('programmed', 'writing')) FROM attempts");
        EXPECT_TRUE(counted) << postgres.failure();
        return counted.value_or(QString());
    }

    PcscFixture pcsc{3}; // first: before any PC/SC call or thread
    PostgresFixture postgres;
    QTemporaryDir folder;
};

// Three stations, two readers each, program 60 tokens into one server: each
// token's seed comes back from the vault, and no row is left writing.
TEST_F(FleetStationsTest, ThreeStationsProgramSixtyTokensIntoOneVault)
{
    std::vector<std::unique_ptr<StationCommand>> stations;
    for (int station = 0; station < 3; ++station) {
        stations.push_back(std::make_unique<StationCommand>(
            program({2 * station, 2 * station + 1}, path(QStringLiteral("data%1").arg(station)))));
        for (const int slot : {2 * station, 2 * station + 1})
            ASSERT_TRUE(stations.back()->waitForError("Watching " + reader(slot)))
                << stations.back()->errorText().toStdString();
    }
    std::map<QString, std::shared_ptr<VirtualToken>> tokens;
    for (int round = 0; round < 10; ++round) {
        for (int slot = 0; slot < 6; ++slot) {
            const std::string serial = "FL" + std::to_string(1000 + 6 * round + slot);
            auto token = Token(serial);
            tokens[QString::fromStdString(serial)] = token;
            ASSERT_TRUE(pcsc.insert(slot, token)) << pcsc.failure();
        }
        for (auto& station : stations)
            ASSERT_TRUE(station->waitForEvents(2 * (round + 1)))
                << station->errorText().toStdString();
        for (int slot = 0; slot < 6; ++slot)
            ASSERT_TRUE(pcsc.remove(slot)) << pcsc.failure();
    }
    for (auto& station : stations) {
        station->interrupt();
        EXPECT_EQ(station->finish(), 0) << station->errorText().toStdString();
    }

    const auto seeds = exported(QStringLiteral("export"));
    ASSERT_EQ(seeds.size(), 60u);
    for (const auto& [serial, token] : tokens) {
        ASSERT_EQ(seeds.count(serial), 1u) << serial.toStdString();
        EXPECT_FALSE(token->state().seed.empty());
        EXPECT_EQ(seeds.at(serial), token->state().seed) << serial.toStdString();
    }
    EXPECT_EQ(rowStates(), QStringLiteral("60|0|0"));
}

// Sealing is the journal's, whichever it is: a token programmed through
// the station into the server or into a SQLite file comes back out of that
// journal's vault with the seed the token holds.
TEST_F(FleetStationsTest, SealedSeedIsExportedFromEitherJournal)
{
    const struct
    {
        const char* name;
        const char* serial;
        QString journal;
    } cases[] = {
        {"postgresql", "SEAL0001", postgres.connection()},
        {"sqlite", "SEAL0002", path("station.sqlite")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        StationCommand station(program({0}, path(QStringLiteral("data-") + c.name), c.journal));
        ASSERT_TRUE(station.waitForError("Watching " + reader(0)))
            << station.errorText().toStdString();
        auto token = Token(c.serial);
        ASSERT_TRUE(pcsc.insert(0, token)) << pcsc.failure();
        ASSERT_TRUE(station.waitForEvents(1)) << station.errorText().toStdString();
        ASSERT_TRUE(pcsc.remove(0)) << pcsc.failure();
        station.interrupt();
        EXPECT_EQ(station.finish(), 0) << station.errorText().toStdString();

        const auto seeds = exported(QStringLiteral("export-") + c.name, c.journal);
        const QString serial = QString::fromLatin1(c.serial);
        ASSERT_EQ(seeds.count(serial), 1u);
        EXPECT_FALSE(token->state().seed.empty());
        EXPECT_EQ(seeds.at(serial), token->state().seed);
    }
}

// The same serial number presented to two stations at once: exactly one
// programs it; the other refuses and says why.
TEST_F(FleetStationsTest, OneSerialAtTwoStationsIsProgrammedOnce)
{
    StationCommand first(program({0}, path("data0")));
    StationCommand second(program({2}, path("data1")));
    ASSERT_TRUE(first.waitForError("Watching " + reader(0)));
    ASSERT_TRUE(second.waitForError("Watching " + reader(2)));
    auto one = Token("TWIN0001");
    auto other = Token("TWIN0001");
    ASSERT_TRUE(pcsc.insert(0, one)) << pcsc.failure();
    ASSERT_TRUE(pcsc.insert(2, other)) << pcsc.failure();
    ASSERT_TRUE(first.waitForEvents(1)) << first.errorText().toStdString();
    ASSERT_TRUE(second.waitForEvents(1)) << second.errorText().toStdString();

    const QString results =
        first.events()[0]["result"].toString() + "," + second.events()[0]["result"].toString();
    EXPECT_TRUE(results == "programmed,failed" || results == "failed,programmed")
        << results.toStdString();
    EXPECT_NE(one->state().seed.empty(), other->state().seed.empty());
    StationCommand& refused = results.startsWith("failed") ? first : second;
    EXPECT_TRUE(refused.waitForError("Token TWIN0001 ")) << refused.errorText().toStdString();
    EXPECT_EQ(rowStates().section('|', 0, 1), QStringLiteral("1|0"));
}

// Killed between WRITE SEED and its record: the next station to start says
// so once, and the vault still delivers the seed the token holds.
TEST_F(FleetStationsTest, StationKilledAfterWriteSeedIsReportedOnceAndItsSeedExported)
{
    auto lost = Token("KILL0001");
    lost->delayAnswerTo(kWriteSeed, std::chrono::minutes(1));
    StationCommand killed(program({1}, path("data0")));
    ASSERT_TRUE(killed.waitForError("Watching " + reader(1)));
    ASSERT_TRUE(pcsc.insert(1, lost)) << pcsc.failure();
    ASSERT_TRUE(WaitForCommand(*lost, kWriteSeed));
    killed.interrupt(SIGKILL);
    EXPECT_EQ(killed.finish(), -1);
    ASSERT_FALSE(lost->state().seed.empty());
    // The server ends the killed station's connection once it sees it gone.
    ASSERT_TRUE(postgres.psql("DO $$ BEGIN WHILE EXISTS (SELECT 1 FROM pg_stat_activity a JOIN "
                              "attempts t ON a.pid = t.writer_pid WHERE t.serial = 'KILL0001') "
                              "LOOP PERFORM pg_sleep(0.01); END LOOP; END $$"))
        << postgres.failure();

    const QString told = "Token KILL0001 may hold a seed that is recorded nowhere";
    StationCommand next(program({0}, path("data1")));
    ASSERT_TRUE(next.waitForError(told)) << next.errorText().toStdString();
    // Marked once told, before the station watches its readers.
    ASSERT_TRUE(next.waitForError("Watching " + reader(0)));
    next.interrupt();
    next.finish();
    StationCommand later(program({0}, path("data2")));
    ASSERT_TRUE(later.waitForError("Watching " + reader(0)));
    later.interrupt();
    later.finish();
    EXPECT_FALSE(later.errorText().contains(told)) << "told once";

    const auto seeds = exported(QStringLiteral("export"));
    ASSERT_EQ(seeds.count("KILL0001"), 1u);
    EXPECT_EQ(seeds.at("KILL0001"), lost->state().seed);
}

// The server stopped in the middle of a batch: no token gets a seed without
// its committed row, the station says why, and it goes on by itself once the
// server is back.
TEST_F(FleetStationsTest, ServerStoppedMidBatchHoldsTheLineUntilItIsBack)
{
    StationCommand station(program({0, 1}, path("data0")));
    ASSERT_TRUE(station.waitForError("Watching " + reader(0)));
    ASSERT_TRUE(station.waitForError("Watching " + reader(1)));
    auto before = Token("STOP0001");
    ASSERT_TRUE(pcsc.insert(0, before)) << pcsc.failure();
    ASSERT_TRUE(station.waitForEvents(1));
    ASSERT_TRUE(pcsc.remove(0)) << pcsc.failure();

    ASSERT_TRUE(postgres.stop()) << postgres.failure();
    auto during = Token("STOP0002");
    ASSERT_TRUE(pcsc.insert(1, during)) << pcsc.failure();
    ASSERT_TRUE(station.waitForEvents(2));
    EXPECT_EQ(station.events()[1]["result"].toString(), "failed");
    EXPECT_TRUE(during->state().seed.empty());
    // The reason follows the token's JSON line, on the other stream: wait for it.
    EXPECT_TRUE(station.waitForError(
        QStringLiteral("host=%1 cannot be reached").arg(postgres.socketFolder())))
        << station.errorText().toStdString();
    ASSERT_TRUE(pcsc.remove(1)) << pcsc.failure();

    ASSERT_TRUE(postgres.start()) << postgres.failure();
    auto after = Token("STOP0003");
    ASSERT_TRUE(pcsc.insert(0, after)) << pcsc.failure();
    ASSERT_TRUE(station.waitForEvents(3));
    EXPECT_EQ(station.events()[2]["result"].toString(), "programmed")
        << station.errorText().toStdString();
    station.interrupt();
    station.finish();

    const auto seeds = exported(QStringLiteral("export"));
    EXPECT_EQ(seeds.size(), 2u);
    EXPECT_EQ(seeds.at("STOP0001"), before->state().seed);
    EXPECT_EQ(seeds.at("STOP0003"), after->state().seed);
    // The refused token left no row: the server could not take one.
    EXPECT_EQ(rowStates(), QStringLiteral("2|0|0"));
}

// The server gone between WRITE SEED and the token's record: the station
// (the reader's) keeps the outcome and records it once the server answers
// again, before its next token, so the first token ends "programmed", never "writing" and
// then reported as interrupted.
TEST_F(FleetStationsTest, OutcomeTheServerMissedIsRecordedWhenItIsBack)
{
    StationCommand station(program({0}, path("data0")));
    ASSERT_TRUE(station.waitForError("Watching " + reader(0)));
    auto first = Token("HOLD0001");
    first->holdAnswerTo(kWriteSeed);
    ASSERT_TRUE(pcsc.insert(0, first)) << pcsc.failure();
    ASSERT_TRUE(WaitForCommand(*first, kWriteSeed));
    ASSERT_TRUE(postgres.stop()) << postgres.failure();
    first->releaseAnswer();
    ASSERT_TRUE(station.waitForEvents(1));
    EXPECT_EQ(station.events()[0]["result"].toString(), "programmed");
    EXPECT_TRUE(station.waitForError("The station keeps the outcome"))
        << station.errorText().toStdString();
    ASSERT_TRUE(pcsc.remove(0)) << pcsc.failure();

    ASSERT_TRUE(postgres.start()) << postgres.failure();
    auto second = Token("HOLD0002");
    ASSERT_TRUE(pcsc.insert(0, second)) << pcsc.failure();
    ASSERT_TRUE(station.waitForEvents(2));
    EXPECT_EQ(station.events()[1]["result"].toString(), "programmed")
        << station.errorText().toStdString();
    EXPECT_TRUE(station.waitForError("The outcome for token HOLD0001 is recorded in the "
                                     "programming journal after all."))
        << station.errorText().toStdString();
    station.interrupt();
    EXPECT_EQ(station.finish(), 0) << station.errorText().toStdString();
    EXPECT_EQ(rowStates(), QStringLiteral("2|0|0"));

    StationCommand later(program({0}, path("data1")));
    ASSERT_TRUE(later.waitForError("Watching " + reader(0)));
    later.interrupt();
    later.finish();
    EXPECT_FALSE(later.errorText().contains("may hold a seed")) << later.errorText().toStdString();
    const auto seeds = exported(QStringLiteral("export"));
    EXPECT_EQ(seeds.at("HOLD0001"), first->state().seed);
}

// A station that stops while the server is still gone says which outcomes
// it could not record; their rows stay "writing" and the next start
// reports them, as after a crash.
TEST_F(FleetStationsTest, StationStoppingWithOutcomesStillKeptSaysSo)
{
    StationCommand station(program({0}, path("data0")));
    ASSERT_TRUE(station.waitForError("Watching " + reader(0)));
    auto token = Token("HOLD0003");
    token->holdAnswerTo(kWriteSeed);
    ASSERT_TRUE(pcsc.insert(0, token)) << pcsc.failure();
    ASSERT_TRUE(WaitForCommand(*token, kWriteSeed));
    ASSERT_TRUE(postgres.stop()) << postgres.failure();
    token->releaseAnswer();
    ASSERT_TRUE(station.waitForEvents(1));
    ASSERT_TRUE(station.waitForError("The station keeps the outcome"));
    station.interrupt();
    station.finish();
    EXPECT_TRUE(station.errorText().contains(
        "The station stops without recording the outcome for token(s) HOLD0003"))
        << station.errorText().toStdString();

    ASSERT_TRUE(postgres.start()) << postgres.failure();
    StationCommand next(program({0}, path("data1")));
    EXPECT_TRUE(next.waitForError("Token HOLD0003 may hold a seed that is recorded nowhere"))
        << next.errorText().toStdString();
    next.interrupt();
    next.finish();
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
