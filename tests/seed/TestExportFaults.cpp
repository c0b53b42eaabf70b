// The export files under faults: a full disk (a file size limit stands in for
// it), torn records, planted files and links, hostile fields. Each test here
// failed on the station before issue 11 (they use only the interface the
// console already called: open(time) and append(record)).
#include "ExportFolderTest.h"
#include "QtPrinters.h"
#include "seed/ExportFiles.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <csignal>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QDateTime kStart(QDate(2024, 3, 5), QTime(8, 7, 6));
constexpr char kHeader[] = "UPN,Serial Number,Secret Key,Time Interval,Manufacturer,Model\r\n";
constexpr char kSeed[] = "GEZDGNBVGY3TQOJQGEZDGNBVGY3TQOJQ"; // "1234567890" twice
constexpr char kSeedHex[] = "3132333435363738393031323334353637383930";

// No file of this process may grow past the given size while it lives: writes
// beyond it fail with EFBIG (a short write up to it first), as on a full disk.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        getrlimit(RLIMIT_FSIZE, &m_previous);
        m_handler = std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{bytes, m_previous.rlim_max};
        EXPECT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &m_previous);
        std::signal(SIGXFSZ, m_handler);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit m_previous{};
    void (*m_handler)(int) = SIG_DFL;
};

class ExportFaultsTest : public ExportFolderTest
{
protected:
    static void plant(const QString& path, const QByteArray& bytes, mode_t mode = 0600)
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(bytes);
        file.close();
        ASSERT_EQ(chmod(QFile::encodeName(path).constData(), mode), 0);
    }
    static mode_t modeOf(const QString& path)
    {
        struct stat info
        {};
        EXPECT_EQ(lstat(QFile::encodeName(path).constData(), &info), 0) << path.toStdString();
        return info.st_mode & 07777;
    }
    QStringList allThree() const
    {
        return {path(".azure.csv"), path(".b32.csv"), path(".hex.csv")};
    }
};

// Issue 11, fault 1: with the disk full, every record of every token is
// reported missing from every file it did not reach, not only the first.
TEST_F(ExportFaultsTest, EveryFailedRecordIsReportedEveryTime)
{
    ExportFiles files(folder());
    ASSERT_EQ(files.open(kStart), ExportFiles::OpenResult::Opened);
    FileSizeLimit full(0);
    for (const char* serial : {"ZP0001", "ZP0002", "ZP0003"}) {
        SCOPED_TRACE(serial);
        EXPECT_EQ(files.append({"a", serial, kSeed, 30}), allThree());
    }
}

// Only one file full (the azure file is the largest, so it alone cannot grow
// at first): it is reported for every token, the others take their records.
TEST_F(ExportFaultsTest, OneFullFileIsReportedForEveryToken)
{
    ExportFiles files(folder());
    ASSERT_EQ(files.open(kStart), ExportFiles::OpenResult::Opened);
    FileSizeLimit full(200);
    plant(path(".azure.csv"),
          QByteArray(kHeader) + QByteArray(200 - std::strlen(kHeader) - 2, 'x') + "\r\n");
    EXPECT_EQ(files.append({"a", "ZP0001", kSeed, 30}), QStringList{path(".azure.csv")});
    EXPECT_EQ(files.append({"a", "ZP0002", kSeed, 30}), QStringList{path(".azure.csv")});
    EXPECT_EQ(contents(path(".b32.csv")),
              QByteArray("ZP0001,") + kSeed + "\r\nZP0002," + kSeed + "\r\n");
}

// Issue 11, fault 2: a set whose azure column titles cannot be written is
// not reported opened, and is not used.
TEST_F(ExportFaultsTest, AzureHeaderThatCannotBeWrittenFailsTheOpen)
{
    {
        FileSizeLimit full(10);
        EXPECT_EQ(ExportFiles(folder()).open(kStart), ExportFiles::OpenResult::AzureFailed);
    }
    EXPECT_EQ(contents(path(".azure.csv")), "") << "no torn column titles left behind";

    FileSizeLimit full(10);
    ExportFiles files(folder());
    files.open(kStart.addSecs(1));
    EXPECT_FALSE(files.isOpen());
    EXPECT_EQ(files.append({"a", "ZP0001", kSeed, 30}).size(), 3);
}

