// `station journal`: the listing through RunJournalCommand, its exit status,
// and the program's dispatch to it without a desktop.
#include "JournalTestSupport.h"
#include "journal/JournalCommand.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cstdio>
#include <sys/wait.h>

namespace {

struct CommandRun
{
    int status = -1;
    QString out;
    QString err;
    QStringList lines() const { return out.split(QLatin1Char('\n'), Qt::SkipEmptyParts); }
};

CommandRun RunCommand(const QStringList& args, const QString& databasePath)
{
    CommandRun run;
    QTextStream out(&run.out);
    QTextStream err(&run.err);
    run.status = RunJournalCommand(args, out, err, databasePath);
    out.flush();
    err.flush();
    return run;
}

// Three attempts: programmed (two files, a user), failed, and one still
// writing with a reader name that holds a line break.
class JournalCommandTest : public JournalTest
{
protected:
    void SetUp() override
    {
        JournalTest::SetUp();
        auto journal = OpenJournal(path());
        ASSERT_TRUE(journal);
        JournalAttempt firstAttempt = Attempt("TK0001", Utc(2026, 12, 10, 12, 5));
        firstAttempt.userName = QStringLiteral("ana@example.org");
        const JournalResult<qint64> first = journal->beginWriting(firstAttempt);
        ASSERT_TRUE(first.ok());
        ASSERT_TRUE(
            journal
                ->finish(first.value(), AttemptState::Programmed, {},
                         {QStringLiteral("/d/Seed.hex.csv"), QStringLiteral("/d/Seed.b32.csv")})
                .ok());
        JournalAttempt failed = Attempt("TK0002", Utc(2026, 12, 10, 22, 30));
        failed.state = AttemptState::Failed;
        failed.reason = QStringLiteral("The customer key was refused.");
        ASSERT_TRUE(journal->recordAttempt(failed).ok());
        ASSERT_TRUE(journal
                        ->beginWriting(Attempt("TK0001", Utc(2026, 12, 11, 9, 0),
                                               QStringLiteral("Reader\nTwo")))
                        .ok());
    }
};

TEST_F(JournalCommandTest, JournalCommandTextIsOneAlignedLinePerAttempt)
{
    const CommandRun run = RunCommand({}, path());
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, QString());
    const QStringList lines = run.lines();
    ASSERT_EQ(lines.size(), 4) << run.out.toStdString();
    EXPECT_TRUE(lines[0].startsWith(QLatin1String("ID"))) << lines[0].toStdString();
    // Local time (UTC+2 here), every column where the title's is.
    EXPECT_TRUE(lines[1].contains(QLatin1String("2026-12-10 14:05:00"))) << lines[1].toStdString();
    EXPECT_TRUE(lines[1].contains(QLatin1String("/d/Seed.hex.csv, /d/Seed.b32.csv")));
    EXPECT_TRUE(lines[2].contains(QLatin1String("The customer key was refused.")));
    EXPECT_TRUE(lines[3].contains(QLatin1String("Reader\\nTwo"))) << lines[3].toStdString();
    // The user under its title; "-" for an attempt that names none.
    const qsizetype userColumn = lines[0].indexOf(QLatin1String("USER"));
    EXPECT_EQ(lines[1].mid(userColumn, 15), QStringLiteral("ana@example.org"));
    EXPECT_EQ(lines[2].mid(userColumn, 2), QStringLiteral("- "));
    for (const char* title : {"STATE", "SERIAL", "USER", "READER", "SETTINGS"}) {
        const qsizetype column = lines[0].indexOf(QLatin1String(title));
        ASSERT_GT(column, 0) << title;
        for (qsizetype i = 1; i < lines.size(); ++i) {
            EXPECT_NE(lines[i][column], QLatin1Char(' '))
                << title << " in " << lines[i].toStdString();
            EXPECT_EQ(lines[i].mid(column - 2, 2), QStringLiteral("  "))
                << title << " in " << lines[i].toStdString();
        }
    }
    EXPECT_EQ(lines[1].section(QLatin1Char(' '), 3, 3, QString::SectionSkipEmpty),
              QStringLiteral("programmed"));
}

