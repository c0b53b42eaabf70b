// `station program`, `station readers` and `station info` as a terminal runs
// them: the real program in a child process, on a private pcscd whose
// readers hold virtual tokens.
#include "CommandLineTokens.h"
#include "PcscFixture.h"
#include "PskcReaders.h"
#include "journal/JournalFiles.h"
#include "journal/SqliteJournal.h"
#include "seed/Base32.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QTemporaryDir>
#include <algorithm>
#include <csignal>
#include <gtest/gtest.h>
#include <thread>

namespace {

class CommandLineTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(pcsc.ok()) << pcsc.failure(); }

    QString reader(int slot) const { return QString::fromStdString(pcsc.readerName(slot)); }
    // serial number -> Base32 seed, from the one .b32.csv file of the folder.
    std::map<QString, QString> records() const
    {
        std::map<QString, QString> records;
        const QStringList files = QDir(data.path()).entryList({"*.b32.csv"}, QDir::Files);
        if (files.size() != 1)
            return records;
        QFile file(QDir(data.path()).filePath(files.first()));
        if (!file.open(QIODevice::ReadOnly))
            return records;
        for (const QString& line :
             QString::fromUtf8(file.readAll()).split("\r\n", Qt::SkipEmptyParts))
            records[line.section(',', 0, 0)] = line.section(',', 1);
        return records;
    }

    PcscFixture pcsc; // first: before any PC/SC call or thread
    QTemporaryDir data;
};

} // namespace

TEST_F(CommandLineTest, ListsTheReadersAndReadsTheirTokens)
{
    StationCommand readers({"readers"});
    EXPECT_EQ(readers.finish(), 0);
    EXPECT_EQ(readers.output(), (reader(0) + "\n" + reader(1) + "\n").toUtf8());

    ASSERT_TRUE(pcsc.insert(1, Token("CL0001"))) << pcsc.failure();
    StationCommand info({"info"});
    EXPECT_EQ(info.finish(), 0);
    const QList<QJsonObject> lines = info.events();
    ASSERT_EQ(lines.size(), 2);
    EXPECT_EQ(lines[0]["reader"].toString(), reader(0));
    EXPECT_EQ(lines[0]["error"].toString(), "no token");
    EXPECT_EQ(lines[1]["serial"].toString(), "CL0001");
    EXPECT_EQ(lines[1]["clock"].toString().size(), 19);
}

TEST_F(CommandLineTest, ProgramsTheTokenOnTheReaderAndReportsItInJson)
{
    auto token = Token("CL0002");
    ASSERT_TRUE(pcsc.insert(0, token)) << pcsc.failure();
    StationCommand program({"program", "--reader", reader(0), "--random", "64", "--algorithm",
                            "SHA256", "--step", "60", "--display", "120", "--export", data.path()});
    ASSERT_EQ(program.finish(), 0) << program.errorText().toStdString();

    const QList<QJsonObject> events = program.events();
    ASSERT_EQ(events.size(), 1) << program.output().toStdString();
    EXPECT_EQ(events[0]["event"].toString(), "token");
    EXPECT_EQ(events[0]["reader"].toString(), reader(0));
    EXPECT_EQ(events[0]["serial"].toString(), "CL0002");
    EXPECT_EQ(events[0]["result"].toString(), "programmed");
    EXPECT_EQ(events[0]["exportFiles"].toArray().size(), 3);

    const VirtualTokenState state = token->state();
    const QString seed = records().at("CL0002");
    EXPECT_EQ(seed.size(), 64);
    EXPECT_EQ(state.seed, SeedBytes(seed));
    EXPECT_EQ(state.algorithm, 2);
    EXPECT_EQ(state.timeStep, 60);
    EXPECT_EQ(state.displayTime, 120);
    // The seed is in the export files only.
    EXPECT_FALSE(program.output().contains(seed.toUtf8()));
    EXPECT_FALSE(program.errorText().contains(seed));
}

