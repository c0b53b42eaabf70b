// The fleet's journal on a private PostgreSQL server: what a station writes
// and reads back, one writer per token across stations, rows left by a
// station whose connection is gone, a server that goes away and comes back.
#include "PostgresJournalTest.h"
#include "journal/JournalCommand.h"
#include "journal/JournalMessages.h"

namespace {

TEST_F(PostgresJournalTest, PostgresAttemptsRoundTripWithStationUserAndSealedSeed)
{
    auto journal = open(QStringLiteral("pc12"));
    ASSERT_TRUE(journal);
    JournalAttempt attempt = Attempt("TK0100", Utc(2026, 12, 10, 12, 5));
    attempt.userName = QStringLiteral("anna.berg@example.com");
    attempt.sealedSeed = QByteArray("\x30\x82\x00\x00sealed", 10);
    const JournalResult<qint64> begun = journal->beginWriting(attempt);
    ASSERT_TRUE(begun.ok()) << begun.error().toStdString();
    ASSERT_TRUE(journal
                    ->finish(begun.value(), AttemptState::Programmed, {},
                             {QStringLiteral("/data/a.csv"), QStringLiteral("/data/b,c.csv")})
                    .ok());
    JournalAttempt failed = Attempt("TK0101", Utc(2026, 12, 10, 12, 6));
    failed.state = AttemptState::Failed;
    failed.reason = QStringLiteral("Token lifted.\nTry again.");
    ASSERT_TRUE(journal->recordAttempt(failed).ok());

    // Another station's connection reads what this one wrote.
    auto other = open(QStringLiteral("pc13"));
    ASSERT_TRUE(other);
    const JournalResult<QList<JournalAttempt>> listed = other->list(std::nullopt, {});
    ASSERT_TRUE(listed.ok()) << listed.error().toStdString();
    ASSERT_EQ(listed.value().size(), 2);
    const JournalAttempt& first = listed.value()[0];
    EXPECT_EQ(first.serialNumber, QStringLiteral("TK0100"));
    EXPECT_EQ(first.time, Utc(2026, 12, 10, 12, 5));
    EXPECT_EQ(first.state, AttemptState::Programmed);
    EXPECT_EQ(first.userName, QStringLiteral("anna.berg@example.com"));
    EXPECT_EQ(first.station, QStringLiteral("pc12"));
    EXPECT_EQ(first.exportFiles,
              (QStringList{QStringLiteral("/data/a.csv"), QStringLiteral("/data/b,c.csv")}));
    EXPECT_TRUE(first.sealedSeed.isEmpty()) << "a listing does not carry sealed seeds";
    EXPECT_EQ(listed.value()[1].reason, failed.reason);
    EXPECT_EQ(listed.value()[1].state, AttemptState::Failed);

    const auto last = other->lastProgrammedBy(QStringLiteral("TK0100"));
    ASSERT_TRUE(last.ok()) << last.error().toStdString();
    ASSERT_TRUE(last.value());
    EXPECT_EQ(last.value()->time, Utc(2026, 12, 10, 12, 5));
    EXPECT_EQ(last.value()->station, QStringLiteral("pc12"));
    EXPECT_EQ(ProgramAgainQuestion(QStringLiteral("TK0100"), *last.value()),
              QStringLiteral("Token TK0100 was programmed on 2026-12-10 14:05 at station pc12. "
                             "Programming it again makes that seed invalid. Program it again?"));
    const auto never = other->lastProgrammed(QStringLiteral("TK0101"));
    ASSERT_TRUE(never.ok());
    EXPECT_FALSE(never.value()) << "a failed attempt leaves no seed anywhere";

    // station journal on the fleet's journal names the station of each attempt.
    QString out, err;
    QTextStream outStream(&out), errStream(&err);
    ASSERT_EQ(RunJournalCommand({QStringLiteral("--journal"), connection()}, outStream, errStream,
                                QStringLiteral("/nonexistent/journal.sqlite")),
              0)
        << err.toStdString();
    outStream.flush();
    const QStringList lines = out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 3) << out.toStdString();
    EXPECT_TRUE(lines[0].startsWith(QStringLiteral("ID  TIME")) &&
                lines[0].contains(QStringLiteral("SERIAL  STATION  USER")))
        << lines[0].toStdString();
    const QStringList words = lines[1].split(QLatin1Char(' '), Qt::SkipEmptyParts);
    ASSERT_GE(words.size(), 6) << lines[1].toStdString();
    EXPECT_EQ(words[4], QStringLiteral("TK0100"));
    EXPECT_EQ(words[5], QStringLiteral("pc12")) << lines[1].toStdString();

    const auto vault = other->newestSeeds(std::nullopt, {});
    ASSERT_TRUE(vault.ok()) << vault.error().toStdString();
    ASSERT_EQ(vault.value().size(), 1);
    EXPECT_EQ(vault.value()[0].sealedSeed, attempt.sealedSeed);
}