TEST_F(JournalCommandTest, JournalCommandJsonIsOneObjectPerLine)
{
    const CommandRun run = RunCommand({QStringLiteral("--json")}, path());
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.err, QString());
    const QStringList lines = run.lines();
    ASSERT_EQ(lines.size(), 3) << run.out.toStdString();
    QList<QJsonObject> objects;
    for (const QString& line : lines) {
        QJsonParseError error{};
        const QJsonDocument document = QJsonDocument::fromJson(line.toUtf8(), &error);
        ASSERT_EQ(error.error, QJsonParseError::NoError) << line.toStdString();
        ASSERT_TRUE(document.isObject());
        objects << document.object();
    }
    const QJsonObject& first = objects[0];
    EXPECT_EQ(first.value("time").toString(), QStringLiteral("2026-12-10T12:05:00.000Z"));
    EXPECT_EQ(first.value("reader").toString(), QStringLiteral("Virtual PCD 00 00"));
    EXPECT_EQ(first.value("serial").toString(), QStringLiteral("TK0001"));
    EXPECT_EQ(first.value("user").toString(), QStringLiteral("ana@example.org"));
    EXPECT_EQ(objects[1].value("user"), QJsonValue(QString()));
    EXPECT_EQ(first.value("settings").toString(),
              QStringLiteral("SHA1, step 30 s, display 60 s, clock synced"));
    EXPECT_EQ(first.value("exportFiles").toArray(),
              (QJsonArray{QStringLiteral("/d/Seed.hex.csv"), QStringLiteral("/d/Seed.b32.csv")}));
    EXPECT_EQ(first.value("state").toString(), QStringLiteral("programmed"));
    EXPECT_EQ(first.value("reason").toString(), QString());
    EXPECT_EQ(objects[1].value("state").toString(), QStringLiteral("failed"));
    EXPECT_EQ(objects[1].value("reason").toString(),
              QStringLiteral("The customer key was refused."));
    EXPECT_EQ(objects[2].value("state").toString(), QStringLiteral("writing"));
    EXPECT_EQ(objects[2].value("reader").toString(), QStringLiteral("Reader\nTwo"));
}

TEST_F(JournalCommandTest, JournalCommandFiltersBySinceAndSerial)
{
    const struct
    {
        QStringList args;
        QStringList times; // the listed attempts' times, UTC
    } cases[] = {
        // Local midnight of the 11th is 22:00 UTC on the 10th.
        {{"--since", "2026-12-11"}, {"2026-12-10T22:30:00.000Z", "2026-12-11T09:00:00.000Z"}},
        {{"--since=2026-12-10T22:31:00Z"}, {"2026-12-11T09:00:00.000Z"}},
        {{"--since", "2026-12-11T00:31"}, {"2026-12-11T09:00:00.000Z"}}, // local
        {{"--since", "2026-12-10T14:00:00+01:00"},
         {"2026-12-10T22:30:00.000Z", "2026-12-11T09:00:00.000Z"}},
        {{"--serial", "TK0001"}, {"2026-12-10T12:05:00.000Z", "2026-12-11T09:00:00.000Z"}},
        {{"--serial=TK0001", "--since", "2026-12-11"}, {"2026-12-11T09:00:00.000Z"}},
        {{"--serial", "TK9999"}, {}},
    };
    for (const auto& c : cases) {
        const CommandRun run = RunCommand(QStringList(c.args) << QStringLiteral("--json"), path());
        EXPECT_EQ(run.status, 0) << c.args.join(' ').toStdString() << ": " << run.err.toStdString();
        QStringList times;
        for (const QString& line : run.lines())
            times << QJsonDocument::fromJson(line.toUtf8()).object().value("time").toString();
        EXPECT_EQ(times, c.times) << c.args.join(' ').toStdString();
    }
}

TEST_F(JournalCommandTest, JournalCommandBadArgumentsExitTwo)
{
    const QList<QStringList> cases{
        {"--since"},
        {"--since", "yesterday"},
        {"--since", "2026-02-30"},
        {"--since", "2026-12-10T25:00"},
        {"--since", "2026-12-10", "--since", "2026-12-11"},
        {"--serial", ""},
        {"--serial"},
        {"--export"},
        {"--export", ""},
        {"--export", "/a", "--export", "/b"},
        {"--json=yes"},
        {"--verbose"},
        {"TK0001"},
    };
    for (const QStringList& args : cases) {
        const CommandRun run = RunCommand(args, path());
        EXPECT_EQ(run.status, 2) << args.join(' ').toStdString();
        EXPECT_EQ(run.out, QString()) << args.join(' ').toStdString();
        EXPECT_TRUE(run.err.contains(QLatin1String("Usage:"))) << run.err.toStdString();
    }
    const CommandRun help = RunCommand({QStringLiteral("--help")}, path());
    EXPECT_EQ(help.status, 0);
    EXPECT_TRUE(help.out.contains(QLatin1String("--since DATE"))) << help.out.toStdString();
    EXPECT_TRUE(help.out.contains(path()));
}

