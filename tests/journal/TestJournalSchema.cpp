// The journal file as another program (or a later station) sees it: its
// version and mode in the header, and the files the station refuses to take
// for its journal.
#include "JournalTestSupport.h"

#include <QFile>
#include <sqlite3.h>

namespace {

// Runs sql on the file with a connection of its own; the first column of the
// first row, as text.
QString Query(const QString& path, const char* sql)
{
    sqlite3* db = nullptr;
    EXPECT_EQ(sqlite3_open(QFile::encodeName(path).constData(), &db), SQLITE_OK);
    sqlite3_stmt* statement = nullptr;
    QString result;
    if (sqlite3_prepare_v2(db, sql, -1, &statement, nullptr) == SQLITE_OK &&
        sqlite3_step(statement) == SQLITE_ROW)
        result =
            QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(statement, 0)));
    else
        ADD_FAILURE() << sql << ": " << sqlite3_errmsg(db);
    sqlite3_finalize(statement);
    sqlite3_close(db);
    return result;
}

void Exec(const QString& path, const char* sql)
{
    sqlite3* db = nullptr;
    EXPECT_EQ(sqlite3_open(QFile::encodeName(path).constData(), &db), SQLITE_OK);
    EXPECT_EQ(sqlite3_exec(db, sql, nullptr, nullptr, nullptr), SQLITE_OK) << sqlite3_errmsg(db);
    sqlite3_close(db);
}

TEST_F(JournalTest, JournalSchemaCarriesItsVersionAndWriteAheadLog)
{
    {
        auto journal = OpenJournal(path());
        ASSERT_TRUE(journal);
        ASSERT_TRUE(journal->beginWriting(Attempt("TK0001")).ok());
    }
    EXPECT_EQ(Query(path(), "PRAGMA user_version"), QString::number(SqliteJournal::kSchemaVersion));
    EXPECT_EQ(Query(path(), "PRAGMA journal_mode"), QStringLiteral("wal"));
    EXPECT_EQ(Query(path(), "SELECT serial || ' ' || state FROM attempts"),
              QStringLiteral("TK0001 writing"));
}

// A journal a station of the first version left: opened by this station,
// it gains the user column in place, its attempts kept (naming no user),
// and new attempts record theirs.
TEST_F(JournalTest, JournalOfTheFirstVersionIsBroughtUpToDate)
{
    ASSERT_TRUE(QDir().mkpath(dataFolder()));
    Exec(path(), R"(
PRAGMA application_id=1414220364;
PRAGMA user_version=1;
CREATE TABLE attempts (
    id INTEGER PRIMARY KEY AUTOINCREMENT, time_ms INTEGER NOT NULL, reader TEXT NOT NULL,
    serial TEXT NOT NULL, settings TEXT NOT NULL, export_files TEXT NOT NULL,
    state TEXT NOT NULL CHECK (state IN ('writing', 'programmed', 'failed', 'interrupted')),
    reason TEXT NOT NULL, writer TEXT NOT NULL, finished_ms INTEGER);
INSERT INTO attempts (time_ms, reader, serial, settings, export_files, state, reason, writer,
    finished_ms) VALUES (1765368300000, 'Reader', 'OLD001', 'SHA1', '[]', 'programmed', '',
    'host 1 1', 1765368300001);
)");
    {
        auto journal = OpenJournal(path());
        ASSERT_TRUE(journal);
        JournalAttempt attempt = Attempt("NEW001");
        attempt.userName = QStringLiteral("ana@example.org");
        ASSERT_TRUE(journal->beginWriting(attempt).ok());
    }
    EXPECT_EQ(Query(path(), "PRAGMA user_version"), QString::number(SqliteJournal::kSchemaVersion));
    auto journal = OpenJournal(path());
    ASSERT_TRUE(journal);
    const JournalResult<QList<JournalAttempt>> listed = journal->list(std::nullopt, {});
    ASSERT_TRUE(listed.ok()) << listed.error().toStdString();
    ASSERT_EQ(listed.value().size(), 2);
    EXPECT_EQ(listed.value()[0].serialNumber, QStringLiteral("OLD001"));
    EXPECT_EQ(listed.value()[0].state, AttemptState::Programmed);
    EXPECT_EQ(listed.value()[0].userName, QString());
    EXPECT_EQ(listed.value()[1].userName, QStringLiteral("ana@example.org"));
}

