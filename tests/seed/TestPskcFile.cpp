// The PSKC export file as authentication servers read it: every document is
// checked after every append by pskctool's schema validation and read back
// by python-pskc (PskcReaders.h), and the writer's faults leave the last
// valid document in place.
#include "PskcReaders.h"
#include "QtPrinters.h"
#include "seed/PskcFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <csignal>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QDateTime kStart(QDate(2024, 3, 5), QTime(8, 7, 6));
const char kKeyHex[] = "000102030405060708090a0b0c0d0e0f";

ByteString Seed(int n, size_t size)
{
    ByteString seed(size);
    for (size_t i = 0; i < size; ++i)
        seed[i] = static_cast<uint8_t>(n * 37 + i * 11 + 1);
    return seed;
}

std::vector<PskcRecord> SomeRecords()
{
    return {
        {"ZP0001", Seed(1, 20), "SHA1", 6, 30},
        {"A<&\"'>B", Seed(2, 32), "SHA256", 8, 60},
        {QString::fromUtf8("J\xc3\xbcrgen-\xf0\x9f\x94\x91"), Seed(3, 63), "SHA1", 7, 1},
        {"ZP0004", Seed(4, 1), "SHA256", 6, 86400},
    };
}

QByteArray Contents(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

mode_t Mode(const QString& path)
{
    struct stat info
    {};
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0 ? info.st_mode & 07777 : 0;
}

// Everything in the folder but the document itself: left-over temporary files.
QStringList Others(const QString& folder, const QString& document)
{
    QStringList names = QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System |
                                               QDir::NoDotAndDotDot);
    names.removeAll(QFileInfo(document).fileName());
    return names;
}

QString Hex(const ByteString& bytes)
{
    return QString::fromLatin1(
        QByteArray(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size())).toHex());
}

class PskcFileTest : public ::testing::Test
{
protected:
    QTemporaryDir dir;
    const QString folder = dir.filePath("Data");
    const QString path = PskcFile::PathFor(folder, kStart);
};

TEST_F(PskcFileTest, PlainDocumentIsValidAndReadsBackAfterEveryAppend)
{
    EXPECT_EQ(QFileInfo(path).fileName(), "Seed-2024-03-05-08-07-06.pskc.xml");
    PskcFile file(path, std::nullopt);
    EXPECT_FALSE(QFileInfo::exists(folder)) << "written before the first record";

    std::vector<PskcRecord> written;
    for (const PskcRecord& record : SomeRecords()) {
        SCOPED_TRACE(record.serialNumber.toStdString());
        ASSERT_EQ(file.append(record), "");
        written.push_back(record);
        EXPECT_EQ(file.recordCount(), static_cast<int>(written.size()));
        ExpectDocumentHolds(path, written);
        EXPECT_EQ(Mode(folder), 0700u);
        EXPECT_EQ(Mode(path), 0600u);
        EXPECT_EQ(Others(folder, path), QStringList());
    }
    // The seeds are in clear, as Base64 <PlainValue>s; the serial is escaped.
    const QByteArray text = Contents(path);
    EXPECT_TRUE(text.contains("<SerialNo>A&lt;&amp;&quot;'&gt;B</SerialNo>"));
    EXPECT_TRUE(text.contains(
        "<PlainValue>" +
        QByteArray(reinterpret_cast<const char*>(SomeRecords()[0].seed.data()), 20).toBase64() +
        "</PlainValue>"));
}

