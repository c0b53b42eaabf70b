// Auto-programming: every token presented is programmed without a press,
// on each reader on its own.
#include "StationFixture.h"
#include "engine/ProgrammingMessages.h"
#include "journal/JournalFiles.h"
#include "journal/SqliteJournal.h"
#include "seed/SeedFile.h"
#include "seed/SeedTable.h"

#include <map>
#include <thread>

namespace {

AutoProgramming Settings(SeedSource source, const SeedTable* seedFile = nullptr)
{
    AutoProgramming settings;
    settings.source = source;
    settings.seedFile = seedFile;
    settings.timing.timeStep = 30;
    settings.timing.displayTime = 60;
    std::strcpy(settings.timing.algorithmName, "SHA1");
    settings.userName = "line";
    return settings;
}

// serial number -> Base32 seed, as the .b32.csv file records them.
template <typename Fixture> std::map<QString, QString> Records(const Fixture& fixture)
{
    std::map<QString, QString> records;
    for (const QString& line : fixture.exportLines(".b32.csv")) {
        const QStringList fields = line.split(',');
        EXPECT_EQ(fields.size(), 2) << line.toStdString();
        EXPECT_TRUE(records.emplace(fields.value(0), fields.value(1)).second)
            << "recorded twice: " << line.toStdString();
    }
    return records;
}

class AutoProgrammingTest : public StationFixture<1>
{
protected:
    // Presents token on slot and waits until the station has told its outcome.
    bool presentAndWait(const std::shared_ptr<VirtualToken>& token, int slot = 0)
    {
        const size_t before = probe(slot).outcomes().size();
        return pcsc.insert(slot, token) &&
               probe(slot).waitFor([&] { return probe(slot).outcomes().size() > before; });
    }
    TokenOutcome lastOutcome(int index = 0) const { return probes.at(index)->outcomes().back(); }
};

using FourReaders = StationFixture<2>;

} // namespace

TEST_F(AutoProgrammingTest, ProgramsEachTokenPresentedOnceWithoutAMessage)
{
    connect();
    ASSERT_TRUE(probe().showsNoToken());
    station().setAutoProgramming(Settings(SeedSource::Random32));

    constexpr int kTokens = 20;
    std::vector<std::shared_ptr<VirtualToken>> tokens;
    for (int i = 0; i < kTokens; ++i) {
        tokens.push_back(Token("AU" + std::to_string(1000 + i)));
        ASSERT_TRUE(presentAndWait(tokens.back())) << i;
        const TokenOutcome outcome = lastOutcome();
        EXPECT_EQ(outcome.result, TokenOutcome::Result::Programmed) << outcome.reason.toStdString();
        EXPECT_EQ(outcome.serialNumber.toStdString(), tokens.back()->state().serial);
        EXPECT_EQ(outcome.exportFiles.size(), 3);
        EXPECT_FALSE(outcome.again);
        ASSERT_TRUE(pcsc.remove(0)) << pcsc.failure();
    }

    const std::map<QString, QString> records = Records(*this);
    ASSERT_EQ(records.size(), size_t(kTokens));
    for (const auto& token : tokens) {
        const VirtualTokenState state = token->state();
        EXPECT_EQ(Count(*token, kWriteSeed), 1) << state.serial;
        EXPECT_EQ(state.seed.size(), 20u);
        EXPECT_EQ(state.seed, SeedBytes(records.at(QString::fromStdString(state.serial))));
        EXPECT_EQ(state.algorithm, 1);
        EXPECT_EQ(state.displayTime, 60);
    }
    EXPECT_EQ(station().tally().total, kTokens);
    EXPECT_EQ(station().tally().success, kTokens);
    EXPECT_TRUE(op.texts().isEmpty()) << op.texts().join('|').toStdString();

    // Presented again after it was lifted: programmed again, and said so.
    const std::vector<uint8_t> firstSeed = tokens[3]->state().seed;
    ASSERT_TRUE(presentAndWait(tokens[3]));
    EXPECT_TRUE(lastOutcome().again);
    EXPECT_EQ(probe().rows().back().result, kProgrammedAgainResult);
    EXPECT_NE(tokens[3]->state().seed, firstSeed);
    EXPECT_EQ(Count(*tokens[3], kWriteSeed), 2);
}

