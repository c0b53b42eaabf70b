// The least-privilege set-up of packaging/token-station-journal.sql: a
// station records and finishes attempts and nothing more; the exporter reads.
#include "PostgresJournalTest.h"
#include "journal/PostgresSchema.h"

#include <QFile>

namespace {

class PostgresRolesTest : public PostgresJournalTest
{
protected:
    void SetUp() override
    {
        PostgresJournalTest::SetUp();
        ASSERT_FALSE(HasFatalFailure());
        ASSERT_TRUE(server()->psqlFile(QStringLiteral(SCHEMA_SQL), database()))
            << server()->failure();
        // Login roles are the cluster's; the first test makes them.
        ASSERT_TRUE(server()->psql(
            QStringLiteral("DO $$ BEGIN IF NOT EXISTS (SELECT 1 FROM pg_roles WHERE rolname = "
                           "'station_pc12') THEN CREATE ROLE station_pc12 LOGIN IN ROLE "
                           "token_station; CREATE ROLE export_admin LOGIN IN ROLE "
                           "token_exporter; END IF; END $$"),
            database()))
            << server()->failure();
    }

    // Whether sql, run as user, is refused for want of a privilege.
    bool refused(const QString& sql, const QString& user)
    {
        PostgresFixture& pg = *server();
        const bool ran = pg.psql(sql, database(), user).has_value();
        return !ran;
    }
};

TEST_F(PostgresRolesTest, PostgresPackagedSchemaIsTheStationsOwn)
{
    QFile file(QStringLiteral(SCHEMA_SQL));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_TRUE(file.readAll().contains(kPostgresSchema))
        << "the packaged tables differ from those a station creates";
}

TEST_F(PostgresRolesTest, PostgresStationRoleRecordsAndFinishesOnly)
{
    auto journal = open(QStringLiteral("pc12"), QStringLiteral("station_pc12"));
    ASSERT_TRUE(journal);
    JournalAttempt attempt = Attempt("TK0600");
    attempt.sealedSeed = "sealed";
    const JournalResult<qint64> begun = journal->beginWriting(attempt);
    ASSERT_TRUE(begun.ok()) << begun.error().toStdString();
    ASSERT_TRUE(journal->finish(begun.value(), AttemptState::Programmed, {}, {}).ok());
    ASSERT_TRUE(journal->lastProgrammedBy(QStringLiteral("TK0600")).ok());
    ASSERT_TRUE(journal->unfinished().ok());
    ASSERT_TRUE(journal->list(std::nullopt, {}).ok());

    const QString station = QStringLiteral("station_pc12");
    for (const char* sql :
         {"DELETE FROM attempts", "UPDATE attempts SET serial = 'TK9999'",
          "UPDATE attempts SET sealed_seed = 'x'", "SELECT sealed_seed FROM attempts",
          "TRUNCATE attempts", "DROP TABLE attempts", "UPDATE journal_schema SET version = 2"})
        EXPECT_TRUE(refused(QString::fromLatin1(sql), station)) << sql;

    // The exporter reads the sealed seeds, and changes nothing.
    const auto sealed =
        server()->psql(QStringLiteral("SELECT encode(sealed_seed, 'escape') FROM attempts"),
                       database(), QStringLiteral("export_admin"));
    ASSERT_TRUE(sealed) << server()->failure();
    EXPECT_EQ(*sealed, QStringLiteral("sealed"));
    EXPECT_TRUE(refused(QStringLiteral("UPDATE attempts SET state = 'failed'"),
                        QStringLiteral("export_admin")));
}

TEST_F(PostgresRolesTest, PostgresStationWithoutTablesOrNewerOnesIsRefused)
{
    // A database without the tables, where the station may not create them.
    ASSERT_TRUE(server()->psql(QStringLiteral("CREATE DATABASE bare_%1").arg(database()),
                               QStringLiteral("postgres")));
    ASSERT_TRUE(server()->psql(QStringLiteral("REVOKE CREATE ON SCHEMA public FROM PUBLIC"),
                               QStringLiteral("bare_%1").arg(database())));
    auto bare =
        PostgresJournal::open(server()->connection(QStringLiteral("bare_%1").arg(database()),
                                                   QStringLiteral("station_pc12")),
                              QStringLiteral("pc12"));
    ASSERT_FALSE(bare.ok());
    EXPECT_TRUE(bare.error().contains(QStringLiteral("has no tables and this station cannot "
                                                     "create them")))
        << bare.error().toStdString();

    ASSERT_TRUE(
        server()->psql(QStringLiteral("UPDATE journal_schema SET version = 2"), database()));
    auto newer = PostgresJournal::open(connection(), QStringLiteral("pc12"));
    ASSERT_FALSE(newer.ok());
    EXPECT_TRUE(newer.error().contains(QStringLiteral("written by a newer station")))
        << newer.error().toStdString();
}

} // namespace
