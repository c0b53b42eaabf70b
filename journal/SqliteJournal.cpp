#include "SqliteJournal.h"

#include "JournalFiles.h"
#include "SqliteStatement.h"
#include "WriterIdentity.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <chrono>
#include <sqlite3.h>
#include <thread>

namespace {

// "TKJL" in the database header: a journal of this station, not some other
// SQLite file that happens to sit at the path.
constexpr int kApplicationId = 0x544B4A4C;

// Version 1, as the first stations created it. Each later version is a step
// of its own below, run in createOrMigrate()'s transaction from the file's
// version up, so a new journal and an old one end in the same schema.
const char kSchemaV1[] = R"(
CREATE TABLE attempts (
    id INTEGER PRIMARY KEY AUTOINCREMENT, -- never reused, even after a deletion
    time_ms INTEGER NOT NULL,             -- when it began, ms since 1970 UTC
    reader TEXT NOT NULL,
    serial TEXT NOT NULL,
    settings TEXT NOT NULL,
    export_files TEXT NOT NULL,           -- JSON array of paths
    state TEXT NOT NULL
        CHECK (state IN ('writing', 'programmed', 'failed', 'interrupted')),
    reason TEXT NOT NULL,
    writer TEXT NOT NULL,                 -- the process that began it (WriterIdentity.h)
    finished_ms INTEGER                   -- when its outcome was recorded
);
CREATE INDEX attempts_by_serial ON attempts (serial, state, time_ms);
CREATE INDEX attempts_by_state ON attempts (state);
CREATE INDEX attempts_by_time ON attempts (time_ms);
)";

// Version 2: the user (UPN) each token's records name. Attempts of a
// version 1 journal named no user of their own: they read as empty.
const char kSchemaV2[] = R"(
ALTER TABLE attempts ADD COLUMN user_name TEXT NOT NULL DEFAULT '';
)";

// Version 3: the seed sealed to the fleet's certificate (CMS, DER), kept by
// stations that seal (--seal-to); NULL for every other attempt.
const char kSchemaV3[] = R"(
ALTER TABLE attempts ADD COLUMN sealed_seed BLOB;
)";

const char kColumns[] =
    "SELECT id, time_ms, reader, serial, settings, export_files, state, reason, writer, "
    "user_name FROM attempts ";

const QString kInterruptedReason =
    QStringLiteral("The station stopped while it was writing the seed.");

qint64 NowMs()
{
    return QDateTime::currentMSecsSinceEpoch();
}

QString FilesText(const QStringList& files)
{
    return QString::fromUtf8(
        QJsonDocument(QJsonArray::fromStringList(files)).toJson(QJsonDocument::Compact));
}

QStringList FilesFromText(const QString& text)
{
    QStringList files;
    for (const QJsonValue& file : QJsonDocument::fromJson(text.toUtf8()).array())
        files << file.toString();
    return files;
}

// One row of kColumns; nullopt for a state this station does not know.
std::optional<JournalAttempt> ReadAttempt(const SqliteStatement& row)
{
    const std::optional<AttemptState> state = AttemptStateFromName(row.text(6));
    if (!state)
        return std::nullopt;
    JournalAttempt attempt;
    attempt.id = row.integer(0);
    attempt.time = QDateTime::fromMSecsSinceEpoch(row.integer(1), Qt::UTC);
    attempt.reader = row.text(2);
    attempt.serialNumber = row.text(3);
    attempt.settings = row.text(4);
    attempt.exportFiles = FilesFromText(row.text(5));
    attempt.state = *state;
    attempt.reason = row.text(7);
    attempt.userName = row.text(9);
    return attempt;
}

int IntegerPragma(sqlite3* db, const char* sql, qint64& value)
{
    SqliteStatement pragma(db, sql);
    const int result = pragma.step();
    if (result == SQLITE_ROW)
        value = pragma.integer(0);
    return result == SQLITE_ROW ? SQLITE_OK : result;
}

int Exec(sqlite3* db, const char* sql)
{
    return sqlite3_exec(db, sql, nullptr, nullptr, nullptr);
}

} // namespace

SqliteJournal::SqliteJournal(QString path, sqlite3* db, QString writer)
    : m_path(std::move(path)), m_db(db), m_writer(std::move(writer))
{}

SqliteJournal::~SqliteJournal()
{
    sqlite3_close(m_db);
}

