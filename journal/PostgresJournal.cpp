#include "PostgresJournal.h"

#include "PostgresSchema.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QSysInfo>
#include <libpq-fe.h>
#include <poll.h>

// One parameter of a statement: text, or bytes sent as they are, or NULL.
struct PostgresParameter
{
    QByteArray bytes;
    bool null = false;
    bool binary = false;
};

namespace {

using Parameter = PostgresParameter;

Parameter Text(const QString& text)
{
    return Parameter{text.toUtf8()};
}

Parameter Number(qint64 value)
{
    return Parameter{QByteArray::number(value)};
}

Parameter Null()
{
    return Parameter{{}, true};
}

Parameter Bytes(const QByteArray& bytes)
{
    return bytes.isEmpty() ? Null() : Parameter{bytes, false, true};
}

Parameter Milliseconds(const QDateTime& time)
{
    return time.isValid() ? Number(time.toMSecsSinceEpoch()) : Null();
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

// The columns every listing reads, in ReadAttempt's order.
#define ATTEMPT_COLUMNS                                                                            \
    "id, (extract(epoch FROM time) * 1000)::bigint, reader, serial, settings, user_name, "         \
    "array_to_json(export_files)::text, state, reason, station "

const QString kInterruptedReason =
    QStringLiteral("The station stopped while it was writing the seed.");

// The SQLSTATE of a unique violation: another station writes the serial.
const char kUniqueViolation[] = "23505";

// Whether the server ended the connection while the station was idle (a
// restart, a failover, an administrator): between calls the server sends
// nothing unless it closes the connection, so a socket with something to
// read says so before a statement is lost on it.
bool EndedWhileIdle(PGconn* db)
{
    pollfd socket{PQsocket(db), POLLIN, 0};
    return poll(&socket, 1, 0) != 0;
}

// libpq's notices (the server's last word before it ends a connection)
// would go to standard error; the call's own error says what matters.
void IgnoreNotice(void*, const char*) {}

} // namespace

// One statement's result, freed with it.
class PostgresResult
{
public:
    explicit PostgresResult(PGresult* result) : m_result(result) {}
    ~PostgresResult() { PQclear(m_result); }
    PostgresResult(const PostgresResult&) = delete;
    PostgresResult& operator=(const PostgresResult&) = delete;
    ExecStatusType status() const { return PQresultStatus(m_result); }
    QByteArray sqlState() const { return PQresultErrorField(m_result, PG_DIAG_SQLSTATE); }