TEST_F(AutoProgrammingTest, ATokenAlreadyOnTheReaderIsLeftAloneUntilAsked)
{
    auto token = Token("AU2000");
    ASSERT_TRUE(pcsc.insert(0, token)) << pcsc.failure();
    connect();
    station().setAutoProgramming(Settings(SeedSource::Random64));
    ASSERT_TRUE(probe().showsToken("AU2000"));
    // Turned on again while it is there: still not one presented since.
    station().setAutoProgramming(Settings(SeedSource::Random64));
    ASSERT_TRUE(probe().showsToken("AU2000"));
    EXPECT_TRUE(probe().outcomes().empty());

    // Asked for it (the command line's one-token run).
    station().programPresent(Settings(SeedSource::Random64));
    ASSERT_TRUE(probe().waitFor([&] { return probe().outcomes().size() == 1; }));
    EXPECT_EQ(lastOutcome().result, TokenOutcome::Result::Programmed);
    EXPECT_EQ(token->state().seed.size(), 40u);

    ASSERT_TRUE(pcsc.remove(0)) << pcsc.failure();
    station().setAutoProgramming(std::nullopt);
    ASSERT_TRUE(probe().showsNoToken());
    op.holdNextMessage();
    station().programPresent(Settings(SeedSource::Random64));
    ASSERT_TRUE(op.waitUntilHeld());
    op.release();
    ASSERT_TRUE(probe().waitFor([&] { return probe().outcomes().size() == 2; }));
    EXPECT_EQ(lastOutcome().result, TokenOutcome::Result::Failed);
    EXPECT_EQ(lastOutcome().reason, kNoTokenMessage);
}

// A token the seed file does not list is refused, with a message that holds
// its reader; the other reader goes on meanwhile.
TEST_F(AutoProgrammingTest, AFailureHoldsItsReaderOnly)
{
    SeedTable seedFile;
    seedFile.set("SF0001", "JBSWY3DPEHPK3PXP");
    seedFile.set("SF0003", "GEZDGNBVGY3TQOJQ");
    connect(0);
    connect(1);
    ASSERT_TRUE(probe(0).showsNoToken());
    ASSERT_TRUE(probe(1).showsNoToken());
    station(0).setAutoProgramming(Settings(SeedSource::SeedFile, &seedFile));
    station(1).setAutoProgramming(Settings(SeedSource::Random32));

    auto listed = Token("SF0001");
    ASSERT_TRUE(presentAndWait(listed, 0));
    EXPECT_EQ(listed->state().seed, SeedBytes("JBSWY3DPEHPK3PXP"));
    ASSERT_TRUE(pcsc.remove(0)) << pcsc.failure();

    auto unlisted = Token("SF0002");
    op.holdNextMessage();
    ASSERT_TRUE(pcsc.insert(0, unlisted)) << pcsc.failure();
    ASSERT_TRUE(op.waitUntilHeld());
    EXPECT_EQ(lastOutcome(0).result, TokenOutcome::Result::Failed);
    EXPECT_EQ(lastOutcome(0).reason, NotInSeedFileMessage("SF0002"));
    EXPECT_EQ(Count(*unlisted, kWriteSeed), 0);
    EXPECT_TRUE(op.texts().last().contains("Token SF0002 on " + station(0).readerName()));

    // The message is open: reader 0 waits, reader 1 goes on.
    ASSERT_TRUE(pcsc.remove(0)) << pcsc.failure();
    auto next = Token("SF0003");
    ASSERT_TRUE(pcsc.insert(0, next)) << pcsc.failure();
    auto other = Token("OT0001");
    ASSERT_TRUE(presentAndWait(other, 1));
    EXPECT_EQ(lastOutcome(1).result, TokenOutcome::Result::Programmed);
    EXPECT_EQ(probe(0).outcomes().size(), 2u);
    EXPECT_TRUE(next->state().seed.empty());

    // Closed: the token presented meanwhile is programmed.
    op.release();
    ASSERT_TRUE(probe(0).waitFor([&] { return probe(0).outcomes().size() == 3; }));
    EXPECT_EQ(lastOutcome(0).result, TokenOutcome::Result::Programmed);
    EXPECT_EQ(next->state().seed, SeedBytes("GEZDGNBVGY3TQOJQ"));
    EXPECT_EQ(station(0).tally().fail, 1);
    EXPECT_EQ(Records(*this).size(), 3u);
}

