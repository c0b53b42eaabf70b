#pragma once

#include <QString>
#include <map>
#include <mutex>
#include <optional>

// The seed file's seeds, and the users it names, by token serial number. The window's thread
// reloads it while the poll thread looks serial numbers up, so every access takes the lock. Serial
// numbers match exactly: case-sensitive, nothing trimmed.
class SeedTable
{
public:
    SeedTable() = default;
    ~SeedTable();
    SeedTable(const SeedTable&) = delete;
    SeedTable& operator=(const SeedTable&) = delete;

    void clear();
    // A serial number already present gets the new seed and user.
    void set(const QString& serialNumber, const QString& seedText,
             const QString& userName = QString());
    std::optional<QString> find(const QString& serialNumber) const;
    // The user (UPN) the file names for the token; empty when it names none.
    QString userName(const QString& serialNumber) const;
    // Trades every entry with other in one step: a lookup meanwhile sees
    // either the old entries or the new ones, never a mix. The old entries
    // are other's to wipe (a million take a while: not on the window's thread).
    void swap(SeedTable& other);
    size_t size() const;
    // A copy of every entry, in the table's order (for tests and checks).
    std::map<QString, QString> entries() const;

private:
    struct Entry
    {
        QString seedText;
        QString userName;
    };
    void wipeAll();

    mutable std::mutex m_lock;
    std::map<QString, Entry> m_seeds;
};
