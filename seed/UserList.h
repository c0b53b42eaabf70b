#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>

// An assignment list: a text file of users (UPNs), one a line, LF or CR LF,
// in the order the tokens are to get them. Empty lines are skipped; a
// UTF-8 byte-order mark in front is not part of the first name; every other
// line must be a name seed/UserName.h takes, or the load fails at that line.
enum class UserListStatus
{
    Loaded,
    CannotOpen,     // errno in error
    NotRegularFile, // a folder, a FIFO, a device...: not read
    TooLarge,       // over kUserListMaxBytes
    BadUser,        // the line cannot be a user (line)
    ReadError,      // errno in error
    NoUsers,        // read to its end, but not one user in it
};

// Far above any batch, low enough that a wrong file is refused at once.
constexpr int64_t kUserListMaxBytes = 16 * 1024 * 1024;

struct UserListResult
{
    UserListStatus status = UserListStatus::Loaded;
    int64_t line = 0; // the line that stopped the load, counted from 1
    int error = 0;
    QStringList users; // in the file's order, when loaded

    bool loaded() const { return status == UserListStatus::Loaded; }
    // A sentence for the operator, under "Failed to load user list!"; empty
    // when loaded().
    QString message() const;
};

// Never blocks on a FIFO or a device named like a list.
UserListResult LoadUserList(const QString& path);
// The same rules on bytes already read.
UserListResult ReadUserList(const QByteArray& bytes);
