#pragma once

// PostgresFixture: a private PostgreSQL 15 cluster for one test process.
//
// initdb and pg_ctl from /usr/lib/postgresql/15/bin make and start a cluster
// in a temporary folder, listening on a Unix socket there only (no TCP port),
// with trust authentication for local connections. PostgreSQL refuses to run
// as root and the tests run as root: the cluster runs as Debian's `postgres`
// user (runuser), so the folder is made reachable by that user. The cluster
// is stopped and removed on destruction, also when the test fails. A fixture
// that cannot start its cluster says why in failure(); tests assert ok().
//
//   PostgresFixture postgres;
//   ASSERT_TRUE(postgres.ok()) << postgres.failure();
//   auto journal = PostgresJournal::open(postgres.connection());
//
// connection() names the database "tokens" as the superuser; stop() and
// start() play a server that goes away and comes back.

#include <QString>
#include <QTemporaryDir>
#include <optional>
#include <string>

class PostgresFixture
{
public:
    PostgresFixture();
    ~PostgresFixture();
    PostgresFixture(const PostgresFixture&) = delete;
    PostgresFixture& operator=(const PostgresFixture&) = delete;

    // Whether the cluster runs as asked. A statement psql ran and the server
    // refused (as a test of privileges expects) leaves the fixture ok.
    bool ok() const { return m_failure.empty(); }
    // Why the cluster is not ok, or else why the last psql run failed.
    const std::string& failure() const { return m_failure.empty() ? m_psqlFailure : m_failure; }

    // A libpq connection string to database as user.
    QString connection(const QString& database = QStringLiteral("tokens"),
                       const QString& user = QStringLiteral("postgres")) const;
    QString socketFolder() const;

    // Stops the server (fast: open connections are ended) and starts it
    // again, each waiting until the server is down or accepts connections.
    bool stop();
    bool start();

    // Runs sql with psql (stopping at the first error) as user on database;
    // the output when it succeeded, nothing and a failure() otherwise.
    std::optional<QString> psql(const QString& sql,
                                const QString& database = QStringLiteral("tokens"),
                                const QString& user = QStringLiteral("postgres"));
    // Runs a file of SQL the same way.
    bool psqlFile(const QString& path, const QString& database = QStringLiteral("tokens"));

private:
    bool runAsPostgres(const QStringList& command, QString* output = nullptr);
    bool fail(const std::string& why);
    bool psqlFailed(const std::string& why);

    QTemporaryDir m_folder;
    bool m_running = false;
    std::string m_failure;
    std::string m_psqlFailure;
};
