#include "SqliteStatement.h"

SqliteStatement::SqliteStatement(sqlite3* db, const char* sql)
{
    m_error = sqlite3_prepare_v2(db, sql, -1, &m_statement, nullptr);
}

SqliteStatement::~SqliteStatement()
{
    sqlite3_finalize(m_statement);
}

SqliteStatement& SqliteStatement::bind(int index, qint64 value)
{
    if (m_error == SQLITE_OK)
        m_error = sqlite3_bind_int64(m_statement, index, value);
    return *this;
}

SqliteStatement& SqliteStatement::bind(int index, const QString& text)
{
    if (m_error == SQLITE_OK) {
        const QByteArray utf8 = text.toUtf8();
        m_error = sqlite3_bind_text(m_statement, index, utf8.constData(), int(utf8.size()),
                                    SQLITE_TRANSIENT);
    }
    return *this;
}

SqliteStatement& SqliteStatement::bindNull(int index)
{
    if (m_error == SQLITE_OK)
        m_error = sqlite3_bind_null(m_statement, index);
    return *this;
}

SqliteStatement& SqliteStatement::bindBlob(int index, const QByteArray& bytes)
{
    if (bytes.isEmpty())
        return bindNull(index);
    if (m_error == SQLITE_OK)
        m_error = sqlite3_bind_blob(m_statement, index, bytes.constData(), int(bytes.size()),
                                    SQLITE_TRANSIENT);
    return *this;
}

int SqliteStatement::step()
{
    if (m_error != SQLITE_OK)
        return m_error;
    const int result = sqlite3_step(m_statement);
    if (result != SQLITE_ROW && result != SQLITE_DONE)
        m_error = result;
    return result;
}

qint64 SqliteStatement::integer(int column) const
{
    return sqlite3_column_int64(m_statement, column);
}

QString SqliteStatement::text(int column) const
{
    const auto* bytes = reinterpret_cast<const char*>(sqlite3_column_text(m_statement, column));
    return QString::fromUtf8(bytes, sqlite3_column_bytes(m_statement, column));
}

QByteArray SqliteStatement::blob(int column) const
{
    const auto* bytes = static_cast<const char*>(sqlite3_column_blob(m_statement, column));
    return QByteArray(bytes, sqlite3_column_bytes(m_statement, column));
}

bool SqliteStatement::isNull(int column) const
{
    return sqlite3_column_type(m_statement, column) == SQLITE_NULL;
}

SqliteWriteTransaction::SqliteWriteTransaction(sqlite3* db)
    : m_db(db), m_began(sqlite3_exec(db, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr))
{}

SqliteWriteTransaction::~SqliteWriteTransaction()
{
    // A failed COMMIT may have rolled back already.
    if (m_began == SQLITE_OK && !m_committed && !sqlite3_get_autocommit(m_db))
        sqlite3_exec(m_db, "ROLLBACK", nullptr, nullptr, nullptr);
}

int SqliteWriteTransaction::commit()
{
    if (m_began != SQLITE_OK)
        return m_began;
    const int result = sqlite3_exec(m_db, "COMMIT", nullptr, nullptr, nullptr);
    m_committed = result == SQLITE_OK;
    return result;
}