TEST_F(CommandLineTest, FailuresAndMistakesGiveTheirExitStatus)
{
    StationCommand empty({"program", "--reader", reader(0), "--export", data.path()});
    EXPECT_EQ(empty.finish(), 1);
    ASSERT_EQ(empty.events().size(), 1);
    EXPECT_EQ(empty.events()[0]["result"].toString(), "failed");
    EXPECT_EQ(empty.events()[0]["reason"].toString(), "No token or card detected!");

    StationCommand unknown({"program", "--reader", "No Such Reader", "--export", data.path()});
    EXPECT_EQ(unknown.finish(), 2);
    EXPECT_TRUE(unknown.errorText().contains("no reader named \"No Such Reader\""));
    StationCommand wrong({"program", "--reader", reader(0), "--step", "45"});
    EXPECT_EQ(wrong.finish(), 2);
    EXPECT_TRUE(wrong.output().isEmpty());
    // A journal that cannot be opened (a folder in its place) is said to be
    // so once. It lies inside the test's folder: the station makes the
    // journal's folder the owner's only.
    const QString folderInPlace = data.filePath("folder.sqlite");
    ASSERT_TRUE(QDir().mkpath(folderInPlace));
    StationCommand folderJournal(
        {"program", "--reader", reader(0), "--journal", folderInPlace, "--export", data.path()});
    EXPECT_EQ(folderJournal.finish(), 2);
    EXPECT_EQ(folderJournal.errorText().count("cannot be opened"), 1)
        << folderJournal.errorText().toStdString();
}

// --auto on two readers with a seed file: every token presented is
// programmed with its own seed, one the file does not list fails without
// stopping the line, and Ctrl+C in the middle of a token lets it finish.
TEST_F(CommandLineTest, ProgramsEachTokenPresentedUntilInterrupted)
{
    QFile seedFile(QDir(data.path()).filePath("seeds.csv"));
    ASSERT_TRUE(seedFile.open(QIODevice::WriteOnly));
    const QString seeds[] = {"JBSWY3DPEHPK3PXP", "GEZDGNBVGY3TQOJQ", "MFRGGZDFMZTWQ2LK",
                             "ONSWG4TFOQ======", "KRSXG5CTMVSWIIDB", "IFBEGRCFIZDUQSKK"};
    for (int i = 0; i < 6; ++i)
        seedFile.write(QStringLiteral("AT%1,%2\n").arg(i).arg(seeds[i]).toUtf8());
    seedFile.close();
    auto waiting = Token("LEFT0001"); // on the reader before the start: left alone
    ASSERT_TRUE(pcsc.insert(1, waiting)) << pcsc.failure();

    StationCommand program({"program", "--auto", "--reader", reader(0), "--reader", reader(1),
                            "--seed-file", seedFile.fileName(), "--export", data.path()});
    ASSERT_TRUE(program.waitForError("Watching " + reader(0)));
    ASSERT_TRUE(program.waitForError("Watching " + reader(1)));
    ASSERT_TRUE(pcsc.remove(1)) << pcsc.failure();

    std::vector<std::shared_ptr<VirtualToken>> tokens;
    int events = 0;
    for (int i = 0; i < 5; ++i) {
        const int slot = i % 2;
        tokens.push_back(Token("AT" + std::to_string(i)));
        ASSERT_TRUE(pcsc.insert(slot, tokens.back())) << pcsc.failure();
        ASSERT_TRUE(program.waitForEvents(++events)) << program.errorText().toStdString();
        ASSERT_TRUE(pcsc.remove(slot)) << pcsc.failure();
        if (i == 2) {
            auto unlisted = Token("NOTLISTED");
            ASSERT_TRUE(pcsc.insert(1, unlisted)) << pcsc.failure();
            ASSERT_TRUE(program.waitForEvents(++events));
            EXPECT_EQ(program.events().last()["result"].toString(), "failed");
            EXPECT_TRUE(unlisted->state().seed.empty());
            ASSERT_TRUE(pcsc.remove(1)) << pcsc.failure();
        }
    }

    // Ctrl+C while the last token is being programmed.
    auto last = Token("AT5");
    last->setAnswerDelay(std::chrono::milliseconds(100));
    ASSERT_TRUE(pcsc.insert(0, last)) << pcsc.failure();
    ASSERT_TRUE(WaitForCommand(*last, kAuthenticate));
    program.interrupt();
    EXPECT_EQ(program.finish(), 1) << program.errorText().toStdString(); // one token failed
    EXPECT_TRUE(WaitForCommand(*last, kWriteSeed));
    tokens.push_back(last);

    const QList<QJsonObject> all = program.events();
    ASSERT_EQ(all.size(), 7) << program.output().toStdString();
    EXPECT_EQ(all.last()["serial"].toString(), "AT5");
    EXPECT_EQ(all.last()["result"].toString(), "programmed");
    const std::map<QString, QString> recorded = records();
    EXPECT_EQ(recorded.size(), 6u);
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(tokens[i]->state().seed, SeedBytes(seeds[i])) << i;
        EXPECT_EQ(recorded.at(QStringLiteral("AT%1").arg(i)), seeds[i]);
    }
    EXPECT_TRUE(waiting->state().seed.empty());
}