// A journal of the second version gains the sealed seed column in place:
// its attempts are kept, unsealed, and a sealed attempt begun now keeps its
// seed for the export.
TEST_F(JournalTest, JournalOfTheSecondVersionGainsTheSealedSeed)
{
    ASSERT_TRUE(QDir().mkpath(dataFolder()));
    Exec(path(), R"(
PRAGMA application_id=1414220364;
PRAGMA user_version=2;
CREATE TABLE attempts (
    id INTEGER PRIMARY KEY AUTOINCREMENT, time_ms INTEGER NOT NULL, reader TEXT NOT NULL,
    serial TEXT NOT NULL, settings TEXT NOT NULL, export_files TEXT NOT NULL,
    state TEXT NOT NULL CHECK (state IN ('writing', 'programmed', 'failed', 'interrupted')),
    reason TEXT NOT NULL, writer TEXT NOT NULL, finished_ms INTEGER,
    user_name TEXT NOT NULL DEFAULT '');
CREATE INDEX attempts_by_serial ON attempts (serial, state, time_ms);
INSERT INTO attempts (time_ms, reader, serial, settings, export_files, state, reason, writer,
    finished_ms, user_name) VALUES (1765368300000, 'Reader', 'OLD002', 'SHA1', '[]',
    'programmed', '', 'host 1 1', 1765368300001, 'bo@example.org');
)");
    auto opened = SqliteJournal::open(path());
    ASSERT_TRUE(opened.ok()) << opened.error().toStdString();
    SqliteJournal& journal = *opened.value();
    JournalAttempt attempt = Attempt("NEW002");
    attempt.sealedSeed = QByteArray("\x30\x82\x00\x00sealed", 10);
    const JournalResult<qint64> begun = journal.beginWriting(attempt);
    ASSERT_TRUE(begun.ok()) << begun.error().toStdString();
    ASSERT_TRUE(journal.finish(begun.value(), AttemptState::Programmed, {}, {}).ok());
    EXPECT_EQ(Query(path(), "PRAGMA user_version"), QString::number(SqliteJournal::kSchemaVersion));

    const JournalResult<QList<JournalAttempt>> vault = journal.newestSeeds(std::nullopt, {});
    ASSERT_TRUE(vault.ok()) << vault.error().toStdString();
    ASSERT_EQ(vault.value().size(), 2);
    EXPECT_EQ(vault.value()[0].serialNumber, QStringLiteral("NEW002"));
    EXPECT_EQ(vault.value()[0].sealedSeed, attempt.sealedSeed);
    EXPECT_EQ(vault.value()[1].serialNumber, QStringLiteral("OLD002"));
    EXPECT_EQ(vault.value()[1].userName, QStringLiteral("bo@example.org"));
    EXPECT_TRUE(vault.value()[1].sealedSeed.isEmpty()) << "an old attempt holds no sealed seed";
}

TEST_F(JournalTest, JournalRefusesDatabasesThatAreNotItsOwn)
{
    const struct
    {
        const char* name;
        bool journalFirst; // sql runs on a journal, or on a new file
        const char* sql;
        const char* bytes; // or these bytes are the file
        const char* says;
    } cases[] = {
        {"a newer station's journal", true, "PRAGMA user_version=99", nullptr, "newer station"},
        {"another program's database", false, "CREATE TABLE t (x)", nullptr,
         "not a programming journal"},
        {"a file that is not a database", false, nullptr,
         "not a database, just text of some length\n", "journal"},
    };
    for (const auto& c : cases) {
        QDir(dataFolder()).removeRecursively();
        ASSERT_TRUE(QDir().mkpath(dataFolder()));
        if (c.journalFirst) {
            ASSERT_TRUE(OpenJournal(path()));
        }
        if (c.sql) {
            Exec(path(), c.sql);
        } else {
            QFile file(path());
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write(c.bytes);
        }
        const JournalResult<std::unique_ptr<SqliteJournal>> opened = SqliteJournal::open(path());
        ASSERT_FALSE(opened.ok()) << c.name;
        EXPECT_TRUE(opened.error().contains(QLatin1String(c.says)))
            << c.name << ": " << opened.error().toStdString();
    }
}

} // namespace
