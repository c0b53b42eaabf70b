// What the engine reads from the export files: the reasons of a failed open,
// the outcome of each record in each file and their messages, and the lines
// as a CSV reader with Python's rules (Python's own csv module here) reads them.
#include "ExportFolderTest.h"
#include "QtPrinters.h"
#include "fuzz/PythonCsv.h"
#include "seed/ExportFiles.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QTemporaryDir>
#include <csignal>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

namespace {

const QDateTime kStart(QDate(2024, 3, 5), QTime(8, 7, 6));
constexpr char kSeed[] = "GEZDGNBVGY3TQOJQGEZDGNBVGY3TQOJQ";
constexpr char kSeedHex[] = "3132333435363738393031323334353637383930";

using ExportApiTest = ExportFolderTest;

TEST_F(ExportApiTest, OpenFailureMessageKeepsTheDesignsFirstLineAndAddsTheReason)
{
    using R = ExportFiles::OpenResult;
    EXPECT_EQ(ExportFiles::OpenFailureMessage(R::HexFailed, "/d/x.hex.csv is a link."),
              "Failed to create HEX seed file\n/d/x.hex.csv is a link.");
    EXPECT_EQ(ExportFiles::OpenFailureMessage(R::B32Failed, ""), "Failed to create B32 seed file");
    EXPECT_EQ(ExportFiles::OpenFailureMessage(R::AzureFailed, "r"),
              "Failed to create Azure seed file\nr");
    EXPECT_EQ(ExportFiles::OpenFailureMessage(R::Opened, "r"), "");
    EXPECT_EQ(ExportFiles::OpenFailureMessage(R::AlreadyOpen, ""), "");
}

TEST_F(ExportApiTest, OpenSaysWhyASetIsRefused)
{
    ASSERT_TRUE(QDir().mkpath(folder()));
    QString reason = "stale";
    ASSERT_EQ(ExportFiles(folder()).open(kStart, &reason), ExportFiles::OpenResult::Opened);
    EXPECT_EQ(reason, "");
    QFile::remove(path(".hex.csv"));

    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/null"), path(".hex.csv")));
    EXPECT_EQ(ExportFiles(folder()).open(kStart, &reason), ExportFiles::OpenResult::HexFailed);
    EXPECT_EQ(reason, path(".hex.csv") + " is a link.");
    QFile::remove(path(".hex.csv"));

    QFile theirs(path(".b32.csv"));
    ASSERT_TRUE(theirs.open(QIODevice::WriteOnly));
    theirs.close();
    ASSERT_EQ(chown(QFile::encodeName(path(".b32.csv")).constData(), 65534, 65534), 0);
    EXPECT_EQ(ExportFiles(folder()).open(kStart, &reason), ExportFiles::OpenResult::B32Failed);
    EXPECT_EQ(reason, path(".b32.csv") + " belongs to another user.");
    QFile::remove(path(".b32.csv"));

    QFile other(path(".azure.csv"));
    ASSERT_TRUE(other.open(QIODevice::WriteOnly));
    other.write("name,mail\r\n");
    other.close();
    EXPECT_EQ(ExportFiles(folder()).open(kStart, &reason), ExportFiles::OpenResult::AzureFailed);
    EXPECT_EQ(reason, path(".azure.csv") + " does not begin with the column titles.");
}

TEST_F(ExportApiTest, AppendRecordTellsEachFilesOutcome)
{
    ExportFiles files(folder());
    ExportFiles::AppendResult result = files.appendRecord({"a", "ZP0001", kSeed, 30});
    EXPECT_FALSE(result.complete());
    EXPECT_EQ(result.missingNames(), "hex, b32, azure");
    EXPECT_EQ(result.missingPaths().size(), 3);
    EXPECT_TRUE(
        result.message("ZP0001").contains("The record of token ZP0001 is missing from it."));

    ASSERT_EQ(files.open(kStart), ExportFiles::OpenResult::Opened);
    result = files.appendRecord({"a", "ZP0001", kSeed, 30});
    EXPECT_TRUE(result.complete());
    EXPECT_EQ(result.message("ZP0001"), "");
    EXPECT_EQ(result.missingNames(), "");
    EXPECT_EQ(result.files[0].file, ExportFiles::File::Azure);
    EXPECT_EQ(result.files[1].path, path(".b32.csv"));
    EXPECT_EQ(result.files[2].state, ExportFiles::RecordState::Written);

    // Every file full: each one is named, with the design's sentence.
    rlimit previous{};
    getrlimit(RLIMIT_FSIZE, &previous);
    auto handler = std::signal(SIGXFSZ, SIG_IGN);
    const rlimit full{0, previous.rlim_max};
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &full), 0);
    result = files.appendRecord({"a", "ZP0002", kSeed, 30});
    setrlimit(RLIMIT_FSIZE, &previous);
    std::signal(SIGXFSZ, handler);
    EXPECT_FALSE(result.complete());
    EXPECT_EQ(result.files[0].state, ExportFiles::RecordState::WriteFailed);
    EXPECT_EQ(result.files[0].error, EFBIG);
    EXPECT_EQ(result.missingNames(), "hex, b32, azure");
    EXPECT_EQ(result.message("ZP0002"), "Failed to write the seed file " + path(".hex.csv") +
                                            "\nThe record of token ZP0002 is missing from it.\n\n"
                                            "Failed to write the seed file " +
                                            path(".b32.csv") +
                                            "\nThe record of token ZP0002 is missing from it.\n\n"
                                            "Failed to write the seed file " +
                                            path(".azure.csv") +
                                            "\nThe record of token ZP0002 is missing from it.");
}

