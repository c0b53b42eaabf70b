// The journal under real processes: a station killed while it writes a token,
// and stations that write the journal at the same moment. Children are forked
// and report over pipes; the parent waits for what they say, never for a time.
#include "JournalTestSupport.h"

#include <QSet>
#include <csignal>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kAttemptsPerWriter = 200;

// Reads everything the other end writes until it closes it.
std::string ReadAll(int fd)
{
    std::string text;
    char buffer[512];
    ssize_t got;
    while ((got = read(fd, buffer, sizeof buffer)) > 0 || (got < 0 && errno == EINTR))
        if (got > 0)
            text.append(buffer, size_t(got));
    return text;
}

void Report(int fd, const QString& text)
{
    const QByteArray bytes = text.toUtf8() + '\n';
    [[maybe_unused]] const ssize_t written = write(fd, bytes.constData(), size_t(bytes.size()));
}

TEST_F(JournalTest, JournalCrashKilledWriterLeavesItsRowUnfinished)
{
    int pipeEnds[2];
    ASSERT_EQ(pipe(pipeEnds), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        close(pipeEnds[0]);
        auto journal = SqliteJournal::open(path());
        if (!journal.ok())
            _exit(1);
        const JournalResult<qint64> begun =
            journal.value()->beginWriting(Attempt("TK0500", Utc(2026, 12, 10, 12, 5)));
        if (!begun.ok())
            _exit(2);
        // The seed would go to the token now: the parent kills us here.
        Report(pipeEnds[1], QString::number(begun.value()));
        for (;;)
            pause();
    }
    close(pipeEnds[1]);
    std::string said;
    char c;
    while (read(pipeEnds[0], &c, 1) == 1 && c != '\n')
        said += c;
    ASSERT_EQ(kill(child, SIGKILL), 0);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    close(pipeEnds[0]);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL)
        << "the child ended before it was killed: status " << status;
    ASSERT_FALSE(said.empty());

    auto journal = OpenJournal(path());
    ASSERT_TRUE(journal);
    const JournalResult<QList<JournalAttempt>> open = journal->unfinished();
    ASSERT_TRUE(open.ok()) << open.error().toStdString();
    ASSERT_EQ(open.value().size(), 1);
    EXPECT_EQ(open.value()[0].id, std::stoll(said));
    EXPECT_EQ(open.value()[0].serialNumber, QStringLiteral("TK0500"));
    EXPECT_EQ(open.value()[0].reader, QStringLiteral("Virtual PCD 00 00"));
    EXPECT_EQ(open.value()[0].time, Utc(2026, 12, 10, 12, 5));
}

// Two stations open a journal that does not exist yet, at once, and each
// programs kAttemptsPerWriter tokens (begin, then finish). Every attempt is
// there, programmed, with an id of its own, and neither station ever saw an
// error (a "database is locked" would be one).
TEST_F(JournalTest, JournalConcurrencyTwoProcessesWriteEveryAttempt)
{
    int go[2];
    ASSERT_EQ(pipe(go), 0);
    struct Writer
    {
        pid_t pid = -1;
        int errors = -1;
    };
    std::vector<Writer> writers(2);
    for (size_t w = 0; w < writers.size(); ++w) {
        int errors[2];
        ASSERT_EQ(pipe(errors), 0);
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            close(go[1]);
            close(errors[0]);
            char start;
            if (read(go[0], &start, 1) != 0) // the parent closes it: both start together
                _exit(3);
            auto journal = SqliteJournal::open(path());
            if (!journal.ok()) {
                Report(errors[1], journal.error());
                _exit(1);
            }
            for (int i = 0; i < kAttemptsPerWriter; ++i) {
                const QString serial = QStringLiteral("W%1-%2").arg(w).arg(i);
                const JournalResult<qint64> begun = journal.value()->beginWriting(Attempt(serial));
                const JournalResult<void> finished =
                    begun.ok() ? journal.value()->finish(begun.value(), AttemptState::Programmed,
                                                         {}, {serial + QStringLiteral(".csv")})
                               : JournalResult<void>(JournalError{begun.error()});
                if (!finished.ok()) {
                    Report(errors[1], finished.error());
                    _exit(1);
                }
            }
            _exit(0);
        }
        close(errors[1]);
        writers[w] = {child, errors[0]};
    }
    close(go[0]);
    close(go[1]);
    for (const Writer& writer : writers) {
        const std::string errors = ReadAll(writer.errors);
        close(writer.errors);
        int status = 0;
        ASSERT_EQ(waitpid(writer.pid, &status, 0), writer.pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status;
        EXPECT_EQ(errors, "");
    }

    auto journal = OpenJournal(path());
    ASSERT_TRUE(journal);
    const JournalResult<QList<JournalAttempt>> listed = journal->list(std::nullopt, {});
    ASSERT_TRUE(listed.ok()) << listed.error().toStdString();
    QSet<qint64> ids;
    QSet<QString> serials;
    for (const JournalAttempt& attempt : listed.value()) {
        ids << attempt.id;
        serials << attempt.serialNumber;
        EXPECT_EQ(attempt.state, AttemptState::Programmed) << attempt.serialNumber.toStdString();
        EXPECT_EQ(attempt.exportFiles, QStringList{attempt.serialNumber + QStringLiteral(".csv")});
    }
    EXPECT_EQ(listed.value().size(), 2 * kAttemptsPerWriter);
    EXPECT_EQ(ids.size(), 2 * kAttemptsPerWriter);
    for (int w = 0; w < 2; ++w)
        for (int i = 0; i < kAttemptsPerWriter; ++i)
            EXPECT_TRUE(serials.contains(QStringLiteral("W%1-%2").arg(w).arg(i))) << w << " " << i;
}

// The stations of one process (one per reader) share a journal object, and
// a second object on the same file writes beside them.
TEST_F(JournalTest, JournalConcurrencyThreadsShareOneJournal)
{
    auto shared = OpenJournal(path());
    auto other = OpenJournal(path());
    ASSERT_TRUE(shared && other);
    constexpr int kPerThread = 50;
    std::vector<QString> failures(3);
    std::vector<std::thread> threads;
    for (int t = 0; t < 3; ++t)
        threads.emplace_back([&, t] {
            ProgrammingJournal& journal = t < 2 ? *shared : *other;
            for (int i = 0; i < kPerThread && failures[size_t(t)].isEmpty(); ++i) {
                const JournalResult<qint64> begun =
                    journal.beginWriting(Attempt(QStringLiteral("T%1-%2").arg(t).arg(i)));
                if (!begun.ok())
                    failures[size_t(t)] = begun.error();
                else if (auto done = journal.finish(begun.value(), AttemptState::Failed, "x", {});
                         !done.ok())
                    failures[size_t(t)] = done.error();
            }
        });
    for (std::thread& thread : threads)
        thread.join();
    for (const QString& failure : failures)
        EXPECT_EQ(failure, QString());
    const JournalResult<QList<JournalAttempt>> listed = shared->list(std::nullopt, {});
    ASSERT_TRUE(listed.ok());
    QSet<qint64> ids;
    for (const JournalAttempt& attempt : listed.value())
        ids << attempt.id;
    EXPECT_EQ(ids.size(), 3 * kPerThread);
}

} // namespace
