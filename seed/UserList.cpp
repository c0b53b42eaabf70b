#include "UserList.h"

#include "UserName.h"

#include <QFile>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

QString UserListResult::message() const
{
    switch (status) {
    case UserListStatus::Loaded:
        return {};
    case UserListStatus::CannotOpen:
        return QStringLiteral("The file cannot be opened (%1).")
            .arg(QString::fromLocal8Bit(std::strerror(error)));
    case UserListStatus::NotRegularFile:
        return QStringLiteral("It is not a regular file.");
    case UserListStatus::TooLarge:
        return QStringLiteral("The file is larger than any batch: a user list may hold at most "
                              "16 MiB.");
    case UserListStatus::BadUser:
        return QStringLiteral("Line %1 cannot be a token's user (UTF-8 text of at most %2 "
                              "characters, without control characters, spaces at either end, "
                              "\",\" or '\"', not starting with \"=\", \"+\", \"-\" or \"@\").")
            .arg(line)
            .arg(kUserNameMaxLength);
    case UserListStatus::ReadError:
        return QStringLiteral("The file could not be read to its end (%1).")
            .arg(QString::fromLocal8Bit(std::strerror(error)));
    case UserListStatus::NoUsers:
        return QStringLiteral("The file names no user.");
    }
    return {};
}

UserListResult ReadUserList(const QByteArray& bytes)
{
    UserListResult result;
    QByteArrayView rest(bytes);
    if (rest.startsWith("\xEF\xBB\xBF"))
        rest = rest.sliced(3);
    while (!rest.isEmpty()) {
        ++result.line;
        const qsizetype end = rest.indexOf('\n');
        QByteArrayView line = end < 0 ? rest : rest.first(end);
        rest = end < 0 ? QByteArrayView() : rest.sliced(end + 1);
        if (line.endsWith('\r'))
            line.chop(1);
        if (line.isEmpty())
            continue;
        QString name;
        if (!UserNameFromUtf8(line.toByteArray(), name) || !UserNameProblem(name).isEmpty()) {
            result.status = UserListStatus::BadUser;
            result.users.clear();
            return result;
        }
        result.users << name;
    }
    result.line = 0;
    if (result.users.isEmpty())
        result.status = UserListStatus::NoUsers;
    return result;
}

UserListResult LoadUserList(const QString& path)
{
    UserListResult result;
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        result.status = UserListStatus::CannotOpen;
        result.error = errno;
        return result;
    }
    struct Closer
    {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    struct stat info
    {};
    if (::fstat(fd, &info) != 0) {
        result.status = UserListStatus::CannotOpen;
        result.error = errno;
        return result;
    }
    if (!S_ISREG(info.st_mode)) {
        result.status = UserListStatus::NotRegularFile;
        return result;
    }
    if (info.st_size > kUserListMaxBytes) {
        result.status = UserListStatus::TooLarge;
        return result;
    }
    QByteArray bytes;
    char piece[64 * 1024];
    for (;;) {
        const ssize_t got = ::read(fd, piece, sizeof piece);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            result.status = UserListStatus::ReadError;
            result.error = errno;
            return result;
        }
        if (got == 0)
            break;
        bytes.append(piece, got);
        if (bytes.size() > kUserListMaxBytes) { // the file grew while being read
            result.status = UserListStatus::TooLarge;
            return result;
        }
    }
    return ReadUserList(bytes);
}
