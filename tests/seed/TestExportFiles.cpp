#include "ExportFolderTest.h"
#include "QtPrinters.h"
#include "seed/ExportFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

const QDateTime kStart(QDate(2024, 3, 5), QTime(8, 7, 6));
constexpr char kHeader[] = "UPN,Serial Number,Secret Key,Time Interval,Manufacturer,Model\r\n";
constexpr char kSeed[] = "GEZDGNBVGY3TQOJQGEZDGNBVGY3TQOJQ"; // "1234567890" twice
constexpr char kSeedHex[] = "3132333435363738393031323334353637383930";

using ExportFilesTest = ExportFolderTest;

TEST_F(ExportFilesTest, CreatesTheFolderAndThreeFilesNamedByTheLocalTime)
{
    ExportFiles files(folder());
    ASSERT_EQ(files.open(kStart), ExportFiles::OpenResult::Opened);
    EXPECT_TRUE(files.isOpen());
    EXPECT_EQ(files.hexPath(), path(".hex.csv"));
    EXPECT_EQ(files.b32Path(), path(".b32.csv"));
    EXPECT_EQ(files.azurePath(), path(".azure.csv"));
    EXPECT_EQ(contents(path(".hex.csv")), "");
    EXPECT_EQ(contents(path(".b32.csv")), "");
    EXPECT_EQ(contents(path(".azure.csv")), kHeader);
}

// The files hold every seed in clear, whatever the process's umask allows.
TEST_F(ExportFilesTest, FilesAreReadableByTheirOwnerOnly)
{
    const mode_t previous = umask(0);
    ExportFiles files(folder());
    const auto result = files.open(kStart);
    umask(previous);
    ASSERT_EQ(result, ExportFiles::OpenResult::Opened);
    for (const char* suffix : {".hex.csv", ".b32.csv", ".azure.csv"}) {
        struct stat info
        {};
        ASSERT_EQ(stat(QFile::encodeName(path(suffix)).constData(), &info), 0);
        EXPECT_EQ(info.st_mode & 0777, 0600u) << suffix;
    }
}

// Each record is in the files, for any reader, the moment append returns;
// a second record appends without a second header.
TEST_F(ExportFilesTest, RecordsAreInTheFilesWhenAppendReturns)
{
    ExportFiles files(folder());
    ASSERT_EQ(files.open(kStart), ExportFiles::OpenResult::Opened);
    EXPECT_TRUE(files.append({"alice@example.com", "ZP0001", kSeed, 30}).isEmpty());
    EXPECT_EQ(contents(path(".hex.csv")), QByteArray("ZP0001,") + kSeedHex + "\r\n");
    EXPECT_EQ(contents(path(".b32.csv")), QByteArray("ZP0001,") + kSeed + "\r\n");
    EXPECT_EQ(contents(path(".azure.csv")), QByteArray(kHeader) + "alice@example.com,ZP0001," +
                                                kSeed + ",30,Morvane,Zentoka\r\n");

    EXPECT_EQ(files.open(kStart.addSecs(60)), ExportFiles::OpenResult::AlreadyOpen);
    EXPECT_TRUE(files.append({"", "ZP0002", "MZXW6===", 60}).isEmpty());
    EXPECT_TRUE(contents(path(".hex.csv")).endsWith("ZP0002,666F6F\r\n"));
    EXPECT_TRUE(contents(path(".azure.csv"))
                    .endsWith("Zentoka\r\n,ZP0002,MZXW6===,60,Morvane,Zentoka\r\n"));
    EXPECT_EQ(contents(path(".azure.csv")).count("UPN,"), 1);
}

TEST_F(ExportFilesTest, FieldsAreWrittenAsUtf8AndQuotedOnlyWhenTheyWouldBreakTheLine)
{
    ExportFiles files(folder());
    ASSERT_EQ(files.open(kStart), ExportFiles::OpenResult::Opened);
    files.append(
        {QStringLiteral("J\u00fcrgen \u0141\u00f3d\u017a, \"QA\""), "ZP0003", "not base32", 30});
    EXPECT_EQ(contents(path(".hex.csv")), "ZP0003,\r\n") << "a refused seed has no hex";
    EXPECT_TRUE(contents(path(".azure.csv"))
                    .endsWith("\"J\xC3\xBCrgen \xC5\x81\xC3\xB3\x64\xC5\xBA, \"\"QA\"\"\","
                              "ZP0003,not base32,30,Morvane,Zentoka\r\n"));
}