TEST(ExportRecordLines, OrdinaryFieldsKeepTheDesignsLayoutByteForByte)
{
    ExportRecordLines lines = MakeExportRecordLines({"amy@example.com", "ZP0001", kSeed, 60});
    EXPECT_EQ(lines.azure,
              QByteArray("amy@example.com,ZP0001,") + kSeed + ",60,Morvane,Zentoka\r\n");
    EXPECT_EQ(lines.b32, QByteArray("ZP0001,") + kSeed + "\r\n");
    EXPECT_EQ(lines.hex, QByteArray("ZP0001,") + kSeedHex + "\r\n");
    lines.wipe();
    EXPECT_TRUE(lines.azure.isEmpty());
}

// The C++ reader of the fuzz target agrees with Python's csv module, on the
// station's lines and on text the station never writes.
std::vector<CsvRecord> ReadWithPython(const QByteArray& data)
{
    QTemporaryDir dir;
    QFile file(dir.filePath("in.csv"));
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(data);
    file.close();
    QProcess python;
    python.start("python3",
                 {"-c",
                  "import csv, json, sys\n"
                  "rows = list(csv.reader(open(sys.argv[1], newline='', encoding='utf-8')))\n"
                  "sys.stdout.write(json.dumps(rows))\n",
                  file.fileName()});
    EXPECT_TRUE(python.waitForFinished(60000));
    EXPECT_EQ(python.exitCode(), 0) << python.readAllStandardError().toStdString();
    std::vector<CsvRecord> records;
    for (const QJsonValue& row : QJsonDocument::fromJson(python.readAllStandardOutput()).array()) {
        CsvRecord record;
        for (const QJsonValue& field : row.toArray())
            record.push_back(field.toString().toStdString());
        records.push_back(record);
    }
    return records;
}

TEST(ExportRecordLines, PythonsCsvModuleReadsBackExactlyTheFieldsWritten)
{
    const ExportRecord records[] = {
        {"amy@example.com", "ZP0001", kSeed, 30},
        {"", "ZP0002", "MZXW6===", 60},
        {QStringLiteral("J\u00fcrgen \u0141\u00f3d\u017a, \"QA\""), "ZP0003", "not base32", 30},
        {"=1+2", "+ZP", "-seed", 30},
        {"line\r\nbreak", "@serial", "\tTAB", 30},
        {"\"quoted\"", "a\"b", "\rcr", 30},
        {"lone\rcr", "lone\nlf", "'", 30},
        {QStringLiteral("nul\u0000inside"), "x", "y", 30},
    };
    QByteArray azure, b32, hex;
    std::vector<CsvRecord> expected;
    for (const ExportRecord& r : records) {
        const ExportRecordLines lines = MakeExportRecordLines(r);
        azure += lines.azure;
        b32 += lines.b32;
        hex += lines.hex;
        auto field = [](const QString& text) {
            const QByteArray neutral = ExportCsvField(text.toUtf8());
            // what a reader must give back: the neutralised text, unquoted
            QByteArray value = text.toUtf8();
            if (!value.isEmpty() && QByteArray("=+-@\t\r").contains(value.front()))
                value.prepend('\'');
            EXPECT_TRUE(neutral == value || neutral.startsWith('"'));
            return value.toStdString();
        };
        expected.push_back({field(r.userName), field(r.serialNumber), field(r.seedText),
                            std::to_string(r.timeStep), "Morvane", "Zentoka"});
    }
    const std::vector<CsvRecord> fromPython = ReadWithPython(azure);
    EXPECT_EQ(fromPython, expected);
    EXPECT_EQ(ReadCsvLikePython(azure.toStdString()), expected);
    EXPECT_EQ(ReadWithPython(b32).size(), std::size(records));
    EXPECT_EQ(ReadCsvLikePython(b32.toStdString()), ReadWithPython(b32));
    EXPECT_EQ(ReadCsvLikePython(hex.toStdString()), ReadWithPython(hex));
}

TEST(PythonCsv, AgreesWithPythonOnTextTheStationNeverWrites)
{
    for (const char* text : {"", "\r\n", "a", "a,", ",", "a\rb", "a\n\rb", "a\r\r\nb", "\n\n",
                             "\"a\"b,c", "\"a\"\"b\"", "a\"b\",c", "\"open\r\nquote", "\"x\"\r",
                             "x,\"\"\r\n,\r\n", "\"a\"\"\"", "\"\"", "\"a\",\"b\"\n\"c\""}) {
        SCOPED_TRACE(text);
        EXPECT_EQ(ReadCsvLikePython(text), ReadWithPython(text));
    }
}

} // namespace
