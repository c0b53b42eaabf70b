#include "PskcTemporary.h"

#include "SyncedWrite.h"

#include <QRandomGenerator>
#include <QRegularExpression>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool IsTemporaryName(const char* name)
{
    // Every other file of the folder is told apart without the pattern.
    if (std::strncmp(name, ".Seed-", 6) != 0)
        return false;
    static const QRegularExpression pattern(
        QStringLiteral("^\\.Seed-\\d{4}-\\d{2}-\\d{2}-\\d{2}-\\d{2}-\\d{2}"
                       "\\.(pskc\\.xml|hex\\.csv|b32\\.csv|azure\\.csv)\\.tmp-[0-9a-f]{1,8}$"));
    return pattern.match(QString::fromLatin1(name)).hasMatch();
}

bool IsOursAlone(const struct stat& info)
{
    return S_ISREG(info.st_mode) && info.st_uid == ::geteuid() && info.st_nlink == 1 &&
           (info.st_mode & 07777) == (S_IRUSR | S_IWUSR);
}

bool SameFile(const struct stat& a, const struct stat& b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Removes the named file if it is a leftover no writer holds; 0 or the errno.
int RemoveIfLeftover(int folder, const char* name)
{
    struct stat named
    {};
    if (::fstatat(folder, name, &named, AT_SYMLINK_NOFOLLOW) != 0)
        return errno == ENOENT ? 0 : errno;
    if (!IsOursAlone(named))
        return 0;
    const int fd = RetryOnInterrupt([&] {
        return ::openat(folder, name, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    });
    if (fd < 0)
        return errno == ENOENT || errno == ELOOP ? 0 : errno;
    int error = 0;
    struct stat opened
    {};
    struct stat again
    {};
    // Under the lock, the name is checked once more: only the file examined,
    // left by a writer that is gone, is removed.
    if (::fstat(fd, &opened) == 0 && SameFile(opened, named) && IsOursAlone(opened) &&
        ::flock(fd, LOCK_EX | LOCK_NB) == 0 &&
        ::fstatat(folder, name, &again, AT_SYMLINK_NOFOLLOW) == 0 && SameFile(again, opened) &&
        ::unlinkat(folder, name, 0) != 0)
        error = errno;
    ::close(fd);
    return error;
}

} // namespace

QByteArray PskcTemporaryName(const QByteArray& documentName)
{
    return '.' + documentName + ".tmp-" +
           QByteArray::number(QRandomGenerator::system()->generate(), 16);
}

int CreatePskcTemporary(int folder, const QByteArray& documentName, QByteArray& name)
{
    constexpr mode_t kMode = S_IRUSR | S_IWUSR;
    for (int attempt = 0; attempt < 8; ++attempt) {
        name = PskcTemporaryName(documentName);
        const int fd = RetryOnInterrupt([&] {
            return ::openat(folder, name.constData(),
                            O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY, kMode);
        });
        if (fd >= 0 && HoldPskcTemporary(fd))
            return fd;
        if (fd >= 0)
            ::close(fd);
        else if (errno != EEXIST)
            return fd;
    }
    errno = EEXIST;
    return -1;
}

bool HoldPskcTemporary(int fd)
{
    if (RetryOnInterrupt([fd] { return ::flock(fd, LOCK_EX | LOCK_NB); }) != 0) {
        // Held by a removal of leftovers, which takes it away. On a file
        // system without flock no removal can take it either.
        return errno != EWOULDBLOCK;
    }
    // Removed between its making and the lock.
    struct stat info
    {};
    return ::fstat(fd, &info) == 0 && info.st_nlink > 0;
}

int RemovePskcLeftovers(int folder)
{
    const int listing = ::dup(folder);
    DIR* dir = listing >= 0 ? ::fdopendir(listing) : nullptr;
    if (!dir) {
        const int error = errno;
        if (listing >= 0)
            ::close(listing);
        return error;
    }
    // The copy shares its position with folder: start from the beginning.
    ::rewinddir(dir);
    int firstError = 0;
    for (;;) {
        errno = 0;
        const dirent* entry = ::readdir(dir);
        if (!entry) {
            if (errno != 0 && firstError == 0)
                firstError = errno;
            break;
        }
        if (!IsTemporaryName(entry->d_name))
            continue;
        const int error = RemoveIfLeftover(folder, entry->d_name);
        if (error != 0 && firstError == 0)
            firstError = error;
    }
    ::closedir(dir);
    return firstError;
}
