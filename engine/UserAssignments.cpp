#include "UserAssignments.h"

void UserAssignments::load(const QStringList& users)
{
    std::lock_guard lock(m_lock);
    m_users = users;
    ++m_list;
}

std::optional<UserAssignments::Taken> UserAssignments::take()
{
    std::lock_guard lock(m_lock);
    if (m_users.isEmpty())
        return std::nullopt;
    return Taken{m_users.takeFirst(), m_list};
}

void UserAssignments::giveBack(const Taken& taken)
{
    std::lock_guard lock(m_lock);
    if (taken.list == m_list)
        m_users.prepend(taken.userName);
}

bool UserAssignments::loaded() const
{
    std::lock_guard lock(m_lock);
    return m_list > 0;
}

QString UserAssignments::next() const
{
    std::lock_guard lock(m_lock);
    return m_users.value(0);
}

qsizetype UserAssignments::left() const
{
    std::lock_guard lock(m_lock);
    return m_users.size();
}
