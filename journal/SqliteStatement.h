#pragma once

#include <QString>
#include <sqlite3.h>

// One prepared statement of the journal's connection, finalised when it goes
// out of scope. A failed prepare or bind is kept and returned by step(), so a
// call reads top to bottom and checks once.
class SqliteStatement
{
public:
    SqliteStatement(sqlite3* db, const char* sql);
    ~SqliteStatement();
    SqliteStatement(const SqliteStatement&) = delete;
    SqliteStatement& operator=(const SqliteStatement&) = delete;

    SqliteStatement& bind(int index, qint64 value);
    SqliteStatement& bind(int index, const QString& text);
    SqliteStatement& bindNull(int index);
    // The bytes as a BLOB; NULL when empty.
    SqliteStatement& bindBlob(int index, const QByteArray& bytes);

    // SQLITE_ROW, SQLITE_DONE, or the error of the step (or of the prepare
    // or a bind before it).
    int step();

    qint64 integer(int column) const;
    QString text(int column) const;
    QByteArray blob(int column) const;
    bool isNull(int column) const;

private:
    sqlite3_stmt* m_statement = nullptr;
    int m_error = SQLITE_OK;
};

// BEGIN IMMEDIATE: the write lock is taken at the start (waiting out other
// stations through the busy timeout), so the transaction never fails half
// way for a lock. Rolled back when it goes out of scope uncommitted.
class SqliteWriteTransaction
{
public:
    explicit SqliteWriteTransaction(sqlite3* db);
    ~SqliteWriteTransaction();
    SqliteWriteTransaction(const SqliteWriteTransaction&) = delete;
    SqliteWriteTransaction& operator=(const SqliteWriteTransaction&) = delete;

    int began() const { return m_began; } // SQLITE_OK or the error of BEGIN
    int commit();

private:
    sqlite3* m_db;
    int m_began;
    bool m_committed = false;
};