// Issue 11, fault 3: a write cut short by a full disk is taken back out, so
// the next record, once the disk has room again, is a line of its own.
TEST_F(ExportFaultsTest, ShortWriteIsTakenBackAndTheNextRecordStandsAlone)
{
    ExportFiles files(folder());
    ASSERT_EQ(files.open(kStart), ExportFiles::OpenResult::Opened);
    ASSERT_TRUE(files.append({"a", "ZP0001", kSeed, 30}).isEmpty());
    const QByteArray hexBefore = contents(path(".hex.csv"));
    const QByteArray b32Before = contents(path(".b32.csv"));
    const QByteArray azureBefore = contents(path(".azure.csv"));
    {
        // The b32 and hex records are cut after a few bytes, the azure one at once.
        FileSizeLimit almostFull(static_cast<rlim_t>(b32Before.size() + 10));
        EXPECT_EQ(files.append({"b", "ZP0002", kSeed, 30}).size(), 3);
    }
    EXPECT_EQ(contents(path(".hex.csv")), hexBefore) << "the cut record is gone";
    EXPECT_EQ(contents(path(".b32.csv")), b32Before);
    EXPECT_EQ(contents(path(".azure.csv")), azureBefore);

    ASSERT_TRUE(files.append({"c", "ZP0003", kSeed, 30}).isEmpty());
    EXPECT_EQ(contents(path(".hex.csv")),
              QByteArray("ZP0001,") + kSeedHex + "\r\nZP0003," + kSeedHex + "\r\n");
    EXPECT_EQ(contents(path(".azure.csv")),
              azureBefore + "c,ZP0003," + kSeed + ",30,Morvane,Zentoka\r\n");
}

// Issue 19: a line torn by a killed station (same second, same names) is cut
// off before the next record: no piece of a record, such as a cut seed, is
// left to be read as a record. Torn column titles are written again whole,
// by the open as by an append that finds only them.
TEST_F(ExportFaultsTest, TornLineIsCutOffBeforeTheNextRecord)
{
    ASSERT_TRUE(QDir().mkpath(folder()));
    plant(path(".hex.csv"), QByteArray("ZP0001,") + kSeedHex + "\r\nZP0002,3132");
    plant(path(".b32.csv"), QByteArray("ZP0001,") + kSeed + "\r\nZP0002,GEZ\r");
    plant(path(".azure.csv"), "UPN,Serial Nu");
    ExportFiles files(folder());
    ASSERT_EQ(files.open(kStart), ExportFiles::OpenResult::Opened);
    ASSERT_TRUE(files.append({"a", "ZP0003", kSeed, 30}).isEmpty());
    EXPECT_EQ(contents(path(".hex.csv")),
              QByteArray("ZP0001,") + kSeedHex + "\r\nZP0003," + kSeedHex + "\r\n");
    EXPECT_EQ(contents(path(".b32.csv")),
              QByteArray("ZP0001,") + kSeed + "\r\nZP0003," + kSeed + "\r\n");
    EXPECT_EQ(contents(path(".azure.csv")),
              QByteArray(kHeader) + "a,ZP0003," + kSeed + ",30,Morvane,Zentoka\r\n");

    plant(path(".azure.csv"), "UPN,Seria");
    ASSERT_TRUE(files.append({"b", "ZP0004", kSeed, 60}).isEmpty());
    EXPECT_EQ(contents(path(".azure.csv")),
              QByteArray(kHeader) + "b,ZP0004," + kSeed + ",60,Morvane,Zentoka\r\n");
}

