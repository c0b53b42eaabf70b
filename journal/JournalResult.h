#pragma once

#include <QString>
#include <optional>
#include <utility>

// Why a journal call did not reach the disk, in words for the operator or a log.
struct JournalError
{
    QString message;
};

// The outcome of one journal call: its value, or why it did not reach the disk.
// The journal is the only record of a seed that failed to reach the export
// files, so no call reports success that it did not commit.
template <typename T> class [[nodiscard]] JournalResult
{
public:
    JournalResult(T value) : m_value(std::move(value)) {}
    JournalResult(JournalError error) : m_error(std::move(error.message)) {}

    bool ok() const { return m_value.has_value(); }
    const T& value() const& { return *m_value; }
    T& value() & { return *m_value; }
    T&& value() && { return std::move(*m_value); }
    // Empty when ok().
    const QString& error() const { return m_error; }

private:
    std::optional<T> m_value;
    QString m_error;
};

template <> class [[nodiscard]] JournalResult<void>
{
public:
    JournalResult() = default;
    JournalResult(JournalError error) : m_ok(false), m_error(std::move(error.message)) {}

    bool ok() const { return m_ok; }
    const QString& error() const { return m_error; }

private:
    bool m_ok = true;
    QString m_error;
};