TEST_F(PskcFileTest, EncryptedDocumentGivesTheSeedsOnlyWithTheKey)
{
    QString problem;
    std::optional<PskcKey> key = ParsePskcKey("00010203 04050607 08090A0B 0C0D0E0F", &problem);
    ASSERT_TRUE(key) << problem.toStdString();
    key->name = "Server <A> & \"B\"";
    PskcFile file(path, std::move(key));

    std::vector<PskcRecord> written;
    for (const PskcRecord& record : SomeRecords()) {
        SCOPED_TRACE(record.serialNumber.toStdString());
        ASSERT_EQ(file.append(record), "");
        written.push_back(record);
        ExpectDocumentHolds(path, written, kKeyHex, "Server <A> & \"B\"");
    }
    // No seed is in the file in any form, nor the key.
    const QByteArray text = Contents(path);
    for (const PskcRecord& record : written) {
        const QByteArray seed(reinterpret_cast<const char*>(record.seed.data()),
                              qsizetype(record.seed.size()));
        if (seed.size() >= 8) {
            EXPECT_FALSE(text.contains(seed.toBase64()));
            EXPECT_FALSE(text.contains(seed.toHex()));
        }
    }
    EXPECT_FALSE(text.contains(kKeyHex));
    EXPECT_FALSE(text.contains("PlainValue>" + Hex(written[0].seed).toLatin1()));

    QJsonObject read;
    EXPECT_FALSE(ReadWithPythonPskc(path, "0f0e0d0c0b0a09080706050403020100", read))
        << "decrypted with another key";
}

TEST_F(PskcFileTest, RecordsThatCannotBeWrittenAreRefusedAndTheFileKept)
{
    PskcFile file(path, std::nullopt);
    const PskcRecord good = SomeRecords()[0];
    ASSERT_EQ(file.append(good), "");
    const QByteArray before = Contents(path);
    struct Case
    {
        PskcRecord record;
        const char* reason;
    };
    const Case bad[] = {
        {{"", Seed(1, 20), "SHA1", 6, 30}, "no serial number"},
        {{"ZP\n01", Seed(1, 20), "SHA1", 6, 30}, "cannot carry"},
        {{QString("ZP") + QChar(1), Seed(1, 20), "SHA1", 6, 30}, "cannot carry"},
        {{QString("ZP") + QChar(0xD800), Seed(1, 20), "SHA1", 6, 30}, "cannot carry"},
        {{"ZP0009", ByteString(), "SHA1", 6, 30}, "seed of token ZP0009 is empty"},
        {{"ZP0009", Seed(1, 20), "SHA512", 6, 30}, "not SHA1 or SHA256"},
        {{"ZP0009", Seed(1, 20), "sha1", 6, 30}, "not SHA1 or SHA256"},
        {{"ZP0009", Seed(1, 20), "SHA1", 5, 30}, "6 to 8"},
        {{"ZP0009", Seed(1, 20), "SHA1", 9, 30}, "6 to 8"},
        {{"ZP0009", Seed(1, 20), "SHA1", 6, 0}, "time step"},
        {{"ZP0009", Seed(1, 20), "SHA1", 6, -30}, "time step"},
    };
    for (const Case& c : bad) {
        SCOPED_TRACE(c.reason);
        EXPECT_TRUE(file.append(c.record).contains(c.reason));
    }
    EXPECT_EQ(Contents(path), before);
    EXPECT_EQ(file.recordCount(), 1);
    ExpectDocumentHolds(path, {good});
}

// The disk refuses the next document (a file size limit plays a full disk,
// also for root): the previous document stays byte for byte, no temporary
// file is left, and the refused record is not in later documents.
TEST_F(PskcFileTest, FailedWriteLeavesThePreviousDocument)
{
    const std::vector<PskcRecord> records = SomeRecords();
    PskcFile file(path, ParsePskcKey(kKeyHex, nullptr));
    ASSERT_EQ(file.append(records[0]), "");
    const QByteArray before = Contents(path);

    struct rlimit saved
    {};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = saved;
    small.rlim_cur = static_cast<rlim_t>(before.size() + 100);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const QString error = file.append(records[1]);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &saved), 0);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_TRUE(error.contains(path) && error.contains("cannot be written")) << error.toStdString();
    EXPECT_EQ(Contents(path), before);
    EXPECT_EQ(Others(folder, path), QStringList());
    EXPECT_EQ(file.recordCount(), 1);

    ASSERT_EQ(file.append(records[2]), "");
    ExpectDocumentHolds(path, {records[0], records[2]}, kKeyHex, "Pre-shared-key");
}