// One user per token: five tokens with random seeds take the users of a list
// in order, and the line stops by itself once every user has a token; five
// tokens from a seed file of three columns get the users it names. Each
// user is in the token's directory-import record, its JSON line and its
// journal row.
TEST_F(CommandLineTest, EachTokenGetsItsOwnUserFromAListOrTheSeedFile)
{
    const QStringList users{"ana@example.org", "bob@example.org", "carl@example.org",
                            "dora@example.org", "eve@example.org"};
    QFile list(QDir(data.path()).filePath("users.txt"));
    ASSERT_TRUE(list.open(QIODevice::WriteOnly));
    list.write(users.join("\r\n").toUtf8() + "\r\n");
    list.close();
    QFile seedFile(QDir(data.path()).filePath("seeds.csv"));
    ASSERT_TRUE(seedFile.open(QIODevice::WriteOnly));
    std::map<QString, QString> expected;
    for (int i = 0; i < 5; ++i) {
        const QString serial = QStringLiteral("SF%1").arg(i);
        expected[serial] = QStringLiteral("file%1@example.org").arg(i);
        seedFile.write((serial + ",JBSWY3DPEHPK3PXP," + expected[serial] + "\n").toUtf8());
    }
    seedFile.close();

    StationCommand fromList({"program", "--auto", "--reader", reader(0), "--users", list.fileName(),
                             "--export", data.path()});
    ASSERT_TRUE(fromList.waitForError("Watching " + reader(0)));
    for (int i = 0; i < 5; ++i) {
        const QString serial = QStringLiteral("UL%1").arg(i);
        expected[serial] = users[i];
        ASSERT_TRUE(pcsc.insert(0, Token(serial.toStdString()))) << pcsc.failure();
        ASSERT_TRUE(fromList.waitForEvents(i + 1)) << fromList.errorText().toStdString();
        EXPECT_EQ(fromList.events().last()["user"].toString(), users[i]);
        ASSERT_TRUE(pcsc.remove(0)) << pcsc.failure();
    }
    // Every user has a token: the line holds, by itself.
    EXPECT_EQ(fromList.finish(), 0) << fromList.errorText().toStdString();
    EXPECT_TRUE(fromList.errorText().contains("is used up: every user has a token"));

    StationCommand fromFile({"program", "--auto", "--reader", reader(0), "--seed-file",
                             seedFile.fileName(), "--export", data.path()});
    ASSERT_TRUE(fromFile.waitForError("Watching " + reader(0)));
    for (int i = 0; i < 5; ++i) {
        const QString serial = QStringLiteral("SF%1").arg(i);
        ASSERT_TRUE(pcsc.insert(0, Token(serial.toStdString()))) << pcsc.failure();
        ASSERT_TRUE(fromFile.waitForEvents(i + 1)) << fromFile.errorText().toStdString();
        EXPECT_EQ(fromFile.events().last()["user"].toString(), expected[serial]);
        ASSERT_TRUE(pcsc.remove(0)) << pcsc.failure();
    }
    fromFile.interrupt();
    EXPECT_EQ(fromFile.finish(), 0) << fromFile.errorText().toStdString();

    // The records of both runs: one directory-import file per run.
    std::map<QString, QString> recorded;
    const QStringList azureFiles = QDir(data.path()).entryList({"*.azure.csv"}, QDir::Files);
    EXPECT_EQ(azureFiles.size(), 2);
    for (const QString& name : azureFiles) {
        QFile azure(QDir(data.path()).filePath(name));
        ASSERT_TRUE(azure.open(QIODevice::ReadOnly));
        const QStringList lines =
            QString::fromUtf8(azure.readAll()).split("\r\n", Qt::SkipEmptyParts);
        for (qsizetype i = 1; i < lines.size(); ++i)
            recorded[lines[i].section(',', 1, 1)] = lines[i].section(',', 0, 0);
    }
    EXPECT_EQ(recorded, expected);
    std::map<QString, QString> journaled;
    auto journal = SqliteJournal::open(JournalDatabasePath(data.path()));
    ASSERT_TRUE(journal.ok()) << journal.error().toStdString();
    const auto attempts = journal.value()->list(std::nullopt, {});
    ASSERT_TRUE(attempts.ok());
    for (const JournalAttempt& attempt : attempts.value())
        journaled[attempt.serialNumber] = attempt.userName;
    EXPECT_EQ(journaled, expected);

    // A list that cannot be read, or one beside a seed file, is a mistake.
    StationCommand missing({"program", "--reader", reader(0), "--users",
                            QDir(data.path()).filePath("none.txt"), "--export", data.path()});
    EXPECT_EQ(missing.finish(), 2);
    EXPECT_TRUE(missing.errorText().contains("Failed to load user list!"));
    StationCommand both({"program", "--reader", reader(0), "--users", list.fileName(),
                         "--seed-file", seedFile.fileName()});
    EXPECT_EQ(both.finish(), 2);
}