    int rows() const { return PQntuples(m_result); }
    bool isNull(int row, int column) const { return PQgetisnull(m_result, row, column); }
    QString text(int row, int column) const
    {
        return QString::fromUtf8(PQgetvalue(m_result, row, column),
                                 PQgetlength(m_result, row, column));
    }
    qint64 integer(int row, int column) const { return text(row, column).toLongLong(); }

private:
    PGresult* const m_result;
};

namespace {

// One row of ATTEMPT_COLUMNS; nullopt for a state this station does not know.
std::optional<JournalAttempt> ReadAttempt(const auto& result, int row)
{
    const std::optional<AttemptState> state = AttemptStateFromName(result.text(row, 7));
    if (!state)
        return std::nullopt;
    JournalAttempt attempt;
    attempt.id = result.integer(row, 0);
    attempt.time = QDateTime::fromMSecsSinceEpoch(result.integer(row, 1), Qt::UTC);
    attempt.reader = result.text(row, 2);
    attempt.serialNumber = result.text(row, 3);
    attempt.settings = result.text(row, 4);
    attempt.userName = result.text(row, 5);
    attempt.exportFiles = FilesFromText(result.text(row, 6));
    attempt.state = *state;
    attempt.reason = result.text(row, 8);
    attempt.station = result.text(row, 9);
    return attempt;
}

} // namespace

bool IsServerJournalName(const QString& text)
{
    return text.startsWith(QLatin1String("postgresql://")) ||
           text.startsWith(QLatin1String("postgres://")) || text.contains(QLatin1Char('='));
}

QString JournalDisplayName(const QString& connection)
{
    char* problem = nullptr;
    PQconninfoOption* options = PQconninfoParse(connection.toUtf8().constData(), &problem);
    if (!options) {
        PQfreemem(problem);
        return QStringLiteral("(a connection string libpq cannot read)");
    }
    QStringList words;
    for (PQconninfoOption* option = options; option->keyword; ++option) {
        if (!option->val || !*option->val || qstrcmp(option->keyword, "password") == 0)
            continue;
        words << QStringLiteral("%1=%2").arg(QString::fromUtf8(option->keyword),
                                             QString::fromUtf8(option->val));
    }
    PQconninfoFree(options);
    return words.join(QLatin1Char(' '));
}

PostgresJournal::PostgresJournal(QString connection, QString station)
    : m_connection(std::move(connection)), m_name(JournalDisplayName(m_connection)),
      m_station(std::move(station))
{}

PostgresJournal::~PostgresJournal()
{
    PQfinish(m_db);
}

JournalResult<std::unique_ptr<PostgresJournal>>
PostgresJournal::open(const QString& connection, const QString& station, QString* unreachable)
{
    std::unique_ptr<PostgresJournal> journal(
        new PostgresJournal(connection, station.isEmpty() ? QSysInfo::machineHostName() : station));
    std::lock_guard lock(journal->m_lock);
    if (const JournalResult<void> connected = journal->connect(); !connected.ok()) {
        if (!unreachable)
            return JournalError{connected.error()};
        *unreachable = connected.error();
    }
    return journal;
}

JournalError PostgresJournal::failure(const QString& what, const QString& detail) const
{
    return JournalError{
        QStringLiteral("The programming journal %1 %2: %3").arg(m_name, what, detail.trimmed())};
}

JournalResult<void> PostgresJournal::connect()
{
    PQfinish(m_db);
    m_db = nullptr;
    // The station's defaults come first: the connection string, its
    // service file and the environment override them.
    QList<QByteArray> keys;
    QList<QByteArray> values;
    auto unlessSet = [&](const char* key, const char* variable, const char* value) {
        if (qEnvironmentVariableIsEmpty(variable)) {
            keys << key;
            values << value;
        }
    };
    // A server that does not answer must not hold a token for minutes.
    unlessSet("connect_timeout", "PGCONNECT_TIMEOUT", "10");
    unlessSet("application_name", "PGAPPNAME", "token-station");
    keys << "keepalives"
         << "keepalives_idle"
         << "keepalives_interval"
         << "keepalives_count"
         << "tcp_user_timeout"
         << "dbname";
    values << "1"
           << "10"
           << "5"
           << "3"
           << "15000" << m_connection.toUtf8();
    std::vector<const char*> keyWords;
    std::vector<const char*> valueWords;
    for (qsizetype i = 0; i < keys.size(); ++i) {
        keyWords.push_back(keys[i].constData());
        valueWords.push_back(values[i].constData());
    }
    keyWords.push_back(nullptr);
    valueWords.push_back(nullptr);
    m_db = PQconnectdbParams(keyWords.data(), valueWords.data(), 1);
    PQsetNoticeProcessor(m_db, IgnoreNotice, nullptr);
    if (PQstatus(m_db) != CONNECTION_OK)
        return failure(QStringLiteral("cannot be reached"),
                       QString::fromUtf8(PQerrorMessage(m_db)));
    // A call waits for a busy server a few seconds, never for ever.
    PGresult* set = PQexec(m_db, "SET statement_timeout = '10s'; SET lock_timeout = '10s'");
    const bool ok = PQresultStatus(set) == PGRES_COMMAND_OK;
    PQclear(set);
    if (!ok)
        return failure(QStringLiteral("cannot be set up"), QString::fromUtf8(PQerrorMessage(m_db)));
    if (m_schemaChecked)
        return {};
    const JournalResult<void> schema = createOrCheckSchema();
    if (!schema.ok()) {
        // Not a journal this station may write: no call goes on with it.
        PQfinish(m_db);
        m_db = nullptr;
        return schema;
    }
    m_schemaChecked = true;
    return {};
}

JournalResult<void> PostgresJournal::createOrCheckSchema()
{
    PGresult* found = PQexec(m_db, "SELECT to_regclass('attempts') IS NOT NULL, "
                                   "to_regclass('journal_schema') IS NOT NULL");
    const PostgresResult tables(found);
    if (PQresultStatus(found) != PGRES_TUPLES_OK)
        return failure(QStringLiteral("cannot be read"), QString::fromUtf8(PQerrorMessage(m_db)));
    const bool haveAttempts = tables.text(0, 0) == QLatin1String("t");
    const bool haveSchema = tables.text(0, 1) == QLatin1String("t");
    if (haveAttempts != haveSchema)
        return failure(
            QStringLiteral("is not a programming journal of the station"),
            QStringLiteral("it has the table %1 but not the other")
                .arg(haveAttempts ? QStringLiteral("attempts") : QStringLiteral("journal_schema")));
    if (!haveAttempts) {
        // Two stations starting on a new database meet at the lock; the
        // second finds the tables made.
        const QByteArray create = QByteArray("BEGIN; SELECT pg_advisory_xact_lock(1414220364); ") +
                                  kPostgresSchema + "COMMIT;";
        PGresult* made = PQexec(m_db, create.constData());
        const bool ok = PQresultStatus(made) == PGRES_COMMAND_OK;
        PQclear(made);
        if (!ok) {
            const QString why = QString::fromUtf8(PQerrorMessage(m_db));
            PQclear(PQexec(m_db, "ROLLBACK"));
            return failure(QStringLiteral("has no tables and this station cannot create them "
                                          "(an administrator creates them with "
                                          "token-station-journal.sql)"),
                           why);
        }
    }
    PGresult* versionResult = PQexec(m_db, "SELECT max(version) FROM journal_schema");
    const PostgresResult version(versionResult);
    if (PQresultStatus(versionResult) != PGRES_TUPLES_OK)
        return failure(QStringLiteral("cannot be read"), QString::fromUtf8(PQerrorMessage(m_db)));
    if (version.isNull(0, 0))
        return failure(QStringLiteral("is not a programming journal of the station"),
                       QStringLiteral("its version is not recorded"));
    if (version.integer(0, 0) > kSchemaVersion)
        return JournalError{QStringLiteral("The programming journal %1 was written by a newer "
                                           "station (journal version %2; this station knows "
                                           "version %3 and older).")
                                .arg(m_name)
                                .arg(version.integer(0, 0))
                                .arg(kSchemaVersion)};
    return {};
}

// What one statement gave: its rows, or why it failed and its SQLSTATE.
struct PostgresOutcome
{
    std::unique_ptr<PostgresResult> result;
    QString error;
    QByteArray sqlState;
    bool ok() const { return error.isEmpty(); }
};

PostgresOutcome PostgresJournal::run(const char* sql,
                                     const std::vector<PostgresParameter>& parameters, bool retry)
{
    std::vector<const char*> values;
    std::vector<int> lengths;
    std::vector<int> formats;
    for (const PostgresParameter& parameter : parameters) {
        values.push_back(parameter.null ? nullptr : parameter.bytes.constData());
        lengths.push_back(static_cast<int>(parameter.bytes.size()));
        formats.push_back(parameter.binary ? 1 : 0);
    }
    for (int tries = retry ? 2 : 1; tries > 0; --tries) {
        // Inside a transaction a new connection would carry on without
        // what the transaction began (the token's lock): the call fails.
        if (m_inTransaction && (!m_db || PQstatus(m_db) != CONNECTION_OK))
            return PostgresOutcome{
                nullptr,
                failure(QStringLiteral("cannot be reached"),
                        QStringLiteral("the connection was lost in the middle of a call"))
                    .message,
                {}};
        if (!m_inTransaction &&
            (!m_db || PQstatus(m_db) != CONNECTION_OK || EndedWhileIdle(m_db))) {
            if (const JournalResult<void> connected = connect(); !connected.ok())
                return PostgresOutcome{nullptr, connected.error(), {}};
        }
        auto result = std::make_unique<PostgresResult>(
            PQexecParams(m_db, sql, static_cast<int>(values.size()), nullptr, values.data(),
                         lengths.data(), formats.data(), 0));
        if (result->status() == PGRES_TUPLES_OK || result->status() == PGRES_COMMAND_OK)
            return PostgresOutcome{std::move(result), {}, {}};
        const QString why = QString::fromUtf8(PQerrorMessage(m_db)).trimmed();
        const bool lost = PQstatus(m_db) != CONNECTION_OK;
        if (!lost || tries == 1)
            return PostgresOutcome{nullptr,
                                   lost ? failure(QStringLiteral("cannot be reached"), why).message
                                        : failure(QStringLiteral("refused the call"), why).message,
                                   result->sqlState()};
    }
    return PostgresOutcome{nullptr, failure(QStringLiteral("cannot be reached"), {}).message, {}};
}

JournalResult<qint64> PostgresJournal::insert(const JournalAttempt& attempt, AttemptState state)
{
    // The writer is this station's server connection: its pid and start
    // time, which pg_stat_activity lists as long as the connection lives.
    // $11: the newest outcome of the token this station was told of
    // (lastProgrammedBy): a token programmed by another station since is not
    // written over without the operator's question.
    static const char kInsert[] =
        "INSERT INTO attempts (time, reader, serial, settings, user_name, export_files, state, "
        "reason, station, writer_pid, writer_start, finished, sealed_seed) "
        "SELECT coalesce(to_timestamp($1::bigint / 1000.0), clock_timestamp()), $2, $3, $4, $5, "
        "ARRAY(SELECT json_array_elements_text($6::json)), $7, $8, $9, pg_backend_pid(), "
        "(SELECT backend_start FROM pg_stat_activity WHERE pid = pg_backend_pid()), "
        "CASE WHEN $7 = 'writing' THEN NULL ELSE clock_timestamp() END, $10 "
        "WHERE $11::text IS NULL OR NOT EXISTS (SELECT 1 FROM attempts WHERE serial = $3 AND "
        "state = 'programmed' AND ($11 = '' OR finished > $11::timestamptz)) "
        "RETURNING id";
    const std::optional<QString> told =
        state == AttemptState::Writing && m_told.contains(attempt.serialNumber)
            ? std::optional<QString>(m_told.take(attempt.serialNumber))
            : std::nullopt;
    // The token's lock, held to the commit, orders this insert after any
    // outcome of the token being recorded now (finish takes it too), so the
    // check above sees that outcome.
    const PostgresOutcome begun = run("BEGIN", {}, false);
    if (!begun.ok())
        return JournalError{begun.error};
    m_inTransaction = true;
    const PostgresOutcome locked =
        run("SELECT pg_advisory_xact_lock(hashtext($1))", {Text(attempt.serialNumber)}, false);
    const PostgresOutcome inserted =
        locked.ok() ? run(kInsert,
                          {Milliseconds(attempt.time), Text(attempt.reader),
                           Text(attempt.serialNumber), Text(attempt.settings),
                           Text(attempt.userName), Text(FilesText(attempt.exportFiles)),
                           Text(AttemptStateName(state)), Text(attempt.reason), Text(m_station),
                           Bytes(attempt.sealedSeed), told ? Text(*told) : Null()},
                          false)
                    : PostgresOutcome{nullptr, locked.error, locked.sqlState};
    const bool written = inserted.ok() && inserted.result->rows() == 1;
    const PostgresOutcome ended = run(written ? "COMMIT" : "ROLLBACK", {}, false);
    m_inTransaction = false;
    if (written && ended.ok())
        return inserted.result->integer(0, 0);
    if (written)
        return JournalError{ended.error};
    if (inserted.ok())
        return programmedMeanwhile(attempt.serialNumber);
    if (inserted.sqlState == kUniqueViolation)
        return beingWritten(attempt.serialNumber);
    return JournalError{inserted.error};
}

JournalError PostgresJournal::programmedMeanwhile(const QString& serialNumber)
{
    const PostgresOutcome other =
        run("SELECT station FROM attempts WHERE serial = $1 AND state = 'programmed' "
            "ORDER BY finished DESC NULLS LAST LIMIT 1",
            {Text(serialNumber)}, false);
    const QString where = other.ok() && other.result->rows() == 1
                              ? QStringLiteral(" at station %1").arg(other.result->text(0, 0))
                              : QString();
    return JournalError{QStringLiteral("Token %1 was programmed%2 a moment ago. Present it again "
                                       "to decide whether to program it again.")
                            .arg(serialNumber, where)};
}

// Another station writes this token now: say which, when it can be read.
JournalError PostgresJournal::beingWritten(const QString& serialNumber)
{
    const PostgresOutcome other =
        run("SELECT station, reader FROM attempts WHERE serial = $1 AND state = 'writing'",
            {Text(serialNumber)}, false);
    const QString where = other.ok() && other.result->rows() == 1
                              ? QStringLiteral(" at station %1 (reader %2)")
                                    .arg(other.result->text(0, 0), other.result->text(0, 1))
                              : QString();
    return JournalError{
        QStringLiteral("Token %1 is being programmed%2 now: one station at a time writes a "
                       "token.")
            .arg(serialNumber, where)};
}

JournalResult<qint64> PostgresJournal::beginWriting(const JournalAttempt& attempt)
{
    std::lock_guard lock(m_lock);
    return insert(attempt, AttemptState::Writing);
}

JournalResult<qint64> PostgresJournal::recordAttempt(const JournalAttempt& attempt)
{
    if (const QString problem = RecordedStateProblem(attempt.state); !problem.isEmpty())
        return JournalError{problem};
    std::lock_guard lock(m_lock);
    return insert(attempt, attempt.state);
}

JournalResult<void> PostgresJournal::finish(qint64 id, AttemptState state, const QString& reason,
                                            const QStringList& exportFiles)
{
    if (const QString problem = FinishedStateProblem(state); !problem.isEmpty())
        return JournalError{problem};
    std::lock_guard lock(m_lock);
    // The token's lock (as in insert) and the update, one transaction.
    // Repeating it after a lost answer finds the row finished: the retry
    // is the read below, never a second update.
    const PostgresOutcome begun = run("BEGIN", {}, false);
    if (!begun.ok())
        return JournalError{begun.error};
    m_inTransaction = true;
    const PostgresOutcome locked =
        run("SELECT pg_advisory_xact_lock(hashtext(serial)) FROM attempts WHERE id = $1",
            {Number(id)}, false);
    const PostgresOutcome changed =
        locked.ok() ? run("UPDATE attempts SET state = $1, reason = $2, "
                          "export_files = ARRAY(SELECT json_array_elements_text($3::json)), "
                          "finished = clock_timestamp() "
                          "WHERE id = $4 AND state IN ('writing', 'interrupted') RETURNING id",
                          {Text(AttemptStateName(state)), Text(reason),
                           Text(FilesText(exportFiles)), Number(id)},
                          false)
                    : PostgresOutcome{nullptr, locked.error, locked.sqlState};
    const PostgresOutcome ended = run(changed.ok() ? "COMMIT" : "ROLLBACK", {}, false);
    m_inTransaction = false;
    const PostgresOutcome& updated = changed.ok() && !ended.ok() ? ended : changed;
    if (!updated.ok())
        return JournalError{updated.error};
    if (updated.result->rows() == 1)
        return {};
    const PostgresOutcome known =
        run("SELECT state FROM attempts WHERE id = $1", {Number(id)}, true);
    if (known.ok() && known.result->rows() == 1 &&
        known.result->text(0, 0) == AttemptStateName(state))
        return {};
    return JournalError{QStringLiteral("The programming journal %1 has no attempt %2 waiting "
                                       "for its outcome.")
                            .arg(m_name)
                            .arg(id)};
}

JournalResult<void> PostgresJournal::markInterrupted(const QList<qint64>& ids)
{
    QStringList words;
    for (const qint64 id : ids)
        words << QString::number(id);
    std::lock_guard lock(m_lock);
    // An attempt that got its outcome meanwhile keeps it.
    const PostgresOutcome updated =
        run("UPDATE attempts SET state = 'interrupted', reason = $1, finished = clock_timestamp() "
            "WHERE id = ANY (string_to_array($2, ',')::bigint[]) AND state = 'writing'",
            {Text(kInterruptedReason), Text(words.join(QLatin1Char(',')))}, true);
    if (!updated.ok())
        return JournalError{updated.error};
    return {};
}

JournalResult<std::optional<ProgrammedBefore>>
PostgresJournal::lastProgrammedBy(const QString& serialNumber)
{
    std::lock_guard lock(m_lock);
    const PostgresOutcome last =
        run("SELECT (extract(epoch FROM time) * 1000)::bigint, station, "
            "coalesce((SELECT max(finished) FROM attempts WHERE serial = $1 AND "
            "state = 'programmed')::text, 'infinity') FROM attempts "
            "WHERE serial = $1 AND state = 'programmed' ORDER BY time DESC, id DESC LIMIT 1",
            {Text(serialNumber)}, true);
    if (!last.ok())
        return JournalError{last.error};
    if (last.result->rows() == 0) {
        m_told.insert(serialNumber, QString());
        return std::optional<ProgrammedBefore>();
    }
    m_told.insert(serialNumber, last.result->text(0, 2));
    return std::optional<ProgrammedBefore>(
        ProgrammedBefore{QDateTime::fromMSecsSinceEpoch(last.result->integer(0, 0), Qt::UTC),
                         last.result->text(0, 1)});
}

JournalResult<std::optional<QDateTime>> PostgresJournal::lastProgrammed(const QString& serialNumber)
{
    JournalResult<std::optional<ProgrammedBefore>> last = lastProgrammedBy(serialNumber);
    if (!last.ok())
        return JournalError{last.error()};
    if (!last.value())
        return std::optional<QDateTime>();
    return std::optional<QDateTime>(last.value()->time);
}

JournalResult<QList<JournalAttempt>>
PostgresJournal::attempts(const QByteArray& sql, const std::vector<PostgresParameter>& parameters,
                          int sealedColumn)
{
    std::lock_guard lock(m_lock);
    const PostgresOutcome rows = run(sql.constData(), parameters, true);
    if (!rows.ok())
        return JournalError{rows.error};
    QList<JournalAttempt> attempts;
    for (int row = 0; row < rows.result->rows(); ++row) {
        std::optional<JournalAttempt> attempt = ReadAttempt(*rows.result, row);
        if (!attempt)
            return JournalError{QStringLiteral("The programming journal %1 holds an attempt in "
                                               "a state this station does not know (%2).")
                                    .arg(m_name, rows.result->text(row, 7))};
        if (sealedColumn >= 0 && !rows.result->isNull(row, sealedColumn))
            attempt->sealedSeed =
                QByteArray::fromHex(rows.result->text(row, sealedColumn).toLatin1());
        attempts << *attempt;
    }
    return attempts;
}

JournalResult<QList<JournalAttempt>> PostgresJournal::unfinished()
{
    // A row is left by a stopped station once the server lists no
    // connection with its writer's pid and start time. The start time is
    // hidden from a role that may not see other roles' connections; the
    // pid alone then decides (a reused pid only delays the report).
    return attempts("SELECT " ATTEMPT_COLUMNS "FROM attempts a WHERE state = 'writing' "
                    "AND NOT EXISTS (SELECT 1 FROM pg_stat_activity s WHERE s.pid = a.writer_pid "
                    "AND (s.backend_start IS NULL OR a.writer_start IS NULL "
                    "OR s.backend_start = a.writer_start)) ORDER BY id",
                    {});
}

JournalResult<QList<JournalAttempt>> PostgresJournal::list(const std::optional<QDateTime>& since,
                                                           const QString& serialNumber)
{
    return attempts("SELECT " ATTEMPT_COLUMNS "FROM attempts "
                    "WHERE ($1::bigint IS NULL OR time >= to_timestamp($1::bigint / 1000.0)) "
                    "AND ($2 = '' OR serial = $2) ORDER BY time, id",
                    {since ? Milliseconds(*since) : Null(), Text(serialNumber)});
}

JournalResult<QList<JournalAttempt>>
PostgresJournal::newestSeeds(const std::optional<QDateTime>& since, const QString& serialNumber)
{
    return attempts("SELECT * FROM (SELECT DISTINCT ON (serial) " ATTEMPT_COLUMNS
                    ", encode(sealed_seed, 'hex'), time AS newest FROM attempts "
                    "WHERE state IN ('programmed', 'writing', 'interrupted') "
                    "AND ($2 = '' OR serial = $2) "
                    "ORDER BY serial, time DESC, id DESC) newest_of_each "
                    "WHERE $1::bigint IS NULL OR newest >= to_timestamp($1::bigint / 1000.0) "
                    "ORDER BY serial",
                    {since ? Milliseconds(*since) : Null(), Text(serialNumber)}, 10);
}
