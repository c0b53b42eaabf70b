// The journal's rows through a real SQLite file: what each call leaves on the
// disk, read back by a journal opened afresh as the next start would.
#include "JournalTestSupport.h"

#include <sys/wait.h>
#include <unistd.h>

namespace {

const QStringList kFiles{QStringLiteral("/data/Seed-1.hex.csv"),
                         QStringLiteral("/data/Seed-1.b32.csv")};

TEST_F(JournalTest, JournalAttemptsKeepEveryOutcomeAcrossReopen)
{
    qint64 programmed = 0;
    qint64 failed = 0;
    qint64 refused = 0;
    {
        auto journal = OpenJournal(path());
        ASSERT_TRUE(journal);
        JournalResult<qint64> begun =
            journal->beginWriting(Attempt("TK0001", Utc(2026, 12, 10, 12, 5)));
        ASSERT_TRUE(begun.ok()) << begun.error().toStdString();
        programmed = begun.value();
        ASSERT_TRUE(journal->finish(programmed, AttemptState::Programmed, {}, kFiles).ok());

        begun = journal->beginWriting(Attempt("TK0002", Utc(2026, 12, 10, 12, 6)));
        ASSERT_TRUE(begun.ok());
        failed = begun.value();
        ASSERT_TRUE(journal
                        ->finish(failed, AttemptState::Failed,
                                 QStringLiteral("The token did not answer."), {})
                        .ok());

        JournalAttempt wrongToken = Attempt("TK0003", Utc(2026, 12, 10, 12, 7));
        wrongToken.state = AttemptState::Failed;
        wrongToken.reason = QStringLiteral("Another token is on the reader.");
        const JournalResult<qint64> recorded = journal->recordAttempt(wrongToken);
        ASSERT_TRUE(recorded.ok());
        refused = recorded.value();
    }
    auto journal = OpenJournal(path());
    ASSERT_TRUE(journal);
    const JournalResult<QList<JournalAttempt>> listed = journal->list(std::nullopt, {});
    ASSERT_TRUE(listed.ok()) << listed.error().toStdString();
    ASSERT_EQ(listed.value().size(), 3);
    const JournalAttempt& first = listed.value()[0];
    EXPECT_EQ(first.id, programmed);
    EXPECT_EQ(first.time, Utc(2026, 12, 10, 12, 5));
    EXPECT_EQ(first.reader, QStringLiteral("Virtual PCD 00 00"));
    EXPECT_EQ(first.serialNumber, QStringLiteral("TK0001"));
    EXPECT_EQ(first.settings, QStringLiteral("SHA1, step 30 s, display 60 s, clock synced"));
    EXPECT_EQ(first.exportFiles, kFiles);
    EXPECT_EQ(first.state, AttemptState::Programmed);
    EXPECT_EQ(first.reason, QString());
    EXPECT_EQ(listed.value()[1].id, failed);
    EXPECT_EQ(listed.value()[1].state, AttemptState::Failed);
    EXPECT_EQ(listed.value()[1].reason, QStringLiteral("The token did not answer."));
    EXPECT_EQ(listed.value()[2].id, refused);
    EXPECT_EQ(listed.value()[2].state, AttemptState::Failed);
    EXPECT_EQ(listed.value()[2].reason, QStringLiteral("Another token is on the reader."));
    const JournalResult<QList<JournalAttempt>> open = journal->unfinished();
    ASSERT_TRUE(open.ok());
    EXPECT_TRUE(open.value().isEmpty());
}

// A station that stopped after beginWriting (here a child process that ends
// without finishing): the next start sees the row until it marks it.
TEST_F(JournalTest, JournalRowLeftWritingIsUnfinishedUntilMarked)
{
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        auto journal = SqliteJournal::open(path());
        const bool begun =
            journal.ok() &&
            journal.value()->beginWriting(Attempt("TK0100", Utc(2026, 12, 10, 12, 5))).ok();
        _exit(begun ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

    auto journal = OpenJournal(path());
    ASSERT_TRUE(journal);
    JournalResult<QList<JournalAttempt>> open = journal->unfinished();
    ASSERT_TRUE(open.ok()) << open.error().toStdString();
    ASSERT_EQ(open.value().size(), 1);
    EXPECT_EQ(open.value()[0].serialNumber, QStringLiteral("TK0100"));
    EXPECT_EQ(open.value()[0].state, AttemptState::Writing);
    JournalResult<std::optional<QDateTime>> last = journal->lastProgrammed("TK0100");
    ASSERT_TRUE(last.ok());
    EXPECT_FALSE(last.value().has_value());

    ASSERT_TRUE(journal->markInterrupted({open.value()[0].id}).ok());
    journal = OpenJournal(path());
    ASSERT_TRUE(journal);
    open = journal->unfinished();
    ASSERT_TRUE(open.ok());
    EXPECT_TRUE(open.value().isEmpty());
    const JournalResult<QList<JournalAttempt>> listed = journal->list(std::nullopt, {});
    ASSERT_TRUE(listed.ok());
    ASSERT_EQ(listed.value().size(), 1);
    EXPECT_EQ(listed.value()[0].state, AttemptState::Interrupted);
    EXPECT_FALSE(listed.value()[0].reason.isEmpty());
}

// Another station on this machine, still running, is writing its token: a
// station starting beside it must not take the row for one left by a crash.
TEST_F(JournalTest, JournalRowOfARunningStationIsNotUnfinished)
{
    auto writing = OpenJournal(path());
    ASSERT_TRUE(writing);
    const JournalResult<qint64> begun = writing->beginWriting(Attempt("TK0200"));
    ASSERT_TRUE(begun.ok());
    auto starting = OpenJournal(path());
    ASSERT_TRUE(starting);
    const JournalResult<QList<JournalAttempt>> open = starting->unfinished();
    ASSERT_TRUE(open.ok());
    EXPECT_TRUE(open.value().isEmpty());
    EXPECT_TRUE(writing->finish(begun.value(), AttemptState::Programmed, {}, kFiles).ok());
}

TEST_F(JournalTest, JournalLastProgrammedCountsProgrammedAttemptsOnly)
{
    auto journal = OpenJournal(path());
    ASSERT_TRUE(journal);
    const auto begin = [&](const char* serial, const QDateTime& time) {
        const JournalResult<qint64> begun = journal->beginWriting(Attempt(serial, time));
        EXPECT_TRUE(begun.ok());
        return begun.ok() ? begun.value() : 0;
    };
    // TK1: programmed twice (the later one counts), then a failed attempt.
    EXPECT_TRUE(
        journal->finish(begin("TK1", Utc(2026, 1, 1, 9, 0)), AttemptState::Programmed, {}, {})
            .ok());
    EXPECT_TRUE(
        journal->finish(begin("TK1", Utc(2026, 3, 1, 9, 0)), AttemptState::Programmed, {}, {})
            .ok());
    EXPECT_TRUE(
        journal->finish(begin("TK1", Utc(2026, 4, 1, 9, 0)), AttemptState::Failed, "no", {}).ok());
    EXPECT_TRUE(
        journal->finish(begin("TK2", Utc(2026, 1, 1, 9, 0)), AttemptState::Failed, "no", {}).ok());
    begin("TK3", Utc(2026, 1, 1, 9, 0)); // still writing
    EXPECT_TRUE(journal->markInterrupted({begin("TK4", Utc(2026, 1, 1, 9, 0))}).ok());

    // "tk1": serial numbers match exactly, as the server's do.
    const struct
    {
        const char* serial;
        std::optional<QDateTime> expected;
    } cases[] = {
        {"TK1", Utc(2026, 3, 1, 9, 0)}, {"TK2", std::nullopt}, {"TK3", std::nullopt},
        {"TK4", std::nullopt},          {"tk1", std::nullopt}, {"TK9", std::nullopt},
    };
    for (const auto& c : cases) {
        const JournalResult<std::optional<QDateTime>> last = journal->lastProgrammed(c.serial);
        ASSERT_TRUE(last.ok()) << c.serial;
        EXPECT_EQ(last.value(), c.expected) << c.serial;
    }
}

TEST_F(JournalTest, JournalRefusesCallsThatWouldMisrecord)
{
    auto journal = OpenJournal(path());
    ASSERT_TRUE(journal);
    const JournalResult<qint64> begun = journal->beginWriting(Attempt("TK0300"));
    ASSERT_TRUE(begun.ok());
    const qint64 id = begun.value();

    EXPECT_FALSE(journal->finish(id, AttemptState::Writing, {}, {}).ok());
    EXPECT_FALSE(journal->finish(id, AttemptState::Interrupted, {}, {}).ok());
    EXPECT_FALSE(journal->finish(id + 1000, AttemptState::Programmed, {}, {}).ok());
    JournalAttempt stillWriting = Attempt("TK0301");
    EXPECT_FALSE(journal->recordAttempt(stillWriting).ok());

    // Marked interrupted, then its writer finishes after all: the truth wins.
    ASSERT_TRUE(journal->markInterrupted({id}).ok());
    ASSERT_TRUE(journal->finish(id, AttemptState::Programmed, {}, kFiles).ok());
    const JournalResult<void> twice = journal->finish(id, AttemptState::Failed, "late", {});
    EXPECT_FALSE(twice.ok());
    EXPECT_TRUE(twice.error().contains(QString::number(id))) << twice.error().toStdString();

    const JournalResult<QList<JournalAttempt>> listed = journal->list(std::nullopt, {});
    ASSERT_TRUE(listed.ok());
    ASSERT_EQ(listed.value().size(), 1);
    EXPECT_EQ(listed.value()[0].state, AttemptState::Programmed);
    EXPECT_EQ(listed.value()[0].exportFiles, kFiles);
}

TEST_F(JournalTest, JournalListFiltersBySinceAndSerial)
{
    auto journal = OpenJournal(path());
    ASSERT_TRUE(journal);
    const struct
    {
        const char* serial;
        QDateTime time;
    } rows[] = {
        {"TKA", Utc(2026, 12, 9, 23, 59, 59)},
        {"TKB", Utc(2026, 12, 10, 0, 0)},
        {"TKA", Utc(2026, 12, 10, 8, 0)},
        {"TKB", Utc(2026, 12, 11, 8, 0)},
    };
    for (const auto& row : rows) {
        JournalAttempt attempt = Attempt(row.serial, row.time);
        attempt.state = AttemptState::Failed;
        ASSERT_TRUE(journal->recordAttempt(attempt).ok());
    }
    const auto times = [&](const std::optional<QDateTime>& since, const QString& serial) {
        QList<QDateTime> found;
        const JournalResult<QList<JournalAttempt>> listed = journal->list(since, serial);
        EXPECT_TRUE(listed.ok());
        for (const JournalAttempt& attempt : listed.value())
            found << attempt.time;
        return found;
    };
    const QDateTime midnight = Utc(2026, 12, 10, 0, 0);
    EXPECT_EQ(times(std::nullopt, {}).size(), 4);
    EXPECT_EQ(times(midnight, {}),
              (QList{Utc(2026, 12, 10, 0, 0), Utc(2026, 12, 10, 8, 0), Utc(2026, 12, 11, 8, 0)}));
    EXPECT_EQ(times(std::nullopt, "TKA"),
              (QList{Utc(2026, 12, 9, 23, 59, 59), Utc(2026, 12, 10, 8, 0)}));
    EXPECT_EQ(times(midnight, "TKA"), (QList{Utc(2026, 12, 10, 8, 0)}));
    EXPECT_TRUE(times(Utc(2027, 1, 1, 0, 0), {}).isEmpty());
}

} // namespace
