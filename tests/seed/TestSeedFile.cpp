#include "QtPrinters.h"
#include "SeedFileTest.h"
#include "seed/SeedFile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <map>
#include <string>
#include <thread>

namespace {

using Entries = std::map<QString, QString>;

constexpr char kSeedA[] = "JBSWY3DPEHPK3PXP";
constexpr char kSeedB[] = "GEZDGNBVGY3TQOJQGEZDGNBVGY3TQOJQ";

// The entries of the table for these serial numbers.
Entries entries(const SeedTable& table, std::initializer_list<const char*> serials)
{
    Entries found;
    for (const char* serial : serials)
        if (auto seed = table.find(QString::fromUtf8(serial)))
            found[QString::fromUtf8(serial)] = *seed;
    return found;
}

struct GoodFile
{
    const char* name;
    std::string bytes;
    Entries expected;
};

// Files that load, and what the table holds afterwards.
TEST_F(SeedFileTest, LoadsEveryRecordOfAGoodFile)
{
    const std::string a = kSeedA, b = kSeedB;
    const GoodFile cases[] = {
        {"lf", "SN1," + a + "\nSN2," + b + "\n", {{"SN1", kSeedA}, {"SN2", kSeedB}}},
        {"crlf", "SN1," + a + "\r\nSN2," + b + "\r\n", {{"SN1", kSeedA}, {"SN2", kSeedB}}},
        {"last line without end", "SN1," + a + "\nSN2," + b, {{"SN1", kSeedA}, {"SN2", kSeedB}}},
        {"empty and comma-less lines skipped",
         "\nno comma here\r\n\r\nSN1," + a + "\n\n",
         {{"SN1", kSeedA}}},
        {"later duplicate wins", "SN1," + a + "\nSN1," + b + "\n", {{"SN1", kSeedB}}},
        {"padded seed", "SN1,MZXW6===\n", {{"SN1", "MZXW6==="}}},
        {"title line that is valid Base32",
         "SERIAL,SEED\nSN1," + a + "\n",
         {{"SERIAL", "SEED"}, {"SN1", kSeedA}}},
        {"byte-order mark is not part of the first serial",
         "\xEF\xBB\xBFSN1," + a + "\n",
         {{"SN1", kSeedA}}},
    };
    for (const GoodFile& c : cases) {
        SCOPED_TRACE(c.name);
        const SeedFileResult result = LoadSeedFile(write(c.bytes), m_table);
        EXPECT_EQ(result.status, SeedFileStatus::Loaded);
        EXPECT_EQ(m_table.size(), c.expected.size());
        EXPECT_EQ(entries(m_table, {"SN1", "SN2", "SN1 ", "SERIAL", ""}), c.expected);
    }
}

TEST_F(SeedFileTest, SerialNumbersMatchExactly)
{
    ASSERT_TRUE(LoadSeedFile(write("ab1,JBSWY3DPEHPK3PXP\n"), m_table).loaded());
    EXPECT_FALSE(m_table.find(QStringLiteral("AB1")));
    EXPECT_TRUE(m_table.find(QStringLiteral("ab1")));
}

struct BadFile
{
    const char* name;
    std::string bytes;
    int line;
};

// A seed the decoder refuses stops the load at its line; the lines before it
// stay in the table and are applied like any others.
TEST_F(SeedFileTest, RefusedSeedStopsTheLoadKeepingEarlierLines)
{
    const std::string good = std::string("SN1,") + kSeedA + "\n";
    const BadFile cases[] = {
        {"space after the comma", good + "SN2, " + kSeedB + "\n", 2},
        {"lower case", good + "SN2,jbswy3dpehpk3pxp\n", 2},
        {"nothing after the comma", good + "SN2,\n", 2},
        {"pad inside the seed", good + "SN2,MZ=XW6==\n", 2},
        {"longer than 255 characters", good + "SN2," + std::string(256, 'A') + "B\n", 2},
        {"a NUL inside the seed", good + "SN2," + kSeedA + std::string(1, '\0') + "X\n", 2},
        {"mixed-case title line", "Serial,Seed\n" + good, 1},
    };
    for (const BadFile& c : cases) {
        SCOPED_TRACE(c.name);
        m_table.set(QStringLiteral("OLD"), QString::fromLatin1(kSeedB));
        const SeedFileResult result = LoadSeedFile(write(c.bytes), m_table);
        EXPECT_EQ(result.status, SeedFileStatus::BadSeed);
        EXPECT_EQ(result.line, c.line);
        EXPECT_FALSE(m_table.find(QStringLiteral("OLD"))) << "an opened file replaces the table";
        EXPECT_FALSE(m_table.find(QStringLiteral("SN2")));
        EXPECT_EQ(m_table.find(QStringLiteral("SN1")).has_value(), c.line == 2);
    }
}

// A third column names each token's user; two-column lines beside them name
// none, and a user the export files could not carry unchanged stops the
// load at its line.
TEST_F(SeedFileTest, ThirdColumnNamesTheTokensUser)
{
    const std::string a = kSeedA, b = kSeedB;
    ASSERT_TRUE(LoadSeedFile(write("SN1," + a +
                                   ",ana@example.org\r\n"
                                   "SN2," +
                                   b +
                                   "\n"
                                   "SN3," +
                                   a +
                                   ",\n"
                                   "SN4," +
                                   b + ",J\xC3\xB6rg@example.org"),
                             m_table)
                    .loaded());
    EXPECT_EQ(entries(m_table, {"SN1", "SN2", "SN3", "SN4"}),
              (Entries{{"SN1", kSeedA}, {"SN2", kSeedB}, {"SN3", kSeedA}, {"SN4", kSeedB}}));
    EXPECT_EQ(m_table.userName("SN1"), QStringLiteral("ana@example.org"));
    EXPECT_EQ(m_table.userName("SN2"), QString());
    EXPECT_EQ(m_table.userName("SN3"), QString());
    EXPECT_EQ(m_table.userName("SN4"), QStringLiteral("J\u00F6rg@example.org"));

    const std::string good = "SN1," + a + ",ana@example.org\n";
    const BadFile cases[] = {
        {"a fourth column", good + "SN2," + a + ",bob@example.org,x\n", 2},
        {"a space at the end", good + "SN2," + a + ",bob@example.org \n", 2},
        {"a formula", good + "SN2," + a + ",=cmd()\n", 2},
        {"a quote", good + "SN2," + a + ",bo\"b\n", 2},
        {"a control character", "SN2," + a + ",bob\x01\n", 1},
        {"not UTF-8",
         "SN2," + a +
             ",b\xF6"
             "b\n",
         1},
        {"too long", "SN2," + a + "," + std::string(257, 'u') + "\n", 1},
    };
    for (const BadFile& c : cases) {
        SCOPED_TRACE(c.name);
        const SeedFileResult result = LoadSeedFile(write(c.bytes), m_table);
        EXPECT_EQ(result.status, SeedFileStatus::BadUser);
        EXPECT_EQ(result.line, c.line);
        EXPECT_TRUE(result.message().startsWith(QStringLiteral("Line %1 names a user").arg(c.line)))
            << result.message().toStdString();
        EXPECT_FALSE(m_table.find(QStringLiteral("SN2")));
    }
    // A bad seed in a three-column line is still the seed's fault.
    const SeedFileResult badSeed = LoadSeedFile(write("SN1,jbsw,ana@example.org\n"), m_table);
    EXPECT_EQ(badSeed.status, SeedFileStatus::BadSeed);
}

TEST_F(SeedFileTest, FileThatCannotBeOpenedLeavesTheTableAlone)
{
    m_table.set(QStringLiteral("OLD"), QString::fromLatin1(kSeedA));
    const SeedFileResult result =
        LoadSeedFile(m_dir.filePath(QStringLiteral("missing.csv")), m_table);
    EXPECT_EQ(result.status, SeedFileStatus::CannotOpen);
    EXPECT_EQ(m_table.find(QStringLiteral("OLD")), QString::fromLatin1(kSeedA));
}

// A folder is not read at all now (issue 11: regular files only); the table
// stays as it was.
TEST_F(SeedFileTest, FolderIsNotASeedFile)
{
    QDir(m_dir.path()).mkdir(QStringLiteral("folder.csv"));
    m_table.set(QStringLiteral("OLD"), QString::fromLatin1(kSeedA));
    const SeedFileResult result =
        LoadSeedFile(m_dir.filePath(QStringLiteral("folder.csv")), m_table);
    EXPECT_EQ(result.status, SeedFileStatus::NotRegularFile);
    EXPECT_FALSE(result.loaded());
    EXPECT_TRUE(m_table.find(QStringLiteral("OLD")));
}

} // namespace

