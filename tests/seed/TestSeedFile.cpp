#include "seed/SeedFile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <map>
#include <string>

namespace {

using Entries = std::map<QString, QString>;

constexpr char kSeedA[] = "JBSWY3DPEHPK3PXP";
constexpr char kSeedB[] = "GEZDGNBVGY3TQOJQGEZDGNBVGY3TQOJQ";

class SeedFileTest : public ::testing::Test
{
protected:
    QString write(const std::string& bytes)
    {
        const QString path = m_dir.filePath(QStringLiteral("seeds.csv"));
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(bytes.data(), static_cast<qint64>(bytes.size()));
        return path;
    }

    static Entries entries(const SeedTable& table, std::initializer_list<const char*> serials)
    {
        Entries found;
        for (const char* serial : serials)
            if (auto seed = table.find(QString::fromUtf8(serial)))
                found[QString::fromUtf8(serial)] = *seed;
        return found;
    }

    QTemporaryDir m_dir;
    SeedTable m_table;
};

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
        {"serial with a trailing space is kept as written", "SN1 ," + a + "\n", {{"SN1 ", kSeedA}}},
        {"empty serial", "," + a + "\n", {{"", kSeedA}}},
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
    ASSERT_TRUE(
        LoadSeedFile(write("SN1 ,JBSWY3DPEHPK3PXP\nab1,JBSWY3DPEHPK3PXP\n"), m_table).loaded());
    EXPECT_FALSE(m_table.find(QStringLiteral("SN1")));
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
        {"a further comma", good + "SN2," + kSeedB + ",x\n", 2},
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

TEST_F(SeedFileTest, FileThatCannotBeOpenedLeavesTheTableAlone)
{
    m_table.set(QStringLiteral("OLD"), QString::fromLatin1(kSeedA));
    const SeedFileResult result =
        LoadSeedFile(m_dir.filePath(QStringLiteral("missing.csv")), m_table);
    EXPECT_EQ(result.status, SeedFileStatus::CannotOpen);
    EXPECT_EQ(m_table.find(QStringLiteral("OLD")), QString::fromLatin1(kSeedA));
}

TEST_F(SeedFileTest, ReadErrorEndsTheLoadAsAFailure)
{
    QDir(m_dir.path()).mkdir(QStringLiteral("folder.csv"));
    const SeedFileResult result =
        LoadSeedFile(m_dir.filePath(QStringLiteral("folder.csv")), m_table);
    EXPECT_EQ(result.status, SeedFileStatus::ReadError);
    EXPECT_FALSE(result.loaded());
}

} // namespace
