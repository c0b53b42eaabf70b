#pragma once

#include "journal/SqliteJournal.h"
#include "tests/seed/QtPrinters.h"

#include <QDir>
#include <QTemporaryDir>
#include <cstdlib>
#include <ctime>
#include <gtest/gtest.h>
#include <memory>

// The journal's tests see local time as UTC+2 (a POSIX zone: no zone files
// needed), so that a time shown in UTC where local time is due shows.
inline void UseLocalTimeUtcPlusTwo()
{
    setenv("TZ", "STN-2", 1);
    tzset();
}

// The journal at path, or nullptr and a test failure saying why.
inline std::unique_ptr<SqliteJournal> OpenJournal(const QString& path)
{
    JournalResult<std::unique_ptr<SqliteJournal>> opened = SqliteJournal::open(path);
    EXPECT_TRUE(opened.ok()) << opened.error().toStdString();
    return opened.ok() ? std::move(opened).value() : nullptr;
}

inline JournalAttempt Attempt(const QString& serial, const QDateTime& time = {},
                              const QString& reader = QStringLiteral("Virtual PCD 00 00"))
{
    JournalAttempt attempt;
    attempt.time = time;
    attempt.reader = reader;
    attempt.serialNumber = serial;
    attempt.settings = QStringLiteral("SHA1, step 30 s, display 60 s, clock synced");
    return attempt;
}

inline QDateTime Utc(int year, int month, int day, int hour, int minute, int second = 0)
{
    return QDateTime(QDate(year, month, day), QTime(hour, minute, second), Qt::UTC);
}

// A temporary Data folder with the journal's path in it.
class JournalTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        UseLocalTimeUtcPlusTwo();
        ASSERT_TRUE(m_folder.isValid());
    }
    QString dataFolder() const { return m_folder.filePath(QStringLiteral("Data")); }
    QString path() const { return QDir(dataFolder()).filePath(QStringLiteral("journal.sqlite")); }

private:
    QTemporaryDir m_folder;
};