// The journal: a token programmed before is not programmed again without
// the operator's Yes (and the command line says No); a station killed
// between sending the seed and recording it is reported at the next start.
TEST_F(CommandLineTest, TheJournalCatchesATokenProgrammedTwiceAndASeedRecordedNowhere)
{
    auto token = Token("JN0001");
    ASSERT_TRUE(pcsc.insert(0, token)) << pcsc.failure();
    StationCommand first({"program", "--reader", reader(0), "--export", data.path()});
    ASSERT_EQ(first.finish(), 0) << first.errorText().toStdString();
    StationCommand again({"program", "--reader", reader(0), "--export", data.path()});
    EXPECT_EQ(again.finish(), 1);
    ASSERT_EQ(again.events().size(), 1);
    EXPECT_EQ(again.events()[0]["result"].toString(), "failed");
    EXPECT_TRUE(again.errorText().contains("Token JN0001 was programmed on "));
    EXPECT_TRUE(again.errorText().contains("Program it again? No"));
    const auto commands = token->received();
    EXPECT_EQ(std::count_if(commands.begin(), commands.end(),
                            [](const auto& c) { return c.size() > 1 && c[1] == kWriteSeed; }),
              1);

    // Killed while the token holds its new seed and the answer is on its way.
    auto lost = Token("JN0002");
    lost->delayAnswerTo(kWriteSeed, std::chrono::minutes(1));
    ASSERT_TRUE(pcsc.insert(1, lost)) << pcsc.failure();
    StationCommand killed({"program", "--reader", reader(1), "--export", data.path()});
    ASSERT_TRUE(WaitForCommand(*lost, kWriteSeed));
    killed.interrupt(SIGKILL);
    EXPECT_EQ(killed.finish(), -1);
    EXPECT_FALSE(lost->state().seed.empty());
    EXPECT_EQ(records().count("JN0002"), 0u);

    const QString told = "Token JN0002 may hold a seed that is recorded nowhere: program it again.";
    StationCommand next({"program", "--reader", reader(0), "--export", data.path()});
    next.finish();
    EXPECT_TRUE(next.errorText().contains(told)) << next.errorText().toStdString();
    StationCommand later({"program", "--reader", reader(0), "--export", data.path()});
    later.finish();
    EXPECT_FALSE(later.errorText().contains(told)); // told once, kept as interrupted
}