// --export DIR: the journal in DIR, in place of the one the program was given;
// a folder that holds none, or no folder, is said so, not listed as empty.
TEST_F(JournalCommandTest, JournalCommandExportListsTheJournalOfThatFolder)
{
    const QString elsewhere = QDir(dataFolder()).filePath(QStringLiteral("none/journal.sqlite"));
    CommandRun run =
        RunCommand({QStringLiteral("--export"), dataFolder(), QStringLiteral("--json")}, elsewhere);
    EXPECT_EQ(run.status, 0) << run.err.toStdString();
    EXPECT_EQ(run.lines().size(), 3) << run.out.toStdString();
    run = RunCommand({QStringLiteral("--export=") + dataFolder(), QStringLiteral("--help")},
                     elsewhere);
    EXPECT_TRUE(run.out.contains(path())) << run.out.toStdString();

    ASSERT_TRUE(QDir(dataFolder()).mkdir(QStringLiteral("empty")));
    const struct
    {
        QString folder;
        const char* said;
    } missing[] = {
        {QDir(dataFolder()).filePath(QStringLiteral("empty")),
         "there is no programming journal in "},
        {QDir(dataFolder()).filePath(QStringLiteral("nowhere")), "there is no folder "},
    };
    for (const auto& c : missing) {
        run = RunCommand({QStringLiteral("--export"), c.folder}, path());
        EXPECT_EQ(run.status, 1) << c.folder.toStdString();
        EXPECT_EQ(run.out, QString());
        EXPECT_TRUE(run.err.contains(QLatin1String(c.said) + c.folder)) << run.err.toStdString();
    }
    EXPECT_FALSE(QFile::exists(QDir(dataFolder()).filePath(QStringLiteral("nowhere"))));
}

TEST_F(JournalTest, JournalCommandListsNothingWithoutCreatingAJournal)
{
    CommandRun run = RunCommand({QStringLiteral("--json")}, path());
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, QString());
    run = RunCommand({}, path());
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, QStringLiteral("No programming attempts recorded.\n"));
    EXPECT_FALSE(QFile::exists(dataFolder()));
}

TEST_F(JournalTest, JournalCommandThatCannotReadTheJournalExitsOne)
{
    ASSERT_TRUE(QDir().mkpath(dataFolder()));
    ASSERT_TRUE(QFile::link(QStringLiteral("/etc/hostname"), path()));
    const CommandRun run = RunCommand({QStringLiteral("--json")}, path());
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, QString());
    EXPECT_TRUE(run.err.contains(QLatin1String("is a link"))) << run.err.toStdString();
}

// The program itself: `station journal` runs without a desktop session and
// without opening a window, and lists the journal of the station's Data folder.
TEST(JournalCommandProgram, JournalCommandRunsWithoutDesktop)
{
    const auto program = [](const char* args) {
        const std::string command =
            std::string("env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM '") +
            STATION_PROGRAM + "' journal " + args + " 2>&1";
        FILE* pipe = popen(command.c_str(), "r");
        EXPECT_NE(pipe, nullptr);
        QByteArray output;
        char buffer[4096];
        size_t got;
        while (pipe && (got = fread(buffer, 1, sizeof buffer, pipe)) > 0)
            output.append(buffer, qsizetype(got));
        const int status = pipe ? pclose(pipe) : -1;
        return std::pair{WIFEXITED(status) ? WEXITSTATUS(status) : -1, QString::fromUtf8(output)};
    };
    const auto [helpStatus, help] = program("--help");
    EXPECT_EQ(helpStatus, 0) << help.toStdString();
    EXPECT_TRUE(help.contains(QLatin1String("Data/journal.sqlite"))) << help.toStdString();
    const auto [badStatus, bad] = program("--since never");
    EXPECT_EQ(badStatus, 2) << bad.toStdString();
    EXPECT_TRUE(bad.contains(QLatin1String("--since never"))) << bad.toStdString();
}

} // namespace
