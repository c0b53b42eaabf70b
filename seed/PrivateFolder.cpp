#include "PrivateFolder.h"

#include <QDir>
#include <QFile>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr mode_t kFolderMode = S_IRWXU; // 0700

// Creates every missing folder of path with the owner's rights only.
void MakeFolders(const QByteArray& path)
{
    for (qsizetype slash = path.indexOf('/', 1); slash >= 0; slash = path.indexOf('/', slash + 1))
        ::mkdir(path.left(slash).constData(), kFolderMode);
    ::mkdir(path.constData(), kFolderMode);
}

} // namespace

QString ErrnoText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

int OpenPrivateFolder(const QString& folder, QString& reason)
{
    const QByteArray path = QFile::encodeName(QDir::cleanPath(folder));
    MakeFolders(path);
    const int fd = ::open(path.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        struct stat info
        {};
        if (::lstat(path.constData(), &info) == 0 && S_ISLNK(info.st_mode))
            reason = QStringLiteral("The folder %1 is a link.").arg(folder);
        else if (::lstat(path.constData(), &info) == 0 && !S_ISDIR(info.st_mode))
            reason = QStringLiteral("%1 is not a folder.").arg(folder);
        else
            reason = QStringLiteral("The folder %1 cannot be created (%2).")
                         .arg(folder, ErrnoText(error));
        return -1;
    }
    struct stat info
    {};
    QString problem;
    if (::fstat(fd, &info) != 0)
        problem =
            QStringLiteral("The folder %1 cannot be examined (%2).").arg(folder, ErrnoText(errno));
    else if (info.st_uid != ::geteuid())
        problem = QStringLiteral("The folder %1 belongs to another user.").arg(folder);
    // A sticky folder is one users share, such as /tmp: it is never made
    // the owner's only (that would lock every other user out of it), and
    // the station's files do not go in it.
    else if ((info.st_mode & S_ISVTX) != 0)
        problem = QStringLiteral("The folder %1 is shared by every user: choose a folder of "
                                 "your own.")
                      .arg(folder);
    else if ((info.st_mode & 07777) != kFolderMode && ::fchmod(fd, kFolderMode) != 0)
        problem = QStringLiteral("The folder %1 cannot be made the owner's only (%2).")
                      .arg(folder, ErrnoText(errno));
    if (!problem.isEmpty()) {
        reason = problem;
        ::close(fd);
        return -1;
    }
    return fd;
}