// Issue 11, fault 4: the Data folder is the owner's only, whatever the umask;
// an existing folder of ours that is wider is tightened.
TEST_F(ExportFaultsTest, DataFolderIsTheOwnersOnly)
{
    const mode_t previous = umask(0);
    const auto result = ExportFiles(folder()).open(kStart);
    umask(previous);
    ASSERT_EQ(result, ExportFiles::OpenResult::Opened);
    EXPECT_EQ(modeOf(folder()), 0700u);

    const QString wide = m_dir.filePath(QStringLiteral("Wide/Data"));
    ASSERT_TRUE(QDir().mkpath(wide));
    ASSERT_EQ(chmod(QFile::encodeName(wide).constData(), 0777), 0);
    ASSERT_EQ(ExportFiles(wide).open(kStart), ExportFiles::OpenResult::Opened);
    EXPECT_EQ(modeOf(wide), 0700u);

    // A folder every user shares, as /tmp, is refused and left as it is.
    const QString shared = m_dir.filePath(QStringLiteral("Shared"));
    ASSERT_TRUE(QDir().mkpath(shared));
    ASSERT_EQ(chmod(QFile::encodeName(shared).constData(), 01777), 0);
    ExportFiles files(shared);
    EXPECT_NE(files.open(kStart), ExportFiles::OpenResult::Opened);
    EXPECT_EQ(modeOf(shared), 01777u);
    EXPECT_TRUE(QDir(shared).isEmpty());
}

// Issue 11, fault 4: a link planted under the coming second's name is not
// followed: the set is refused and the link's target gets nothing.
TEST_F(ExportFaultsTest, PlantedLinkIsRefusedAndNothingIsWrittenThroughIt)
{
    ASSERT_TRUE(QDir().mkpath(folder()));
    const QString target = m_dir.filePath(QStringLiteral("attacker.csv"));
    plant(target, "", 0666);
    ASSERT_TRUE(QFile::link(target, path(".hex.csv")));
    ExportFiles files(folder());
    EXPECT_EQ(files.open(kStart), ExportFiles::OpenResult::HexFailed);
    files.append({"a", "ZP0001", kSeed, 30});
    EXPECT_EQ(contents(target), "");
    EXPECT_EQ(modeOf(target), 0666u) << "the link's target is not touched";

    QFile::remove(path(".hex.csv"));
    ASSERT_TRUE(QFile::link(QStringLiteral("/dev/full"), path(".b32.csv")));
    EXPECT_EQ(ExportFiles(folder()).open(kStart), ExportFiles::OpenResult::B32Failed);
}

// Issue 11, fault 4: a folder planted as a link is refused too.
TEST_F(ExportFaultsTest, DataFolderThatIsALinkIsRefused)
{
    const QString elsewhere = m_dir.filePath(QStringLiteral("elsewhere"));
    ASSERT_TRUE(QDir().mkpath(elsewhere));
    ASSERT_TRUE(QDir().mkpath(m_dir.filePath(QStringLiteral("Tools"))));
    ASSERT_TRUE(QFile::link(elsewhere, folder()));
    EXPECT_EQ(ExportFiles(folder()).open(kStart), ExportFiles::OpenResult::HexFailed);
    EXPECT_TRUE(QDir(elsewhere).entryList(QDir::Files).isEmpty());
}

// Issue 11, fault 4: a file (or the folder) of another user, a file with a
// second name, a FIFO (which must not block the open) are refused.
TEST_F(ExportFaultsTest, FilesThatAreNotRegularFilesOfOursAreRefused)
{
    ASSERT_TRUE(QDir().mkpath(folder()));
    plant(path(".hex.csv"), "", 0666);
    ASSERT_EQ(chown(QFile::encodeName(path(".hex.csv")).constData(), 65534, 65534), 0);
    ExportFiles files(folder());
    EXPECT_EQ(files.open(kStart), ExportFiles::OpenResult::HexFailed);
    files.append({"a", "ZP0001", kSeed, 30});
    EXPECT_EQ(contents(path(".hex.csv")), "");
    EXPECT_EQ(modeOf(path(".hex.csv")), 0666u);
    QFile::remove(path(".hex.csv"));

    const QString other = m_dir.filePath(QStringLiteral("other"));
    plant(other, "");
    ASSERT_EQ(
        link(QFile::encodeName(other).constData(), QFile::encodeName(path(".b32.csv")).constData()),
        0);
    EXPECT_EQ(ExportFiles(folder()).open(kStart), ExportFiles::OpenResult::B32Failed);
    EXPECT_EQ(contents(other), "");
    QFile::remove(path(".b32.csv"));

    ASSERT_EQ(mkfifo(QFile::encodeName(path(".azure.csv")).constData(), 0600), 0);
    EXPECT_EQ(ExportFiles(folder()).open(kStart), ExportFiles::OpenResult::AzureFailed);
    QFile::remove(path(".azure.csv"));

    const QString theirs = m_dir.filePath(QStringLiteral("Theirs/Data"));
    ASSERT_TRUE(QDir().mkpath(theirs));
    ASSERT_EQ(chown(QFile::encodeName(theirs).constData(), 65534, 65534), 0);
    EXPECT_EQ(ExportFiles(theirs).open(kStart), ExportFiles::OpenResult::HexFailed);
}

