#pragma once

#include <QString>
#include <QStringList>
#include <mutex>
#include <optional>

// The users a production line gives its tokens, in order: each token
// programmed with a random seed takes the next one. A token that takes a user
// and is then not programmed gives it back, so no user is skipped; a user
// whose token holds its seed is spent. Shared by the stations of every
// reader, hence the lock.
class UserAssignments
{
public:
    // A user taken for one token, to give back if the token is not programmed.
    struct Taken
    {
        QString userName;
        quint64 list = 0; // the list it came from
    };

    // Replaces the list: the users not yet taken of the earlier list are
    // dropped, and a user of that list given back later is not taken again.
    void load(const QStringList& users);
    // The next user, now spent unless given back; nullopt when none is left.
    std::optional<Taken> take();
    void giveBack(const Taken& taken);

    bool loaded() const;
    // The user the next token takes; empty when none is left.
    QString next() const;
    qsizetype left() const;

private:
    mutable std::mutex m_lock;
    QStringList m_users; // the users not yet taken, the next one first
    quint64 m_list = 0;  // counts the lists loaded
};
