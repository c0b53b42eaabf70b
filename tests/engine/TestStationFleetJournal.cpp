// The station on a fleet's journal (a private PostgreSQL server): Burn on a
// token another station programmed asks the question naming that station,
// and a seed goes to the journal sealed before it goes to the token.
#include "ChildProgram.h"
#include "PostgresFixture.h"
#include "StationFixture.h"
#include "journal/PostgresJournal.h"
#include "journal/SeedSeal.h"

namespace {

class StationFleetJournalTest : public StationFixture<1>
{
protected:
    void SetUp() override
    {
        StationFixture<1>::SetUp();
        ASSERT_TRUE(postgres.ok()) << postgres.failure();
        auto opened = PostgresJournal::open(postgres.connection(), QStringLiteral("pc12"));
        ASSERT_TRUE(opened.ok()) << opened.error().toStdString();
        journal = std::move(opened).value();
        ChildProgram openssl(QStringLiteral("openssl"),
                             {"req", "-x509", "-nodes", "-newkey", "ec", "-pkeyopt",
                              "ec_paramgen_curve:P-256", "-subj", "/CN=Token fleet", "-days", "30",
                              "-keyout", data.filePath("key.pem"), "-out",
                              data.filePath("cert.pem")});
        ASSERT_EQ(openssl.run(), 0) << openssl.errorOutput().toStdString();
        auto loaded = SeedSeal::load(data.filePath("cert.pem"));
        ASSERT_TRUE(loaded.ok()) << loaded.error().toStdString();
        seal = std::move(loaded).value();

        stations.push_back(std::make_unique<Station>(QString::fromStdString(pcsc.readerName(0)),
                                                     g_customerKey, op, exports));
        stations.back()->setJournal(journal.get());
        stations.back()->setSeedSeal(seal.get());
        probes.push_back(std::make_unique<StationProbe>(*stations.back()));
        stations.back()->start();
    }

    PostgresFixture postgres;
    std::unique_ptr<PostgresJournal> journal;
    std::unique_ptr<SeedSeal> seal;
};

} // namespace

TEST_F(StationFleetJournalTest, BurnOnATokenAnotherStationProgrammedNamesThatStation)
{
    auto elsewhere = PostgresJournal::open(postgres.connection(), QStringLiteral("pc99"));
    ASSERT_TRUE(elsewhere.ok()) << elsewhere.error().toStdString();
    JournalAttempt before;
    before.reader = QStringLiteral("Reader B");
    before.serialNumber = QStringLiteral("FJ0001");
    before.settings = QStringLiteral("SHA1, step 30 s, display 30 s, clock synced");
    const JournalResult<qint64> begun = elsewhere.value()->beginWriting(before);
    ASSERT_TRUE(begun.ok()) << begun.error().toStdString();
    ASSERT_TRUE(elsewhere.value()->finish(begun.value(), AttemptState::Programmed, {}, {}).ok());

    auto token = Token("FJ0001");
    ASSERT_TRUE(present(token));
    const size_t commands = token->received().size();
    ASSERT_TRUE(burn(request("JBSWY3DPEHPK3PXP")));
    EXPECT_TRUE(op.texts().last().startsWith("Token FJ0001 was programmed on "));
    EXPECT_TRUE(op.texts().last().endsWith(
        " at station pc99. Programming it again makes that seed invalid. Program it again?"))
        << op.texts().last().toStdString();
    EXPECT_EQ(token->received().size(), commands) << "No: not a command reaches the token";
    EXPECT_TRUE(token->state().seed.empty());

    op.answerNextQuestion(true);
    ASSERT_TRUE(burn(request("JBSWY3DPEHPK3PXP")));
    EXPECT_EQ(token->state().seed, SeedBytes("JBSWY3DPEHPK3PXP"));

    // The vault holds the seed the token holds, sealed.
    const auto vault = journal->newestSeeds(std::nullopt, QStringLiteral("FJ0001"));
    ASSERT_TRUE(vault.ok()) << vault.error().toStdString();
    ASSERT_EQ(vault.value().size(), 1);
    EXPECT_EQ(vault.value()[0].station, QStringLiteral("pc12"));
    auto key = SeedVaultKey::load(data.filePath("key.pem"));
    ASSERT_TRUE(key.ok()) << key.error().toStdString();
    const JournalResult<QByteArray> opened = key.value()->open(vault.value()[0].sealedSeed);
    ASSERT_TRUE(opened.ok()) << opened.error().toStdString();
    EXPECT_EQ(opened.value(), QByteArray("JBSWY3DPEHPK3PXP"));
}