// A token that refuses a command, or leaves in the middle, is a failure
// told once, never a success, and nothing is recorded for it.
TEST_F(AutoProgrammingTest, ATokenThatFailsIsToldAndNotRecorded)
{
    struct Case
    {
        const char* serial;
        std::function<void(VirtualToken&)> fault;
        bool lifts = false; // the token leaves the reader by itself
    };
    const Case cases[] = {
        {"FL0001", [](VirtualToken& t) { t.answerNextWith(0x6A80, kWriteSeed); }},
        {"FL0002", [](VirtualToken& t) { t.answerNextWith(0x6982, kAuthenticate); }},
        {"FL0003", [](VirtualToken& t) { t.liftAfterAnswers(3); }, true},
    };
    connect();
    ASSERT_TRUE(probe().showsNoToken());
    station().setAutoProgramming(Settings(SeedSource::Random32));
    for (const Case& c : cases) {
        auto token = Token(c.serial);
        c.fault(*token);
        // The failure's message comes after the outcome: held, it is there to read.
        op.holdNextMessage();
        ASSERT_TRUE(presentAndWait(token)) << c.serial;
        ASSERT_TRUE(op.waitUntilHeld()) << c.serial;
        EXPECT_EQ(lastOutcome().result, TokenOutcome::Result::Failed) << c.serial;
        EXPECT_FALSE(lastOutcome().reason.isEmpty()) << c.serial;
        EXPECT_TRUE(op.texts().last().startsWith(QStringLiteral("Token ") + c.serial))
            << op.texts().last().toStdString();
        op.release();
        EXPECT_TRUE(c.lifts ? pcsc.waitForCard(0, false) : pcsc.remove(0)) << pcsc.failure();
    }
    EXPECT_EQ(op.texts().size(), 3);
    EXPECT_TRUE(exportLines(".b32.csv").isEmpty());
    EXPECT_EQ(station().tally().fail, 3);
    EXPECT_EQ(station().tally().success, 0);
}

TEST_F(FourReaders, FourReadersProgramTheirTokensInParallel)
{
    for (int slot = 0; slot < 4; ++slot) {
        connect(slot);
        ASSERT_TRUE(probe(slot).showsNoToken());
        station(slot).setAutoProgramming(Settings(SeedSource::Random32));
    }
    constexpr int kTokens = 25;
    std::vector<std::shared_ptr<VirtualToken>> tokens[4];
    auto run = [&](int slot) {
        for (int i = 0; i < kTokens; ++i) {
            auto token = Token("P" + std::to_string(slot) + "-" + std::to_string(i));
            tokens[slot].push_back(token);
            const size_t before = probe(slot).outcomes().size();
            if (!pcsc.insert(slot, token) ||
                !probe(slot).waitFor([&] { return probe(slot).outcomes().size() > before; }))
                return ADD_FAILURE() << "no outcome on reader " << slot << ": " << i;
            if (!pcsc.remove(slot))
                return ADD_FAILURE() << pcsc.failure();
        }
    };
    std::vector<std::thread> others;
    for (int slot = 1; slot < 4; ++slot)
        others.emplace_back(run, slot);
    run(0);
    for (auto& thread : others)
        thread.join();

    const std::map<QString, QString> records = Records(*this);
    EXPECT_EQ(records.size(), size_t(4 * kTokens));
    for (int slot = 0; slot < 4; ++slot) {
        EXPECT_EQ(station(slot).tally().success, kTokens);
        for (const auto& token : tokens[slot]) {
            const auto record = records.find(QString::fromStdString(token->state().serial));
            ASSERT_NE(record, records.end()) << token->state().serial;
            EXPECT_EQ(token->state().seed, SeedBytes(record->second)) << token->state().serial;
        }
    }
}