TEST_F(PostgresJournalTest, PostgresNewestSeedsGiveTheSeedEachTokenMayHold)
{
    auto journal = open(QStringLiteral("pc12"));
    ASSERT_TRUE(journal);
    struct Row
    {
        const char* serial;
        QDateTime time;
        AttemptState outcome;
        const char* seed;
    };
    const Row rows[] = {
        {"TK0200", Utc(2026, 12, 1, 9, 0), AttemptState::Programmed, "old"},
        {"TK0200", Utc(2026, 12, 5, 9, 0), AttemptState::Programmed, "new"},
        {"TK0200", Utc(2026, 12, 6, 9, 0), AttemptState::Failed, "failed"},
        {"TK0201", Utc(2026, 12, 2, 9, 0), AttemptState::Programmed, "only"},
        {"TK0202", Utc(2026, 12, 7, 9, 0), AttemptState::Failed, "never"},
        {"TK0203", Utc(2026, 12, 1, 9, 0), AttemptState::Programmed, "before"},
        {"TK0203", Utc(2026, 12, 8, 9, 0), AttemptState::Interrupted, "interrupted"},
    };
    for (const Row& row : rows) {
        JournalAttempt attempt = Attempt(row.serial, row.time);
        attempt.sealedSeed = row.seed;
        const JournalResult<qint64> begun = journal->beginWriting(attempt);
        ASSERT_TRUE(begun.ok()) << begun.error().toStdString();
        if (row.outcome == AttemptState::Interrupted)
            ASSERT_TRUE(journal->markInterrupted({begun.value()}).ok());
        else
            ASSERT_TRUE(journal->finish(begun.value(), row.outcome, {}, {}).ok());
    }
    struct Case
    {
        std::optional<QDateTime> since;
        QString serial;
        QList<QByteArray> seeds;
    };
    const Case cases[] = {
        {std::nullopt, {}, {"new", "only", "interrupted"}},
        {Utc(2026, 12, 3, 0, 0), {}, {"new", "interrupted"}},
        {std::nullopt, QStringLiteral("TK0201"), {"only"}},
        {std::nullopt, QStringLiteral("TK0202"), {}},
    };
    for (const Case& c : cases) {
        const auto vault = journal->newestSeeds(c.since, c.serial);
        ASSERT_TRUE(vault.ok()) << vault.error().toStdString();
        QList<QByteArray> seeds;
        for (const JournalAttempt& attempt : vault.value())
            seeds << attempt.sealedSeed;
        EXPECT_EQ(seeds, c.seeds) << c.serial.toStdString();
    }
}

TEST_F(PostgresJournalTest, PostgresOneStationAtATimeWritesAToken)
{
    auto first = open(QStringLiteral("pc12"));
    auto second = open(QStringLiteral("pc13"));
    ASSERT_TRUE(first && second);
    JournalAttempt attempt = Attempt("TK0300");
    attempt.reader = QStringLiteral("Reader A");
    const JournalResult<qint64> begun = first->beginWriting(attempt);
    ASSERT_TRUE(begun.ok()) << begun.error().toStdString();

    const JournalResult<qint64> refused = second->beginWriting(Attempt("TK0300"));
    ASSERT_FALSE(refused.ok());
    EXPECT_EQ(refused.error(), QStringLiteral("Token TK0300 is being programmed at station pc12 "
                                              "(reader Reader A) now: one station at a time "
                                              "writes a token."));
    // Another token is not held up, and once the first station is done the
    // token may be written again (after the operator's question).
    EXPECT_TRUE(second->beginWriting(Attempt("TK0301")).ok());
    ASSERT_TRUE(first->finish(begun.value(), AttemptState::Programmed, {}, {}).ok());
    EXPECT_TRUE(second->beginWriting(Attempt("TK0300")).ok());
}

// A station that asked whether a token was programmed, and was told no (or
// of an older seed), does not write over what another station programmed
// between the question and the write.
TEST_F(PostgresJournalTest, PostgresTokenProgrammedSinceTheQuestionIsNotWrittenOver)
{
    auto first = open(QStringLiteral("pc12"));
    auto second = open(QStringLiteral("pc13"));
    ASSERT_TRUE(first && second);
    for (const bool programmedBefore : {false, true}) {
        SCOPED_TRACE(programmedBefore);
        const QString serial =
            programmedBefore ? QStringLiteral("TK0311") : QStringLiteral("TK0310");
        if (programmedBefore) {
            ASSERT_TRUE(first->lastProgrammedBy(serial).ok());
            const JournalResult<qint64> old = first->beginWriting(Attempt(serial));
            ASSERT_TRUE(old.ok()) << old.error().toStdString();
            ASSERT_TRUE(first->finish(old.value(), AttemptState::Programmed, {}, {}).ok());
        }
        const auto asked = second->lastProgrammedBy(serial);
        ASSERT_TRUE(asked.ok());
        EXPECT_EQ(asked.value().has_value(), programmedBefore);

        ASSERT_TRUE(first->lastProgrammedBy(serial).ok());
        const JournalResult<qint64> meanwhile = first->beginWriting(Attempt(serial));
        ASSERT_TRUE(meanwhile.ok()) << meanwhile.error().toStdString();
        ASSERT_TRUE(first->finish(meanwhile.value(), AttemptState::Programmed, {}, {}).ok());

        const JournalResult<qint64> refused = second->beginWriting(Attempt(serial));
        ASSERT_FALSE(refused.ok());
        EXPECT_EQ(refused.error(),
                  QStringLiteral("Token %1 was programmed at station pc12 a moment ago. Present "
                                 "it again to decide whether to program it again.")
                      .arg(serial));
        // Asked again (and the operator says Yes), it is written.
        ASSERT_TRUE(second->lastProgrammedBy(serial).ok());
        EXPECT_TRUE(second->beginWriting(Attempt(serial)).ok());
    }
}

