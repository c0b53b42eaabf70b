// Seed files that are outside input at their worst: serial numbers that are
// not printable, files without one entry, FIFOs, files of any size. Each test
// failed on the station before issue 11 (they use only LoadSeedFile(path,
// table) and loaded(), which the console already called).
#include "QtPrinters.h"
#include "SeedFileTest.h"
#include "seed/SeedFile.h"

#include <QFile>
#include <QTemporaryDir>
#include <chrono>
#include <fcntl.h>
#include <future>
#include <gtest/gtest.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr char kSeedA[] = "JBSWY3DPEHPK3PXP";

using SeedFileFaultsTest = SeedFileTest;

// Issue 11, fault 5: a serial number is read as strictly as a token's; a
// line whose serial is not printable ASCII is a bad line.
TEST_F(SeedFileFaultsTest, SerialThatIsNotPrintableAsciiIsABadLine)
{
    const std::string good = std::string("SN1,") + kSeedA + "\n";
    for (const std::string& serial :
         {std::string("ZP\x01"
                      "1"),
          std::string("ZP\xFF"), std::string("Z\xC3\xA9"), std::string("SN2 "), std::string(" SN2"),
          std::string(),
          std::string("ZP\0"
                      "1",
                      4),
          std::string("=SN2"), std::string("-SN2"), std::string("S\"N2")}) {
        SCOPED_TRACE(serial);
        EXPECT_FALSE(LoadSeedFile(write(good + serial + "," + kSeedA + "\n"), m_table).loaded());
        EXPECT_TRUE(m_table.find(QStringLiteral("SN1"))) << "the lines before it stay";
    }
}

// Issue 11, fault 5: a file that yields no entries is a failure.
TEST_F(SeedFileFaultsTest, FileWithoutOneEntryIsAFailure)
{
    for (const std::string& bytes :
         {std::string(), std::string("\n\r\n"), std::string("no comma here\nnor here"),
          std::string("\xEF\xBB\xBF")}) {
        SCOPED_TRACE(bytes);
        EXPECT_FALSE(LoadSeedFile(write(bytes), m_table).loaded());
    }
    EXPECT_TRUE(LoadSeedFile(write(std::string("x\nSN1,") + kSeedA), m_table).loaded());
}

// Issue 11, fault 10: a FIFO named like a seed file must not block the load.
TEST_F(SeedFileFaultsTest, FifoDoesNotBlock)
{
    const QString path = m_dir.filePath(QStringLiteral("fifo.csv"));
    ASSERT_EQ(mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    auto load =
        std::async(std::launch::async, [&] { return LoadSeedFile(path, m_table).loaded(); });
    // A bound for the failure only: a load that returns is seen at once.
    if (load.wait_for(std::chrono::seconds(20)) != std::future_status::ready) {
        // Release it: a writer that comes and goes gives the reader its end.
        const int writer = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_NONBLOCK);
        if (writer >= 0)
            ::close(writer);
        load.wait();
        FAIL() << "the load blocked on the FIFO";
    }
    EXPECT_FALSE(load.get());
}

// Issue 11, fault 10: over the size cap (a sparse file: no disk is used) the
// load is refused at once, and over 1,000,000 lines it fails.
TEST_F(SeedFileFaultsTest, FilesOverTheCapAreRefused)
{
    const QString huge = m_dir.filePath(QStringLiteral("huge.csv"));
    {
        QFile file(huge);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("SN1,JBSWY3DPEHPK3PXP\n");
        ASSERT_TRUE(file.resize(64 * 1024 * 1024 + 1));
    }
    EXPECT_FALSE(LoadSeedFile(huge, m_table).loaded());

    std::string lines = std::string("SN1,") + kSeedA + "\n";
    for (int i = 1; i < 1'000'000; ++i)
        lines += "x\n";
    EXPECT_TRUE(LoadSeedFile(write(lines), m_table).loaded()) << "exactly 1,000,000 lines";
    EXPECT_FALSE(LoadSeedFile(write(lines + "x"), m_table).loaded()) << "one line more";
}

} // namespace
