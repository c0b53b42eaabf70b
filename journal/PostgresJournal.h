#pragma once

#include "ProgrammingJournal.h"

#include <QHash>
#include <memory>
#include <mutex>
#include <vector>

struct pg_conn;
struct PostgresParameter; // PostgresJournal.cpp
struct PostgresOutcome;

// The journal of a fleet of stations on a PostgreSQL server, through libpq:
// one connection per station process, every call one short transaction
// committed before it returns (the server's synchronous_commit). A partial
// unique index lets one station at a time write a serial number; a row left
// "writing" is unfinished once the server connection that began it is gone.
// A broken connection is opened again at the next call, so a station goes on
// by itself once the server is back; until then every call fails and no seed
// is sent. The connection string is libpq's: keywords or a URI, with its
// service file, password file and environment.
class PostgresJournal final : public ProgrammingJournal
{
public:
    static constexpr int kSchemaVersion = 1;

    // Connects, and creates the tables when they are missing and the role
    // may create them. Refuses a database written by a newer station.
    // station names this station in the rows it writes (its host name when
    // empty). With unreachable, a server that cannot be reached now is no
    // failure: why is put there, and the journal connects (and checks its
    // tables) at its first call that reaches the server.
    static JournalResult<std::unique_ptr<PostgresJournal>>
    open(const QString& connection, const QString& station = {}, QString* unreachable = nullptr);

    ~PostgresJournal() override;
    PostgresJournal(const PostgresJournal&) = delete;
    PostgresJournal& operator=(const PostgresJournal&) = delete;

    JournalResult<qint64> beginWriting(const JournalAttempt& attempt) override;
    JournalResult<void> finish(qint64 id, AttemptState state, const QString& reason,
                               const QStringList& exportFiles) override;
    JournalResult<qint64> recordAttempt(const JournalAttempt& attempt) override;
    JournalResult<std::optional<QDateTime>> lastProgrammed(const QString& serialNumber) override;
    JournalResult<std::optional<ProgrammedBefore>>
    lastProgrammedBy(const QString& serialNumber) override;
    JournalResult<QList<JournalAttempt>> unfinished() override;
    JournalResult<void> markInterrupted(const QList<qint64>& ids) override;
    JournalResult<QList<JournalAttempt>> list(const std::optional<QDateTime>& since,
                                              const QString& serialNumber) override;

    // For the exporter, whose role may read the sealed seeds: the newest
    // attempt of every serial number whose seed may be on the token
    // (programmed, or left writing or interrupted by a station that stopped
    // after sending it; failed attempts left the token as it was), with its
    // sealed seed, by serial number; since that time, for that serial number
    // when not empty.
    JournalResult<QList<JournalAttempt>> newestSeeds(const std::optional<QDateTime>& since,
                                                     const QString& serialNumber);

    // The journal as the operator sees it named: the connection string
    // without its password.
    QString name() const { return m_name; }
    QString station() const { return m_station; }

private:
    PostgresJournal(QString connection, QString station);

    JournalResult<void> connect();
    JournalResult<void> createOrCheckSchema();
    JournalResult<qint64> insert(const JournalAttempt& attempt, AttemptState state);
    JournalError programmedMeanwhile(const QString& serialNumber);
    JournalError beingWritten(const QString& serialNumber);
    JournalResult<QList<JournalAttempt>> attempts(const QByteArray& sql,
                                                  const std::vector<PostgresParameter>& parameters,
                                                  int sealedColumn = -1);
    // Runs one statement, its own transaction, the connection opened again
    // first when it broke. A read (retry) is tried once more on a fresh
    // connection when the old one turns out to be gone: a restarted server
    // is then not seen at all.
    PostgresOutcome run(const char* sql, const std::vector<PostgresParameter>& parameters,
                        bool retry);
    JournalError failure(const QString& what, const QString& detail) const;

    std::mutex m_lock; // one connection, one call at a time
    const QString m_connection;
    const QString m_name;
    const QString m_station;
    pg_conn* m_db = nullptr;
    bool m_schemaChecked = false;
    bool m_inTransaction = false; // between BEGIN and COMMIT or ROLLBACK
    // serial number -> the newest outcome lastProgrammedBy() told of (the
    // server's "finished" time as text; empty for none), taken by the next
    // beginWriting() of that token.
    QHash<QString, QString> m_told;
};

// Whether text names a server journal (a libpq connection string or URI)
// rather than the path of a SQLite file.
bool IsServerJournalName(const QString& text);

// The connection string as it may be shown: every keyword but the password.
QString JournalDisplayName(const QString& connection);
