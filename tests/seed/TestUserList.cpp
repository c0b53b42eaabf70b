// The assignment list: one user a line, read as strictly as a seed file's
// third column.
#include "QtPrinters.h"
#include "seed/UserList.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

TEST(UserList, ReadsOneUserALineInOrder)
{
    const struct
    {
        const char* name;
        QByteArray bytes;
        QStringList users;
    } cases[] = {
        {"lf", "ana@example.org\nbob@example.org\n", {"ana@example.org", "bob@example.org"}},
        {"crlf, last line without end, empty lines",
         "\r\nana@example.org\r\n\r\nbob@example.org",
         {"ana@example.org", "bob@example.org"}},
        {"byte-order mark, UTF-8 name, a name twice",
         "\xEF\xBB\xBFJ\xC3\xB6rg@example.org\nana@example.org\nana@example.org\n",
         {QStringLiteral("J\u00F6rg@example.org"), "ana@example.org", "ana@example.org"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const UserListResult result = ReadUserList(c.bytes);
        EXPECT_EQ(result.status, UserListStatus::Loaded) << result.message().toStdString();
        EXPECT_EQ(result.users, c.users);
    }
}

TEST(UserList, RefusesALineThatCannotBeAUserAndSaysWhere)
{
    const struct
    {
        QByteArray bytes;
        UserListStatus status;
        int64_t line;
    } cases[] = {
        {"ana@example.org\n bob@example.org\n", UserListStatus::BadUser, 2},
        {"ana@example.org\nbob,carl\n", UserListStatus::BadUser, 2},
        {"=HYPERLINK()\n", UserListStatus::BadUser, 1},
        {"ana\tb\n", UserListStatus::BadUser, 1},
        {"b\xF6"
         "b\n",
         UserListStatus::BadUser, 1}, // Latin-1, not UTF-8
        {"\r\n\n", UserListStatus::NoUsers, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.bytes.toStdString());
        const UserListResult result = ReadUserList(c.bytes);
        EXPECT_EQ(result.status, c.status);
        EXPECT_EQ(result.line, c.line);
        EXPECT_TRUE(result.users.isEmpty());
        EXPECT_FALSE(result.message().isEmpty());
    }
    EXPECT_EQ(ReadUserList("a\n\nb,\n").message(),
              "Line 3 cannot be a token's user (UTF-8 text of at most 256 characters, without "
              "control characters, spaces at either end, \",\" or '\"', not starting with "
              "\"=\", \"+\", \"-\" or \"@\").");
}

TEST(UserList, LoadsRegularFilesOnly)
{
    QTemporaryDir dir;
    const QString path = dir.filePath("users.txt");
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("ana@example.org\n");
    file.close();
    EXPECT_EQ(LoadUserList(path).users, QStringList{"ana@example.org"});
    EXPECT_EQ(LoadUserList(dir.filePath("missing.txt")).status, UserListStatus::CannotOpen);
    EXPECT_EQ(LoadUserList(dir.path()).status, UserListStatus::NotRegularFile);
    const QString fifo = dir.filePath("fifo");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    EXPECT_EQ(LoadUserList(fifo).status, UserListStatus::NotRegularFile); // and never blocks
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    ASSERT_TRUE(file.resize(kUserListMaxBytes + 1));
    file.close();
    EXPECT_EQ(LoadUserList(path).status, UserListStatus::TooLarge);
}

} // namespace
