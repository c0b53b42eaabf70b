#pragma once

#include "JournalTestSupport.h"
#include "PostgresFixture.h"
#include "journal/PostgresJournal.h"

#include <memory>

// One private PostgreSQL cluster for the tests of a program, and an empty
// database of its own for each test.
class PostgresJournalTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite() { server() = std::make_unique<PostgresFixture>(); }
    static void TearDownTestSuite() { server().reset(); }

    void SetUp() override
    {
        UseLocalTimeUtcPlusTwo();
        ASSERT_TRUE(server()->ok()) << server()->failure();
        static int databases = 0;
        m_database = QStringLiteral("journal_%1").arg(++databases);
        ASSERT_TRUE(server()->psql(QStringLiteral("CREATE DATABASE %1").arg(m_database),
                                   QStringLiteral("postgres")))
            << server()->failure();
    }

    static std::unique_ptr<PostgresFixture>& server()
    {
        static std::unique_ptr<PostgresFixture> fixture;
        return fixture;
    }
    QString database() const { return m_database; }
    QString connection(const QString& user = QStringLiteral("postgres")) const
    {
        return server()->connection(m_database, user);
    }

    // This test's journal as station, or nullptr and a failure saying why.
    std::unique_ptr<PostgresJournal> open(const QString& station,
                                          const QString& user = QStringLiteral("postgres"))
    {
        auto opened = PostgresJournal::open(connection(user), station);
        EXPECT_TRUE(opened.ok()) << opened.error().toStdString();
        return opened.ok() ? std::move(opened).value() : nullptr;
    }

private:
    QString m_database;
};