// Issue 11, fault 4: a file whose mode cannot be tightened (an append-only
// file: fchmod fails even for root) is refused, not used as it is.
TEST_F(ExportFaultsTest, FileWhoseModeCannotBeTightenedIsRefused)
{
    ASSERT_TRUE(QDir().mkpath(folder()));
    plant(path(".hex.csv"), "", 0644);
    const int fd = open(QFile::encodeName(path(".hex.csv")).constData(), O_RDONLY);
    ASSERT_GE(fd, 0);
    int flags = 0;
    ASSERT_EQ(ioctl(fd, FS_IOC_GETFLAGS, &flags), 0);
    const int appendOnly = flags | FS_APPEND_FL;
    ASSERT_EQ(ioctl(fd, FS_IOC_SETFLAGS, &appendOnly), 0)
        << "the test folder's file system must offer append-only files (ext4 does)";
    const auto result = ExportFiles(folder()).open(kStart);
    ioctl(fd, FS_IOC_SETFLAGS, &flags);
    close(fd);
    EXPECT_EQ(result, ExportFiles::OpenResult::HexFailed);
    EXPECT_EQ(modeOf(path(".hex.csv")), 0644u);
}

// Issue 11, fault 6: a seed holding a NUL gives no hex bytes (the decoder
// refuses it), not the bytes of the text before the NUL.
TEST_F(ExportFaultsTest, SeedHoldingANulGivesNoHex)
{
    ExportFiles files(folder());
    ASSERT_EQ(files.open(kStart), ExportFiles::OpenResult::Opened);
    const QString seed = QStringLiteral("JBSWY3DPEHPK3PXP") + QChar(0) + QStringLiteral("GEZDGNBV");
    files.append({"a", "ZP0001", seed, 30});
    EXPECT_EQ(contents(path(".hex.csv")), "ZP0001,\r\n");
}

// Issue 11, fault 5: no field starts like a spreadsheet formula; every other
// field stays byte for byte.
TEST_F(ExportFaultsTest, FieldsThatStartLikeFormulasAreNeutralised)
{
    ExportFiles files(folder());
    ASSERT_EQ(files.open(kStart), ExportFiles::OpenResult::Opened);
    const struct
    {
        QString user;
        const char* written;
    } cases[] = {
        {"=HYPERLINK(\"http://x\")", "\"'=HYPERLINK(\"\"http://x\"\")\""},
        {"+1", "'+1"},
        {"-2+3", "'-2+3"},
        {"@SUM(A1)", "'@SUM(A1)"},
        {"\tx", "'\tx"},
        {"\rx", "\"'\rx\""},
        {"a=b", "a=b"},
        {"'quoted'", "'quoted'"},
    };
    QByteArray expected = kHeader;
    for (const auto& c : cases) {
        files.append({c.user, "ZP0001", kSeed, 30});
        expected += QByteArray(c.written) + ",ZP0001," + kSeed + ",30,Morvane,Zentoka\r\n";
    }
    files.append({"", "-ZP0002", kSeed, 30});
    expected += QByteArray(",'-ZP0002,") + kSeed + ",30,Morvane,Zentoka\r\n";
    EXPECT_EQ(contents(path(".azure.csv")), expected);
}

} // namespace