namespace {

// A production line with its journal: each token's user in the directory
// import file, the journal and the log.
class AutoUsersTest : public AutoProgrammingTest
{
protected:
    void SetUp() override
    {
        AutoProgrammingTest::SetUp();
        auto opened = SqliteJournal::open(JournalDatabasePath(data.path()));
        ASSERT_TRUE(opened.ok()) << opened.error().toStdString();
        journal = std::move(opened).value();
        stations.push_back(std::make_unique<Station>(QString::fromStdString(pcsc.readerName(0)),
                                                     g_customerKey, op, exports));
        stations.back()->setJournal(journal.get());
        probes.push_back(std::make_unique<StationProbe>(*stations.back()));
        stations.back()->start();
        ASSERT_TRUE(probe().showsNoToken());
    }
    // serial number -> user, from the directory import file.
    std::map<QString, QString> azureUsers() const
    {
        std::map<QString, QString> users;
        const QStringList lines = exportLines(".azure.csv");
        for (qsizetype i = 1; i < lines.size(); ++i)
            users[lines[i].section(',', 1, 1)] = lines[i].section(',', 0, 0);
        return users;
    }
    // serial number -> user of its programmed attempt, from the journal.
    std::map<QString, QString> journalUsers() const
    {
        std::map<QString, QString> users;
        const JournalResult<QList<JournalAttempt>> listed = journal->list(std::nullopt, {});
        EXPECT_TRUE(listed.ok());
        for (const JournalAttempt& attempt : listed.ok() ? listed.value() : QList<JournalAttempt>{})
            if (attempt.state == AttemptState::Programmed)
                users[attempt.serialNumber] = attempt.userName;
        return users;
    }
    std::unique_ptr<SqliteJournal> journal;
};

} // namespace