// `station journal --export DIR` lists the journal that `station program
// --export DIR` kept there, and not the station's own.
TEST_F(CommandLineTest, ListsTheJournalKeptInTheExportFolder)
{
    ASSERT_TRUE(pcsc.insert(0, Token("JE0001"))) << pcsc.failure();
    StationCommand program({"program", "--reader", reader(0), "--export", data.path()});
    ASSERT_EQ(program.finish(), 0) << program.errorText().toStdString();
    const QJsonArray files = program.events()[0]["exportFiles"].toArray();

    StationCommand json({"journal", "--export", data.path(), "--json"});
    ASSERT_EQ(json.finish(), 0) << json.errorText().toStdString();
    const QList<QJsonObject> attempts = json.events();
    ASSERT_EQ(attempts.size(), 1) << json.output().toStdString();
    EXPECT_EQ(attempts[0]["serial"].toString(), "JE0001");
    EXPECT_EQ(attempts[0]["reader"].toString(), reader(0));
    EXPECT_EQ(attempts[0]["state"].toString(), "programmed");
    EXPECT_EQ(attempts[0]["exportFiles"].toArray(), files);

    StationCommand text({"journal", "--export", data.path(), "--serial", "JE0001"});
    ASSERT_EQ(text.finish(), 0) << text.errorText().toStdString();
    const QStringList lines = QString::fromUtf8(text.output()).split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 2) << text.output().toStdString();
    EXPECT_TRUE(lines[1].contains("programmed") && lines[1].contains("JE0001"));
}

// --pskc: the set gets a PSKC document the independent readers accept, in
// clear or under the pre-shared key in a file.
TEST_F(CommandLineTest, DeliversTheSeedsAsPskc)
{
    for (const bool encrypted : {false, true}) {
        QTemporaryDir folder;
        const QString keyHex = QStringLiteral("000102030405060708090a0b0c0d0e0f");
        QStringList arguments{"program", "--reader", reader(0),  "--algorithm", "SHA256",
                              "--step",  "60",       "--export", folder.path(), "--pskc"};
        if (encrypted) {
            QFile key(QDir(folder.path()).filePath("key.txt"));
            ASSERT_TRUE(key.open(QIODevice::WriteOnly));
            key.write(keyHex.toLatin1() + "\n");
            key.close();
            arguments << "--pskc-key" << key.fileName();
        }
        const std::string serial = encrypted ? "PS0002" : "PS0001";
        auto token = Token(serial);
        ASSERT_TRUE(pcsc.insert(0, token)) << pcsc.failure();
        StationCommand program(arguments);
        ASSERT_EQ(program.finish(), 0) << program.errorText().toStdString();
        ASSERT_TRUE(pcsc.remove(0)) << pcsc.failure();

        const QStringList files = QDir(folder.path()).entryList({"*.pskc.xml"}, QDir::Files);
        ASSERT_EQ(files.size(), 1);
        const QString path = QDir(folder.path()).filePath(files.first());
        EXPECT_TRUE(program.events()[0]["exportFiles"].toArray().contains(path));
        const std::vector<uint8_t> seed = token->state().seed;
        PskcRecord record;
        record.serialNumber = QString::fromStdString(serial);
        record.seed = ByteString(seed.data(), seed.size());
        record.algorithm = "SHA256";
        record.timeStep = 60;
        ExpectDocumentHolds(path, {record}, encrypted ? keyHex : QString(),
                            encrypted ? QStringLiteral("Pre-shared-key") : QString());
    }
}

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