// Export writes a whole run in one go: the file it asks for is byte for byte
// the one appendRecord() writes, owner-only, and a file already of its name
// (another export of the same second) is left as it is.
TEST_F(ExportFilesTest, RunWrittenInOneGoIsTheFileAppendWritesAndWritesOverNothing)
{
    const std::vector<ExportRecord> records{
        {"alice@example.com", "ZP0001", kSeed, 30},
        {QStringLiteral("=J\u00fcrgen, \"QA\""), "ZP0002", "MZXW6===", 60},
        {"", "ZP0003", "not base32", 30}};
    ExportFiles files(folder());
    ASSERT_EQ(files.open(kStart), ExportFiles::OpenResult::Opened);
    for (const ExportRecord& record : records)
        ASSERT_TRUE(files.appendRecord(record).complete());
    const QString run = QDir(folder()).filePath(QStringLiteral("run"));
    const struct
    {
        ExportFiles::File file;
        const char* suffix;
    } cases[] = {{ExportFiles::File::Hex, ".hex.csv"},
                 {ExportFiles::File::B32, ".b32.csv"},
                 {ExportFiles::File::Azure, ".azure.csv"}};
    for (const auto& c : cases) {
        QString written;
        EXPECT_EQ(ExportFiles::WriteRun(run, kStart, c.file, records, written), QString());
        EXPECT_EQ(written, QDir(run).filePath(QFileInfo(path(c.suffix)).fileName()));
        EXPECT_EQ(contents(written), contents(path(c.suffix))) << c.suffix;
        struct stat info
        {};
        ASSERT_EQ(stat(QFile::encodeName(written).constData(), &info), 0);
        EXPECT_EQ(info.st_mode & 0777, 0600u) << c.suffix;

        const QString again = ExportFiles::WriteRun(run, kStart, c.file, {records[0]}, written);
        EXPECT_TRUE(again.contains(QLatin1String("exists already"))) << again.toStdString();
        EXPECT_EQ(contents(written), contents(path(c.suffix))) << c.suffix;
    }
    EXPECT_EQ(QDir(run).entryList(QDir::Files | QDir::Hidden).size(), 3);
}

// A set created within the same second as an earlier one must not wipe the
// records of the earlier one.
TEST_F(ExportFilesTest, ReopeningAnExistingNameAppendsInsteadOfTruncating)
{
    {
        ExportFiles first(folder());
        ASSERT_EQ(first.open(kStart), ExportFiles::OpenResult::Opened);
        first.append({"a", "ZP0001", kSeed, 30});
    }
    ExportFiles second(folder());
    ASSERT_EQ(second.open(kStart), ExportFiles::OpenResult::Opened);
    second.append({"b", "ZP0002", kSeed, 30});
    EXPECT_EQ(contents(path(".b32.csv")).count("\r\n"), 2);
    EXPECT_EQ(contents(path(".azure.csv")).count("UPN,"), 1);
    EXPECT_EQ(contents(path(".azure.csv")).count("\r\n"), 3);
}

// A set that cannot be opened whole is reported in order and not used: the
// files that did open get no record, the record is reported missing from all
// three, and the next open replaces the whole set.
TEST_F(ExportFilesTest, IncompleteSetIsReportedAndNotUsed)
{
    ASSERT_TRUE(QDir().mkpath(path(".b32.csv")));
    ExportFiles files(folder());
    QString reason;
    EXPECT_EQ(files.open(kStart, &reason), ExportFiles::OpenResult::B32Failed);
    EXPECT_EQ(reason, path(".b32.csv") + " is not a regular file.");
    EXPECT_FALSE(files.isOpen());
    const ExportFiles::AppendResult result = files.appendRecord({"a", "ZP0001", kSeed, 30});
    EXPECT_FALSE(result.complete());
    for (const auto& outcome : result.files)
        EXPECT_EQ(outcome.state, ExportFiles::RecordState::NotOpen);
    EXPECT_EQ(files.append({"a", "ZP0001", kSeed, 30}),
              (QStringList{path(".azure.csv"), path(".b32.csv"), path(".hex.csv")}));
    EXPECT_EQ(contents(path(".hex.csv")), "");

    ASSERT_EQ(files.open(kStart.addSecs(1)), ExportFiles::OpenResult::Opened);
    EXPECT_TRUE(files.b32Path().endsWith(QStringLiteral("08-07-07.b32.csv")));

    QFile blocker(m_dir.filePath(QStringLiteral("file")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    ExportFiles inFile(m_dir.filePath(QStringLiteral("file/Data")));
    EXPECT_EQ(inFile.open(kStart, &reason), ExportFiles::OpenResult::HexFailed);
    EXPECT_TRUE(
        reason.startsWith("The folder " + m_dir.filePath("file/Data") + " cannot be created"))
        << reason.toStdString();
}

TEST_F(ExportFilesTest, CloseEndsTheSet)
{
    ExportFiles files(folder());
    ASSERT_EQ(files.open(kStart), ExportFiles::OpenResult::Opened);
    files.close();
    EXPECT_FALSE(files.isOpen());
    EXPECT_EQ(files.append({"a", "ZP0001", kSeed, 30}).size(), 3) << "missing from all three";
    EXPECT_EQ(contents(path(".b32.csv")), "");
}

} // namespace