JournalResult<std::unique_ptr<SqliteJournal>> SqliteJournal::open(const QString& path)
{
    if (const JournalResult<void> files = PrepareJournalFiles(path); !files.ok())
        return JournalError{files.error()};
    sqlite3* db = nullptr;
    // NOFOLLOW: a link planted after the check is refused too.
    const int opened = sqlite3_open_v2(QFile::encodeName(path).constData(), &db,
                                       SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOFOLLOW, nullptr);
    std::unique_ptr<SqliteJournal> journal(new SqliteJournal(path, db, CurrentWriter()));
    if (opened != SQLITE_OK)
        return journal->failure(QStringLiteral("cannot be opened"), opened);
    if (const JournalResult<void> set = journal->setUp(); !set.ok())
        return JournalError{set.error()};
    // The -wal and -shm files as SQLite holds them now.
    if (const JournalResult<void> files = PrepareJournalFiles(path); !files.ok())
        return JournalError{files.error()};
    return journal;
}

JournalResult<void> SqliteJournal::setUp()
{
    sqlite3_extended_result_codes(m_db, 1);
    sqlite3_busy_timeout(m_db, kBusyTimeoutMs);
    // Nothing a crafted file holds (triggers, views calling functions) runs,
    // and nothing can write the file's structure directly.
    sqlite3_db_config(m_db, SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
    sqlite3_db_config(m_db, SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, nullptr);

    // Changing the mode takes the file's lock without SQLite's busy handler:
    // two stations opening a new journal at once meet here, so the busy
    // answer is waited out like any other lock, for the same time.
    QString mode;
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(kBusyTimeoutMs);
    for (;;) {
        SqliteStatement wal(m_db, "PRAGMA journal_mode=WAL");
        const int result = wal.step();
        if (result == SQLITE_ROW) {
            mode = wal.text(0);
            break;
        }
        if ((result & 0xff) != SQLITE_BUSY || std::chrono::steady_clock::now() >= deadline)
            return failure(QStringLiteral("cannot be set to write-ahead logging"), result);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    if (mode != QLatin1String("wal"))
        return JournalError{QStringLiteral("The programming journal %1 cannot be set to "
                                           "write-ahead logging (it stays in %2 mode).")
                                .arg(m_path, mode)};
    if (const int result = Exec(m_db, "PRAGMA synchronous=FULL"); result != SQLITE_OK)
        return failure(QStringLiteral("cannot be set to sync every record"), result);
    return createOrMigrate();
}

JournalResult<void> SqliteJournal::createOrMigrate()
{
    SqliteWriteTransaction transaction(m_db);
    if (transaction.began() != SQLITE_OK)
        return failure(QStringLiteral("cannot be read"), transaction.began());
    qint64 version = 0;
    qint64 application = 0;
    qint64 objects = 0;
    int result = IntegerPragma(m_db, "PRAGMA user_version", version);
    if (result == SQLITE_OK)
        result = IntegerPragma(m_db, "PRAGMA application_id", application);
    if (result == SQLITE_OK)
        result = IntegerPragma(m_db, "SELECT count(*) FROM sqlite_schema", objects);
    if (result != SQLITE_OK)
        return failure(QStringLiteral("cannot be read"), result);

    const bool empty = version == 0 && application == 0 && objects == 0;
    if (!empty && application != kApplicationId)
        return JournalError{
            QStringLiteral("%1 is not a programming journal of the station.").arg(m_path)};
    if (version > kSchemaVersion)
        return JournalError{QStringLiteral("The programming journal %1 was written by a newer "
                                           "station (journal version %2; this station knows "
                                           "version %3 and older).")
                                .arg(m_path)
                                .arg(version)
                                .arg(kSchemaVersion)};
    if (version == kSchemaVersion)
        return {};
    if (version == 0) {
        result = Exec(m_db, kSchemaV1);
        if (result == SQLITE_OK)
            result = Exec(m_db, "PRAGMA application_id=1414220364"); // kApplicationId
    }
    if (result == SQLITE_OK && version < 2)
        result = Exec(m_db, kSchemaV2);
    if (result == SQLITE_OK && version < 3)
        result = Exec(m_db, kSchemaV3);
    if (result == SQLITE_OK)
        result = Exec(m_db, "PRAGMA user_version=3");
    static_assert(kSchemaVersion == 3 && kApplicationId == 1414220364);
    if (result == SQLITE_OK)
        result = transaction.commit();
    if (result != SQLITE_OK)
        return failure(QStringLiteral("cannot be created"), result);
    return {};
}

JournalError SqliteJournal::failure(const QString& what, int result) const
{
    const QString detail = m_db && sqlite3_extended_errcode(m_db) == result
                               ? QString::fromUtf8(sqlite3_errmsg(m_db))
                               : QString::fromUtf8(sqlite3_errstr(result));
    return JournalError{
        QStringLiteral("The programming journal %1 %2: %3.").arg(m_path, what, detail)};
}

JournalResult<qint64> SqliteJournal::insert(const JournalAttempt& attempt, AttemptState state)
{
    const qint64 time = attempt.time.isValid() ? attempt.time.toMSecsSinceEpoch() : NowMs();
    const bool finished = state != AttemptState::Writing;
    SqliteWriteTransaction transaction(m_db);
    SqliteStatement insert(m_db, "INSERT INTO attempts (time_ms, reader, serial, settings, "
                                 "export_files, state, reason, writer, finished_ms, user_name, "
                                 "sealed_seed) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)");
    insert.bind(1, time)
        .bind(2, attempt.reader)
        .bind(3, attempt.serialNumber)
        .bind(4, attempt.settings)
        .bind(5, FilesText(attempt.exportFiles))
        .bind(6, AttemptStateName(state))
        .bind(7, attempt.reason)
        .bind(8, m_writer)
        .bind(10, attempt.userName)
        .bindBlob(11, attempt.sealedSeed);
    if (finished)
        insert.bind(9, NowMs());
    else
        insert.bindNull(9);
    int result = transaction.began();
    if (result == SQLITE_OK && (result = insert.step()) == SQLITE_DONE)
        result = SQLITE_OK;
    const qint64 id = sqlite3_last_insert_rowid(m_db);
    if (result == SQLITE_OK)
        result = transaction.commit();
    if (result != SQLITE_OK)
        return failure(
            QStringLiteral("cannot record the attempt on token %1").arg(attempt.serialNumber),
            result);
    return id;
}

JournalResult<qint64> SqliteJournal::beginWriting(const JournalAttempt& attempt)
{
    std::lock_guard lock(m_lock);
    return insert(attempt, AttemptState::Writing);
}

JournalResult<qint64> SqliteJournal::recordAttempt(const JournalAttempt& attempt)
{
    if (const QString problem = RecordedStateProblem(attempt.state); !problem.isEmpty())
        return JournalError{problem};
    std::lock_guard lock(m_lock);
    return insert(attempt, attempt.state);
}

JournalResult<void> SqliteJournal::finish(qint64 id, AttemptState state, const QString& reason,
                                          const QStringList& exportFiles)
{
    if (const QString problem = FinishedStateProblem(state); !problem.isEmpty())
        return JournalError{problem};
    std::lock_guard lock(m_lock);
    SqliteWriteTransaction transaction(m_db);
    SqliteStatement update(m_db, "UPDATE attempts SET state = ?, reason = ?, export_files = ?, "
                                 "finished_ms = ? "
                                 "WHERE id = ? AND state IN ('writing', 'interrupted')");
    update.bind(1, AttemptStateName(state))
        .bind(2, reason)
        .bind(3, FilesText(exportFiles))
        .bind(4, NowMs())
        .bind(5, id);
    int result = transaction.began();
    if (result == SQLITE_OK && (result = update.step()) == SQLITE_DONE)
        result = SQLITE_OK;
    const bool found = sqlite3_changes(m_db) == 1;
    if (result == SQLITE_OK && found)
        result = transaction.commit();
    if (result != SQLITE_OK)
        return failure(QStringLiteral("cannot record the outcome of attempt %1").arg(id), result);
    if (!found)
        return JournalError{QStringLiteral("The programming journal %1 has no attempt %2 "
                                           "waiting for its outcome.")
                                .arg(m_path)
                                .arg(id)};
    return {};
}

JournalResult<void> SqliteJournal::markInterrupted(const QList<qint64>& ids)
{
    std::lock_guard lock(m_lock);
    SqliteWriteTransaction transaction(m_db);
    int result = transaction.began();
    const qint64 now = NowMs();
    // An attempt that got its outcome meanwhile keeps it.
    for (const qint64 id : ids) {
        if (result != SQLITE_OK)
            break;
        SqliteStatement update(m_db, "UPDATE attempts SET state = 'interrupted', reason = ?, "
                                     "finished_ms = ? WHERE id = ? AND state = 'writing'");
        update.bind(1, kInterruptedReason).bind(2, now).bind(3, id);
        const int stepped = update.step();
        result = stepped == SQLITE_DONE ? SQLITE_OK : stepped;
    }
    if (result == SQLITE_OK)
        result = transaction.commit();
    if (result != SQLITE_OK)
        return failure(QStringLiteral("cannot mark the unfinished attempts"), result);
    return {};
}

JournalResult<std::optional<QDateTime>> SqliteJournal::lastProgrammed(const QString& serialNumber)
{
    std::lock_guard lock(m_lock);
    SqliteStatement last(m_db, "SELECT max(time_ms) FROM attempts "
                               "WHERE serial = ? AND state = 'programmed'");
    last.bind(1, serialNumber);
    if (const int result = last.step(); result != SQLITE_ROW)
        return failure(QStringLiteral("cannot be read"), result);
    if (last.isNull(0))
        return std::optional<QDateTime>();
    return std::optional<QDateTime>(QDateTime::fromMSecsSinceEpoch(last.integer(0), Qt::UTC));
}

JournalResult<QList<JournalAttempt>> SqliteJournal::unfinished()
{
    std::lock_guard lock(m_lock);
    SqliteStatement rows(
        m_db, (QByteArray(kColumns) + "WHERE state = 'writing' ORDER BY id").constData());
    QList<JournalAttempt> attempts;
    int result;
    while ((result = rows.step()) == SQLITE_ROW) {
        if (WriterMayBeRunning(rows.text(8)))
            continue;
        if (std::optional<JournalAttempt> attempt = ReadAttempt(rows))
            attempts << *attempt;
    }
    if (result != SQLITE_DONE)
        return failure(QStringLiteral("cannot be read"), result);
    return attempts;
}

JournalResult<QList<JournalAttempt>> SqliteJournal::list(const std::optional<QDateTime>& since,
                                                         const QString& serialNumber)
{
    std::lock_guard lock(m_lock);
    SqliteStatement rows(m_db, (QByteArray(kColumns) +
                                "WHERE (?1 IS NULL OR time_ms >= ?1) AND (?2 = '' OR serial = ?2) "
                                "ORDER BY time_ms, id")
                                   .constData());
    if (since)
        rows.bind(1, since->toMSecsSinceEpoch());
    else
        rows.bindNull(1);
    rows.bind(2, serialNumber);
    return readAttempts(rows, false);
}

JournalResult<QList<JournalAttempt>>
SqliteJournal::newestSeeds(const std::optional<QDateTime>& since, const QString& serialNumber)
{
    std::lock_guard lock(m_lock);
    SqliteStatement rows(
        m_db, "SELECT id, time_ms, reader, serial, settings, export_files, state, reason, writer, "
              "user_name, sealed_seed FROM attempts a WHERE id = (SELECT b.id FROM attempts b "
              "WHERE b.serial = a.serial AND b.state IN ('programmed', 'writing', 'interrupted') "
              "ORDER BY b.time_ms DESC, b.id DESC LIMIT 1) "
              "AND (?1 IS NULL OR time_ms >= ?1) AND (?2 = '' OR serial = ?2) ORDER BY serial");
    if (since)
        rows.bind(1, since->toMSecsSinceEpoch());
    else
        rows.bindNull(1);
    rows.bind(2, serialNumber);
    return readAttempts(rows, true);
}

// The attempts of a listing's rows, with their sealed seeds (column 10) when asked.
JournalResult<QList<JournalAttempt>> SqliteJournal::readAttempts(SqliteStatement& rows,
                                                                 bool withSealedSeed) const
{
    QList<JournalAttempt> attempts;
    int result;
    while ((result = rows.step()) == SQLITE_ROW) {
        std::optional<JournalAttempt> attempt = ReadAttempt(rows);
        if (!attempt)
            return JournalError{QStringLiteral("The programming journal %1 holds an attempt in "
                                               "a state this station does not know (%2).")
                                    .arg(m_path, rows.text(6))};
        if (withSealedSeed)
            attempt->sealedSeed = rows.blob(10);
        attempts << *attempt;
    }
    if (result != SQLITE_DONE)
        return failure(QStringLiteral("cannot be read"), result);
    return attempts;
}
