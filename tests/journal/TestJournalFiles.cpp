// The journal's folder and files are the owner's only, whatever the umask,
// and the journal is never written through a link or into a file that is not
// the owner's own.
#include "JournalTestSupport.h"

#include <QFile>
#include <functional>
#include <sys/stat.h>
#include <unistd.h>

namespace {

mode_t ModeOf(const QString& path)
{
    struct stat info
    {};
    EXPECT_EQ(lstat(QFile::encodeName(path).constData(), &info), 0) << path.toStdString();
    return info.st_mode & 07777;
}

class ScopedUmask
{
public:
    explicit ScopedUmask(mode_t mask) : m_old(umask(mask)) {}
    ~ScopedUmask() { umask(m_old); }

private:
    mode_t m_old;
};

TEST_F(JournalTest, JournalFilesAreOwnerOnlyWhateverTheUmask)
{
    const ScopedUmask open(0);
    auto journal = OpenJournal(path());
    ASSERT_TRUE(journal);
    ASSERT_TRUE(journal->beginWriting(Attempt("TK0001")).ok());
    // While the journal is open all three files exist.
    EXPECT_EQ(ModeOf(dataFolder()), 0700u);
    for (const char* suffix : {"", "-wal", "-shm"})
        EXPECT_EQ(ModeOf(path() + QLatin1String(suffix)), 0600u) << suffix;
}

// An earlier station, or a copy made by hand, left them wider: tightened.
TEST_F(JournalTest, JournalFilesLeftWiderAreTightened)
{
    ASSERT_EQ(mkdir(QFile::encodeName(dataFolder()).constData(), 0755), 0);
    ASSERT_EQ(chmod(QFile::encodeName(dataFolder()).constData(), 0755), 0);
    for (const char* suffix : {"", "-wal"}) {
        QFile file(path() + QLatin1String(suffix));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_TRUE(file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup |
                                        QFile::ReadOther));
    }
    auto journal = OpenJournal(path());
    ASSERT_TRUE(journal);
    EXPECT_EQ(ModeOf(dataFolder()), 0700u);
    for (const char* suffix : {"", "-wal", "-shm"})
        EXPECT_EQ(ModeOf(path() + QLatin1String(suffix)), 0600u) << suffix;
}

TEST_F(JournalTest, JournalRefusesLinksAndFilesNotItsOwn)
{
    QTemporaryDir elsewhere;
    ASSERT_TRUE(elsewhere.isValid());
    const QString target = elsewhere.filePath(QStringLiteral("target"));
    const struct
    {
        const char* name;
        std::function<void(const QString& path, const QString& folder)> plant;
        const char* says;
    } cases[] = {
        {"the database is a link",
         [&](const QString& path, const QString&) { QFile::link(target, path); }, "is a link"},
        {"the database is a dangling link",
         [&](const QString& path, const QString&) {
             QFile::link(target + QStringLiteral(".none"), path);
         },
         "is a link"},
        {"the -wal file is a link",
         [&](const QString& path, const QString&) { QFile::link(target, path + "-wal"); },
         "-wal is a link"},
        {"the -shm file is a link",
         [&](const QString& path, const QString&) { QFile::link(target, path + "-shm"); },
         "-shm is a link"},
        {"the database is a folder",
         [&](const QString& path, const QString&) { QDir().mkpath(path); },
         "is not a regular file"},
        {"the database has another name",
         [&](const QString& path, const QString&) {
             QFile(path).open(QIODevice::WriteOnly);
             link(QFile::encodeName(path).constData(),
                  QFile::encodeName(elsewhere.filePath(QStringLiteral("second"))).constData());
         },
         "other names"},
        {"the Data folder is a link",
         [&](const QString&, const QString& folder) {
             QDir(folder).removeRecursively();
             QFile::link(elsewhere.path(), folder);
         },
         "is a link"},
    };
    for (const auto& c : cases) {
        QDir(dataFolder()).removeRecursively();
        QFile::remove(dataFolder()); // a link of the last case
        QFile::remove(elsewhere.filePath(QStringLiteral("second")));
        ASSERT_TRUE(QDir().mkpath(dataFolder()));
        {
            QFile file(target);
            ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
            file.write("someone else's file\n");
        }
        ASSERT_EQ(chmod(QFile::encodeName(target).constData(), 0644), 0);
        c.plant(path(), dataFolder());
        const JournalResult<std::unique_ptr<SqliteJournal>> opened = SqliteJournal::open(path());
        EXPECT_FALSE(opened.ok()) << c.name;
        EXPECT_TRUE(opened.error().contains(QLatin1String(c.says)))
            << c.name << ": " << opened.error().toStdString();
        QFile file(target);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        EXPECT_EQ(file.readAll(), QByteArray("someone else's file\n")) << c.name;
        EXPECT_EQ(ModeOf(target), 0644u) << c.name; // not tightened through the link
        EXPECT_FALSE(QFile::exists(elsewhere.filePath(QStringLiteral("journal.sqlite")))) << c.name;
    }
}

} // namespace
