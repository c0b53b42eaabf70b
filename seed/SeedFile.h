#pragma once

#include "SeedTable.h"

#include <QString>
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

// Lines of "serial number,Base32 seed", LF or CR LF, the last one with or
// without a line end, and optionally a third column, the token's user:
// "serial number,Base32 seed,UPN" (seed/UserName.h says which names are
// taken; an empty third column names no user). Lines without a "," are
// skipped; a line of two columns reads as it always did. The serial number is read as strictly as a
// token's (seed/SerialNumber.h, IsAcceptedSerial): printable ASCII without spaces, not starting
// like a spreadsheet formula, no '"'. A file that yields no entry is a failure.
enum class SeedFileStatus
{
    Loaded,
    CannotOpen,     // the table is untouched
    NotRegularFile, // a folder, a FIFO, a device...: not read; the table is untouched
    TooLarge,       // over kSeedFileMaxBytes (table untouched) or kSeedFileMaxLines lines
    BadSeed,        // a seed the decoder refuses; the lines before it stay loaded
    BadSerial,      // a serial number a token may not have; the lines before it stay loaded
    BadUser,        // a third column that cannot be a user; the lines before it stay loaded
    ReadError,      // the file failed while being read; the lines before it stay loaded
    NoEntries,      // read to its end, but not one "serial,seed" line in it
    Cancelled,      // the caller's cancel flag was raised; the lines before it stay loaded
};

// The cap on a seed file: far above any real batch (a batch is hundreds of
// tokens), low enough that a wrong file costs seconds and tens of megabytes.
constexpr int64_t kSeedFileMaxLines = 1'000'000;
constexpr int64_t kSeedFileMaxBytes = 64 * 1024 * 1024;

struct SeedFileResult
{
    SeedFileStatus status = SeedFileStatus::Loaded;
    int64_t line = 0; // the line that stopped the load, counted from 1
    int error = 0;    // errno for CannotOpen and ReadError

    bool loaded() const { return status == SeedFileStatus::Loaded; }
    // A sentence for the operator, to show under "Failed to load seed file!";
    // empty when loaded().
    QString message() const;
};

struct SeedFileOptions
{
    // Called on the loading thread after each piece read (about every
    // 64 KiB and once at the end): bytes read so far and the file's size.
    std::function<void(int64_t bytesRead, int64_t totalBytes)> progress;
    // Looked at before each piece; when it reads true the load stops with
    // Cancelled. Either may be left empty.
    const std::atomic<bool>* cancel = nullptr;
    std::function<bool()> cancelled;
};

// Empties table once the file is open and found to be a regular file of an
// acceptable size, then fills it line by line. Never blocks on a FIFO or a
// device named like a seed file. Safe to run on a worker thread: the table
// takes its own lock for each change.
SeedFileResult LoadSeedFile(const QString& path, SeedTable& table,
                            const SeedFileOptions& options = {});

// The line reader of LoadSeedFile apart from any file: feed() it the file's
// bytes in pieces of any size, then finish(). Fills the table as lines end;
// does not empty it first.
class SeedFileReader
{
public:
    explicit SeedFileReader(SeedTable& table);
    ~SeedFileReader();
    SeedFileReader(const SeedFileReader&) = delete;
    SeedFileReader& operator=(const SeedFileReader&) = delete;

    // False once the load has stopped (finish() then says why).
    bool feed(const char* bytes, size_t size);
    SeedFileResult finish();

private:
    bool endLine();

    SeedTable& m_table;
    std::string m_line;
    int64_t m_lineNumber = 0;
    int64_t m_entries = 0;
    bool m_stopped = false;
    SeedFileResult m_result;
};