// What stands at the document's name and was not written by this writer is
// left as it is, before the first record and after it.
TEST_F(PskcFileTest, NeverWritesOverWhatItDidNotWrite)
{
    const QString victim = dir.filePath("victim");
    struct Case
    {
        const char* what;
        std::function<void(const QString&)> plant;
        const char* reason;
    };
    const Case cases[] = {
        {"link", [&](const QString& at) { QFile::link(victim, at); }, "is a link"},
        {"dangling link", [&](const QString& at) { QFile::link(dir.filePath("none"), at); },
         "is a link"},
        {"fifo", [](const QString& at) { ::mkfifo(QFile::encodeName(at).constData(), 0600); },
         "is not a regular file"},
        {"folder", [](const QString& at) { QDir().mkdir(at); }, "is not a regular file"},
        {"file",
         [](const QString& at) {
             QFile other(at);
             other.open(QIODevice::WriteOnly);
             other.write("another station's document");
         },
         "station does not write over"},
    };
    const PskcRecord record = SomeRecords()[0];
    for (const Case& c : cases) {
        for (const bool afterFirst : {false, true}) {
            SCOPED_TRACE(std::string(c.what) + (afterFirst ? " after the first record" : ""));
            QFile::remove(victim);
            QFile victimFile(victim);
            ASSERT_TRUE(victimFile.open(QIODevice::WriteOnly));
            victimFile.write("victim");
            victimFile.close();
            QDir(folder).removeRecursively();
            ASSERT_TRUE(QDir().mkpath(folder));

            PskcFile file(path, std::nullopt);
            if (afterFirst) {
                ASSERT_EQ(file.append(record), "");
                ASSERT_TRUE(QFile::remove(path));
            }
            c.plant(path);
            const QFileInfo planted(path);
            const QString error = file.append(record);
            EXPECT_TRUE(error.contains(path) && error.contains(c.reason)) << error.toStdString();
            EXPECT_EQ(QFileInfo(path).isSymLink(), planted.isSymLink());
            EXPECT_EQ(QFileInfo(path).isDir(), planted.isDir());
            EXPECT_EQ(Contents(victim), "victim");
            if (std::string(c.what) == "file") {
                EXPECT_EQ(Contents(path), "another station's document");
            }
            EXPECT_EQ(Others(folder, path), QStringList());
        }
    }
}

// A key the cipher cannot take refuses every record; nothing is written, and
// above all not the seeds in clear.
TEST_F(PskcFileTest, UnusableKeyRefusesEveryRecord)
{
    const PskcKey unusable[] = {
        {ByteString(15, 7), "Pre-shared-key"},
        {ByteString(16, 7), QString("key") + QChar(2)},
    };
    for (const PskcKey& key : unusable) {
        SCOPED_TRACE(key.name.toStdString());
        PskcFile file(path, key);
        for (int round = 0; round < 2; ++round)
            EXPECT_NE(file.append(SomeRecords()[0]), "");
        EXPECT_FALSE(QFileInfo::exists(path));
        EXPECT_EQ(file.recordCount(), 0);
    }
}

TEST_F(PskcFileTest, FolderThatIsALinkIsRefused)
{
    const QString elsewhere = dir.filePath("elsewhere");
    ASSERT_TRUE(QDir().mkdir(elsewhere));
    ASSERT_TRUE(QFile::link(elsewhere, folder));
    PskcFile file(path, std::nullopt);
    EXPECT_TRUE(file.append(SomeRecords()[0]).contains("is a link"));
    EXPECT_EQ(QDir(elsewhere).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
              QStringList());
}

} // namespace
