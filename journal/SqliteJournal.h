#pragma once

#include "ProgrammingJournal.h"

#include <memory>
#include <mutex>

struct sqlite3;

// The journal in one SQLite file on this machine, <Data folder>/journal.sqlite
// (JournalDatabasePath). Stations on the same machine share it through
// SQLite's locking: write-ahead log, every commit synced (synchronous=FULL)
// before a call returns, and a busy timeout that waits out the other
// stations' transactions instead of failing. The folder is the owner's only
// and the files are readable by the owner only (PrepareJournalFiles). The
// schema carries its version (PRAGMA user_version) for later stations to
// migrate from. No seed is stored in the clear; with --seal-to, each row
// keeps its seed sealed to the fleet's certificate (SeedSeal), as a fleet's
// server journal does.
class SqliteStatement;

class SqliteJournal final : public ProgrammingJournal
{
public:
    static constexpr int kSchemaVersion = 3;
    // How long a call waits for another station's transaction.
    static constexpr int kBusyTimeoutMs = 10000;

    // Opens the journal, creating the folder, the file and its schema when
    // missing. Refuses a file that is not the owner's regular file, a
    // database that is not a journal, and one written by a newer station.
    static JournalResult<std::unique_ptr<SqliteJournal>> open(const QString& path);

    ~SqliteJournal() override;
    SqliteJournal(const SqliteJournal&) = delete;
    SqliteJournal& operator=(const SqliteJournal&) = delete;

    JournalResult<qint64> beginWriting(const JournalAttempt& attempt) override;
    JournalResult<void> finish(qint64 id, AttemptState state, const QString& reason,
                               const QStringList& exportFiles) override;
    JournalResult<qint64> recordAttempt(const JournalAttempt& attempt) override;
    JournalResult<std::optional<QDateTime>> lastProgrammed(const QString& serialNumber) override;
    JournalResult<QList<JournalAttempt>> unfinished() override;
    JournalResult<void> markInterrupted(const QList<qint64>& ids) override;
    JournalResult<QList<JournalAttempt>> list(const std::optional<QDateTime>& since,
                                              const QString& serialNumber) override;

    // For `station export`: the newest attempt of every serial number whose
    // seed may be on the token (programmed, or left writing or interrupted),
    // with its sealed seed, by serial number; since that time, for that
    // serial number when not empty. PostgresJournal::newestSeeds's rows.
    JournalResult<QList<JournalAttempt>> newestSeeds(const std::optional<QDateTime>& since,
                                                     const QString& serialNumber);

    QString path() const { return m_path; }

private:
    SqliteJournal(QString path, sqlite3* db, QString writer);

    JournalResult<void> setUp();
    JournalResult<void> createOrMigrate();
    JournalResult<qint64> insert(const JournalAttempt& attempt, AttemptState state);
    JournalError failure(const QString& what, int result) const;
    JournalResult<QList<JournalAttempt>> readAttempts(SqliteStatement& rows,
                                                      bool withSealedSeed) const;

    std::mutex m_lock; // one connection, one call at a time
    const QString m_path;
    sqlite3* const m_db;
    const QString m_writer; // CurrentWriter() of this process
};