namespace {

TEST_F(SeedFileTest, EveryFailureHasItsStatusAndMessage)
{
    const std::string a = kSeedA;
    struct Case
    {
        std::string bytes;
        SeedFileStatus status;
        int64_t line;
        const char* message;
    };
    const Case cases[] = {
        {"SN1," + a + "\nZP\x01," + a + "\n", SeedFileStatus::BadSerial, 2,
         "Line 2 holds a serial number that no token may have: printable ASCII without spaces, "
         "not starting with \"=\", \"+\", \"-\" or \"@\", without '\"'."},
        {"SN1,x\n", SeedFileStatus::BadSeed, 1,
         "Line 1 holds a seed that is not Base32 text (the letters A-Z, the digits 2-7 and \"=\" "
         "at its end, at most 255 characters)."},
        {"no comma\n", SeedFileStatus::NoEntries, 0,
         "The file holds no line of a serial number, \",\" and a seed."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bytes);
        const SeedFileResult result = LoadSeedFile(write(c.bytes), m_table);
        EXPECT_EQ(result.status, c.status);
        EXPECT_EQ(result.line, c.line);
        EXPECT_EQ(result.message(), QString::fromUtf8(c.message));
    }
    const SeedFileResult missing = LoadSeedFile(m_dir.filePath("missing.csv"), m_table);
    EXPECT_EQ(missing.status, SeedFileStatus::CannotOpen);
    EXPECT_EQ(missing.message(), "The file cannot be opened (No such file or directory).");
    EXPECT_EQ(SeedFileResult{}.message(), "");
    EXPECT_EQ(SeedFileResult{SeedFileStatus::TooLarge}.message(),
              "The file is larger than any batch: a seed file may hold at most 1,000,000 lines "
              "and 64 MiB.");
}

TEST_F(SeedFileTest, LinesOverTheCapAndFilesOverTheSizeAreTooLarge)
{
    std::string lines;
    for (int i = 0; i <= 1'000'000; ++i)
        lines += "x\n";
    SeedFileResult result = LoadSeedFile(write(lines), m_table);
    EXPECT_EQ(result.status, SeedFileStatus::TooLarge);
    EXPECT_EQ(result.line, 1'000'001);

    m_table.set(QStringLiteral("OLD"), QString::fromLatin1(kSeedA));
    QFile file(write("SN1,JBSWY3DPEHPK3PXP\n"));
    ASSERT_TRUE(file.resize(kSeedFileMaxBytes + 1));
    result = LoadSeedFile(file.fileName(), m_table);
    EXPECT_EQ(result.status, SeedFileStatus::TooLarge);
    EXPECT_TRUE(m_table.find(QStringLiteral("OLD"))) << "refused before the table is touched";
}

// The window runs the load on a worker: it sees the bytes read and can stop it.
TEST_F(SeedFileTest, ProgressIsReportedAndCancelStopsTheLoad)
{
    std::string bytes;
    for (int i = 0; i < 20000; ++i)
        bytes += "SN" + std::to_string(i) + "," + kSeedA + "\r\n";
    const QString path = write(bytes);
    const auto total = static_cast<int64_t>(bytes.size());

    std::vector<std::pair<int64_t, int64_t>> calls;
    SeedFileOptions options;
    options.progress = [&calls](int64_t read, int64_t size) { calls.emplace_back(read, size); };
    ASSERT_TRUE(LoadSeedFile(path, m_table, options).loaded());
    EXPECT_EQ(m_table.size(), 20000u);
    ASSERT_GE(calls.size(), 2u);
    EXPECT_EQ(calls.back(), std::make_pair(total, total));
    for (size_t i = 1; i < calls.size(); ++i)
        EXPECT_LE(calls[i - 1].first, calls[i].first);

    std::atomic<bool> cancel{false};
    SeedFileOptions cancelling;
    cancelling.cancel = &cancel;
    cancelling.progress = [&cancel](int64_t, int64_t) { cancel = true; };
    SeedFileResult result = LoadSeedFile(path, m_table, cancelling);
    EXPECT_EQ(result.status, SeedFileStatus::Cancelled);
    EXPECT_EQ(result.message(), "Loading was cancelled.");
    EXPECT_GT(m_table.size(), 0u);
    EXPECT_LT(m_table.size(), 20000u);

    SeedFileOptions byCallable;
    byCallable.cancelled = [] { return true; };
    EXPECT_EQ(LoadSeedFile(path, m_table, byCallable).status, SeedFileStatus::Cancelled);
}

// The reader gives the same table whatever the pieces it is fed.
TEST_F(SeedFileTest, ReaderDoesNotDependOnThePieces)
{
    const std::string bytes =
        std::string("\xEF\xBB\xBFSN1,") + kSeedA + "\r\nx\n\nSN2," + kSeedB + "\r\nSN1," + kSeedB;
    SeedTable whole;
    SeedFileReader one(whole);
    one.feed(bytes.data(), bytes.size());
    ASSERT_TRUE(one.finish().loaded());
    for (size_t piece = 1; piece < bytes.size(); ++piece) {
        SeedTable table;
        SeedFileReader reader(table);
        for (size_t at = 0; at < bytes.size(); at += piece)
            reader.feed(bytes.data() + at, std::min(piece, bytes.size() - at));
        EXPECT_TRUE(reader.finish().loaded());
        EXPECT_EQ(table.entries(), whole.entries()) << piece;
    }
    EXPECT_EQ(whole.entries(), (std::map<QString, QString>{{"SN1", kSeedB}, {"SN2", kSeedB}}));
}

} // namespace

namespace {

// As the window runs it: the load on a worker, the poll thread looking serial
// numbers up meanwhile, Cancel pressed on the window's thread.
TEST_F(SeedFileTest, LoadOnAWorkerWhileAnotherThreadLooksUpAndCancels)
{
    std::string bytes;
    for (int i = 0; i < 200000; ++i)
        bytes += "SN" + std::to_string(i) + "," + kSeedA + "\n";
    const QString path = write(bytes);
    std::atomic<bool> cancel{false};
    std::atomic<int64_t> progress{0};
    SeedFileOptions options;
    options.cancel = &cancel;
    // The first piece waits for the Cancel press, so the load cannot end first.
    options.progress = [&](int64_t read, int64_t) {
        progress = read;
        while (!cancel.load())
            std::this_thread::yield();
    };
    std::thread worker([&] {
        const SeedFileResult result = LoadSeedFile(path, m_table, options);
        EXPECT_EQ(result.status, SeedFileStatus::Cancelled);
    });
    while (progress.load() == 0)
        m_table.find(QStringLiteral("SN1"));
    cancel = true;
    worker.join();
    EXPECT_LT(m_table.size(), 200000u);
}

} // namespace
