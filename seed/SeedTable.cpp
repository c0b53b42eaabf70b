#include "SeedTable.h"

#include "SecretText.h"

SeedTable::~SeedTable()
{
    wipeAll();
}

void SeedTable::clear()
{
    std::lock_guard lock(m_lock);
    wipeAll();
}

void SeedTable::set(const QString& serialNumber, const QString& seedText, const QString& userName)
{
    std::lock_guard lock(m_lock);
    Entry& entry = m_seeds[serialNumber];
    WipeText(entry.seedText);
    entry.seedText = seedText;
    entry.userName = userName;
}

std::optional<QString> SeedTable::find(const QString& serialNumber) const
{
    std::lock_guard lock(m_lock);
    auto it = m_seeds.find(serialNumber);
    if (it == m_seeds.end())
        return std::nullopt;
    return it->second.seedText;
}

QString SeedTable::userName(const QString& serialNumber) const
{
    std::lock_guard lock(m_lock);
    auto it = m_seeds.find(serialNumber);
    return it == m_seeds.end() ? QString() : it->second.userName;
}

void SeedTable::swap(SeedTable& other)
{
    if (&other == this)
        return;
    std::scoped_lock lock(m_lock, other.m_lock);
    m_seeds.swap(other.m_seeds);
}

size_t SeedTable::size() const
{
    std::lock_guard lock(m_lock);
    return m_seeds.size();
}

std::map<QString, QString> SeedTable::entries() const
{
    std::lock_guard lock(m_lock);
    std::map<QString, QString> seeds;
    for (const auto& [serial, entry] : m_seeds)
        seeds.emplace(serial, entry.seedText);
    return seeds;
}

void SeedTable::wipeAll()
{
    for (auto& entry : m_seeds)
        WipeText(entry.second.seedText);
    m_seeds.clear();
}