// Five tokens from a seed file of three columns: each record names the
// token's own user, whatever name is set for every token; a line of two
// columns gets that name.
TEST_F(AutoUsersTest, ASeedFileOfThreeColumnsGivesEachTokenItsUser)
{
    QFile file(QDir(data.path()).filePath("seeds.csv"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    std::map<QString, QString> expected;
    for (int i = 1; i <= 5; ++i) {
        const QString serial = QStringLiteral("SU%1").arg(i, 4, 10, QLatin1Char('0'));
        expected[serial] = i == 5 ? QStringLiteral("everyone@example.org")
                                  : QStringLiteral("user%1@example.org").arg(i);
        file.write((serial + "," + RandomSeedText() +
                    (i == 5 ? QString() : "," + expected[serial]) + "\r\n")
                       .toUtf8());
    }
    file.close();
    SeedTable seedFile;
    ASSERT_TRUE(LoadSeedFile(file.fileName(), seedFile).loaded());
    AutoProgramming settings = Settings(SeedSource::SeedFile, &seedFile);
    settings.userName = "everyone@example.org"; // the name for every token
    station().setAutoProgramming(settings);

    for (const auto& [serial, user] : expected) {
        ASSERT_TRUE(presentAndWait(Token(serial.toStdString()))) << serial.toStdString();
        EXPECT_EQ(lastOutcome().result, TokenOutcome::Result::Programmed);
        EXPECT_EQ(lastOutcome().userName, user);
        ASSERT_TRUE(pcsc.remove(0)) << pcsc.failure();
    }
    EXPECT_EQ(azureUsers(), expected);
    EXPECT_EQ(journalUsers(), expected);
    for (const StationProbe::Row& row : probe().rows())
        EXPECT_EQ(row.userName, expected.at(row.serialNumber));
}

// An assignment list: each token with a random seed takes the next user in
// order; a token that fails gives its user to the next one; once the list
// is used up a token is refused before any command, with a message that
// holds the line; a new list goes on.
TEST_F(AutoUsersTest, AUserListGivesEachTokenTheNextUserAndHoldsWhenUsedUp)
{
    const QStringList list{"ana@example.org", "bob@example.org", "carl@example.org",
                           "dora@example.org", "eve@example.org"};
    UserAssignments users;
    users.load(list);
    AutoProgramming settings = Settings(SeedSource::Random32);
    settings.userName.clear();
    settings.users = &users;
    station().setAutoProgramming(settings);

    std::map<QString, QString> expected;
    for (int i = 1; i <= 6; ++i) {
        const QString serial = QStringLiteral("UL%1").arg(i, 4, 10, QLatin1Char('0'));
        auto token = Token(serial.toStdString());
        const bool fails = i == 2;
        if (fails) {
            token->answerNextWith(0x6A80, kWriteSeed);
            op.holdNextMessage();
        }
        ASSERT_TRUE(presentAndWait(token)) << i;
        if (fails) {
            ASSERT_TRUE(op.waitUntilHeld());
            EXPECT_EQ(lastOutcome().result, TokenOutcome::Result::Failed);
            EXPECT_EQ(users.next(), "bob@example.org"); // given back
            op.release();
        } else {
            EXPECT_EQ(lastOutcome().result, TokenOutcome::Result::Programmed) << i;
            expected[serial] = list[static_cast<qsizetype>(expected.size())];
            EXPECT_EQ(lastOutcome().userName, expected[serial]);
        }
        ASSERT_TRUE(pcsc.remove(0)) << pcsc.failure();
    }
    EXPECT_EQ(users.left(), 0);
    EXPECT_EQ(azureUsers(), expected);
    EXPECT_EQ(journalUsers(), expected);

    // Used up: the next token is not touched, and its message holds the line.
    auto refused = Token("UL0007");
    op.holdNextMessage();
    ASSERT_TRUE(presentAndWait(refused));
    ASSERT_TRUE(op.waitUntilHeld());
    EXPECT_EQ(lastOutcome().result, TokenOutcome::Result::Failed);
    EXPECT_EQ(lastOutcome().reason, UserListUsedUpMessage("UL0007"));
    EXPECT_EQ(Count(*refused, kConfigure), 0);
    EXPECT_EQ(Count(*refused, kWriteSeed), 0);
    EXPECT_TRUE(op.texts().last().contains(UserListUsedUpMessage("UL0007")));
    ASSERT_TRUE(pcsc.remove(0)) << pcsc.failure();
    auto waiting = Token("UL0008");
    ASSERT_TRUE(pcsc.insert(0, waiting)) << pcsc.failure();
    EXPECT_EQ(probe().outcomes().size(), 7u); // held: the token presented waits

    // The next list: the waiting token is programmed with its first user.
    users.load({"fay@example.org"});
    op.release();
    ASSERT_TRUE(probe().waitFor([&] { return probe().outcomes().size() == 8; }));
    EXPECT_EQ(lastOutcome().result, TokenOutcome::Result::Programmed);
    EXPECT_EQ(lastOutcome().userName, "fay@example.org");
    EXPECT_EQ(azureUsers().at("UL0008"), "fay@example.org");
    EXPECT_EQ(probe().rows().back().userName, "fay@example.org");
}
