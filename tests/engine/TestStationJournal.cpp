// The station and its journal: every attempt is a row, a token already
// programmed is programmed again only on the operator's Yes.
#include "StationFixture.h"
#include "engine/ProgrammingMessages.h"
#include "journal/JournalFiles.h"
#include "journal/SqliteJournal.h"

namespace {

class StationJournalTest : public StationFixture<1>
{
protected:
    void SetUp() override
    {
        StationFixture<1>::SetUp();
        auto opened = SqliteJournal::open(JournalDatabasePath(data.path()));
        ASSERT_TRUE(opened.ok()) << opened.error().toStdString();
        journal = std::move(opened).value();
    }
    Station& connectJournaled()
    {
        // Set before the station starts, as the window and command line do.
        stations.push_back(std::make_unique<Station>(QString::fromStdString(pcsc.readerName(0)),
                                                     g_customerKey, op, exports));
        stations.back()->setJournal(journal.get());
        probes.push_back(std::make_unique<StationProbe>(*stations.back()));
        stations.back()->start();
        return *stations.back();
    }
    QList<JournalAttempt> rows(const QString& serial)
    {
        auto listed = journal->list(std::nullopt, serial);
        EXPECT_TRUE(listed.ok());
        return listed.ok() ? listed.value() : QList<JournalAttempt>{};
    }

    std::unique_ptr<SqliteJournal> journal;
};

} // namespace

TEST_F(StationJournalTest, EveryAttemptIsARowAndNoneIsLeftWriting)
{
    connectJournaled();
    auto token = Token("JR0001");
    ASSERT_TRUE(present(token));
    token->answerNextWith(0x6A80, kWriteSeed);
    ASSERT_TRUE(burn(request("JBSWY3DPEHPK3PXP")));
    ASSERT_TRUE(burn(request("JBSWY3DPEHPK3PXP")));

    const QList<JournalAttempt> attempts = rows("JR0001");
    ASSERT_EQ(attempts.size(), 2);
    EXPECT_EQ(attempts[0].state, AttemptState::Failed);
    EXPECT_FALSE(attempts[0].reason.isEmpty());
    EXPECT_EQ(attempts[1].state, AttemptState::Programmed);
    EXPECT_EQ(attempts[1].settings, "SHA256, step 60 s, display 120 s, clock synced");
    EXPECT_EQ(attempts[1].exportFiles.size(), 3);
    EXPECT_EQ(attempts[1].reader, station().readerName());
    ASSERT_TRUE(journal->unfinished().ok());
    EXPECT_TRUE(journal->unfinished().value().isEmpty());
}

TEST_F(StationJournalTest, ATokenProgrammedBeforeIsProgrammedAgainOnlyOnYes)
{
    connectJournaled();
    auto token = Token("JR0002");
    ASSERT_TRUE(present(token));
    ASSERT_TRUE(burn(request("JBSWY3DPEHPK3PXP")));

    // No: not a command reaches the token.
    const size_t commands = token->received().size();
    ASSERT_TRUE(burn(request("GEZDGNBVGY3TQOJQ")));
    EXPECT_TRUE(op.texts().last().startsWith("Token JR0002 was programmed on "));
    EXPECT_TRUE(op.texts().last().endsWith(
        "Programming it again makes that seed invalid. Program it again?"));
    EXPECT_EQ(token->received().size(), commands);
    EXPECT_EQ(token->state().seed, SeedBytes("JBSWY3DPEHPK3PXP"));

    op.answerNextQuestion(true);
    ASSERT_TRUE(burn(request("GEZDGNBVGY3TQOJQ")));
    EXPECT_EQ(token->state().seed, SeedBytes("GEZDGNBVGY3TQOJQ"));
    EXPECT_EQ(probe().rows().back().result, kProgrammedAgainResult);
    EXPECT_EQ(rows("JR0002").size(), 2);
}

// Auto-programming: the question holds the reader; No leaves the token as
// it is, and is no failure to report.
TEST_F(StationJournalTest, AutoProgrammingAsksBeforeProgrammingAgain)
{
    JournalAttempt earlier;
    earlier.reader = "another station";
    earlier.serialNumber = "JR0003";
    earlier.state = AttemptState::Programmed;
    ASSERT_TRUE(journal->recordAttempt(earlier).ok());

    connectJournaled();
    ASSERT_TRUE(probe().showsNoToken());
    AutoProgramming settings;
    std::strcpy(settings.timing.algorithmName, "SHA1");
    station().setAutoProgramming(settings);
    auto token = Token("JR0003");
    ASSERT_TRUE(pcsc.insert(0, token)) << pcsc.failure();
    ASSERT_TRUE(probe().waitFor([&] { return probe().outcomes().size() == 1; }));
    EXPECT_EQ(probe().outcomes()[0].result, TokenOutcome::Result::Failed);
    EXPECT_TRUE(token->state().seed.empty());
    ASSERT_EQ(op.texts().size(), 1) << op.texts().join('|').toStdString();
    EXPECT_TRUE(op.texts()[0].startsWith("Token JR0003 was programmed on "));
    EXPECT_TRUE(probe().outcomes()[0].reason.startsWith("Not programmed: the answer to"));
}