TEST_F(PostgresJournalTest, PostgresRowOfAGoneConnectionIsReportedOnce)
{
    auto running = open(QStringLiteral("pc14"));
    ASSERT_TRUE(running);
    ASSERT_TRUE(running->beginWriting(Attempt("TK0401", Utc(2026, 12, 10, 12, 1))).ok());
    {
        auto stopped = open(QStringLiteral("pc12"));
        ASSERT_TRUE(stopped);
        ASSERT_TRUE(stopped->beginWriting(Attempt("TK0400", Utc(2026, 12, 10, 12, 0))).ok());
    }
    // The server ends the backend after the client went; the next station
    // starts once it is gone.
    ASSERT_TRUE(server()->psql(QStringLiteral("DO $$ BEGIN WHILE EXISTS (SELECT 1 FROM "
                                              "pg_stat_activity a JOIN attempts t ON a.pid = "
                                              "t.writer_pid WHERE t.serial = 'TK0400') LOOP "
                                              "PERFORM pg_sleep(0.01); END LOOP; END $$"),
                               database()))
        << server()->failure();

    auto starting = open(QStringLiteral("pc13"));
    ASSERT_TRUE(starting);
    const auto unfinished = starting->unfinished();
    ASSERT_TRUE(unfinished.ok()) << unfinished.error().toStdString();
    ASSERT_EQ(unfinished.value().size(), 1) << "pc14 still writes TK0401";
    const JournalAttempt& left = unfinished.value()[0];
    EXPECT_EQ(left.serialNumber, QStringLiteral("TK0400"));
    EXPECT_EQ(UnfinishedAttemptMessage(left),
              QStringLiteral("2026-12-10 14:00, reader Virtual PCD 00 00 at station pc12: Token "
                             "TK0400 may hold a seed that is recorded nowhere: program it "
                             "again."));
    ASSERT_TRUE(starting->markInterrupted({left.id}).ok());

    auto later = open(QStringLiteral("pc15"));
    ASSERT_TRUE(later);
    const auto again = later->unfinished();
    ASSERT_TRUE(again.ok());
    EXPECT_TRUE(again.value().isEmpty()) << "reported once";
    // An interrupted token may be written again.
    EXPECT_TRUE(later->beginWriting(Attempt("TK0400")).ok());
}

TEST_F(PostgresJournalTest, PostgresServerAwayRefusesAndComesBackByItself)
{
    auto journal = open(QStringLiteral("pc12"));
    ASSERT_TRUE(journal);
    ASSERT_TRUE(journal->lastProgrammed(QStringLiteral("TK0500")).ok());

    ASSERT_TRUE(server()->stop()) << server()->failure();
    const JournalResult<qint64> refused = journal->beginWriting(Attempt("TK0500"));
    ASSERT_FALSE(refused.ok());
    EXPECT_TRUE(refused.error().startsWith(QStringLiteral("The programming journal ")) &&
                refused.error().contains(
                    QStringLiteral("host=%1 cannot be reached: ").arg(server()->socketFolder())))
        << refused.error().toStdString();
    EXPECT_FALSE(journal->lastProgrammed(QStringLiteral("TK0500")).ok());

    // A station started while the server is away opens, says why, and
    // refuses until it answers.
    QString unreachable;
    auto waiting = PostgresJournal::open(connection(), QStringLiteral("pc13"), &unreachable);
    ASSERT_TRUE(waiting.ok()) << waiting.error().toStdString();
    EXPECT_TRUE(unreachable.contains(QStringLiteral("cannot be reached")))
        << unreachable.toStdString();
    EXPECT_FALSE(PostgresJournal::open(connection(), QStringLiteral("pc13")).ok());
    EXPECT_FALSE(waiting.value()->beginWriting(Attempt("TK0501")).ok());

    ASSERT_TRUE(server()->start()) << server()->failure();
    // Both go on by themselves: the calls that failed left their
    // connections broken, and the next call opens a new one.
    const JournalResult<qint64> begun = journal->beginWriting(Attempt("TK0500"));
    EXPECT_TRUE(begun.ok()) << begun.error().toStdString();

    // A restart while the station is idle is not seen at all.
    ASSERT_TRUE(server()->stop()) << server()->failure();
    ASSERT_TRUE(server()->start()) << server()->failure();
    const JournalResult<qint64> afterRestart = journal->beginWriting(Attempt("TK0502"));
    EXPECT_TRUE(afterRestart.ok()) << afterRestart.error().toStdString();
    EXPECT_TRUE(waiting.value()->beginWriting(Attempt("TK0501")).ok());
}

} // namespace
