#include "JournalFiles.h"

#include "seed/PrivateFolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr mode_t kFileMode = S_IRUSR | S_IWUSR; // 0600

JournalError Refused(const QString& text)
{
    return JournalError{QStringLiteral("The programming journal cannot be opened. %1").arg(text)};
}

// Makes an empty file of mode 0600 under name, unless one is there already
// (another station's): created under a temporary name, its mode set whatever
// the umask, closed, then moved into place without replacing anything.
// 0 or the errno.
int CreateClosed(int folder, const QByteArray& name)
{
    const QByteArray temporary = name + ".new-" + QByteArray::number(::getpid()) + '-' +
                                 QByteArray::number(QRandomGenerator::global()->generate64(), 16);
    const int fd = ::openat(folder, temporary.constData(),
                            O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, kFileMode);
    if (fd < 0)
        return errno;
    int error = ::fchmod(fd, kFileMode) == 0 && ::fsync(fd) == 0 ? 0 : errno;
    ::close(fd);
    if (error == 0 &&
        ::renameat2(folder, temporary.constData(), folder, name.constData(), RENAME_NOREPLACE) != 0)
        error = errno == EEXIST ? 0 : errno;
    ::unlinkat(folder, temporary.constData(), 0); // gone already when it was moved
    return error;
}

// One of the journal's files: made if missing, checked, tightened to 0600.
QString PrepareFile(int folder, const QString& path)
{
    const QByteArray name = QFile::encodeName(QFileInfo(path).fileName());
    struct stat info
    {};
    if (::fstatat(folder, name.constData(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
        if (errno != ENOENT)
            return QStringLiteral("%1 cannot be examined (%2).").arg(path, ErrnoText(errno));
        if (const int error = CreateClosed(folder, name); error != 0)
            return QStringLiteral("%1 cannot be created (%2).").arg(path, ErrnoText(error));
        if (::fstatat(folder, name.constData(), &info, AT_SYMLINK_NOFOLLOW) != 0)
            return QStringLiteral("%1 cannot be examined (%2).").arg(path, ErrnoText(errno));
    }
    if (S_ISLNK(info.st_mode))
        return QStringLiteral("%1 is a link.").arg(path);
    if (!S_ISREG(info.st_mode))
        return QStringLiteral("%1 is not a regular file.").arg(path);
    if (info.st_uid != ::geteuid())
        return QStringLiteral("%1 belongs to another user.").arg(path);
    if (info.st_nlink != 1)
        return QStringLiteral("%1 has other names (hard links).").arg(path);
    // Not a link (seen above) in a folder only we may write: the name is safe.
    if ((info.st_mode & 07777) != kFileMode &&
        ::fchmodat(folder, name.constData(), kFileMode, 0) != 0)
        return QStringLiteral("%1 cannot be made readable by its owner only (%2).")
            .arg(path, ErrnoText(errno));
    return {};
}

} // namespace

QString JournalDatabasePath(const QString& dataFolder)
{
    return QDir(dataFolder).filePath(QStringLiteral("journal.sqlite"));
}

JournalResult<void> PrepareJournalFiles(const QString& databasePath)
{
    const QFileInfo database(QDir::cleanPath(databasePath));
    QString reason;
    const int folder = OpenPrivateFolder(database.absolutePath(), reason);
    if (folder < 0)
        return Refused(reason);
    const QString path = database.absoluteFilePath();
    for (const QString& file : {path, path + QStringLiteral("-wal"), path + QStringLiteral("-shm")})
        if (reason = PrepareFile(folder, file); !reason.isEmpty())
            break;
    // New directory entries reach the disk only with their folder.
    ::fsync(folder);
    ::close(folder);
    if (!reason.isEmpty())
        return Refused(reason);
    return {};
}
