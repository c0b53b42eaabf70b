#pragma once

#include "seed/ExportFiles.h"
#include "seed/PskcFile.h"

#include <memory>
#include <mutex>
#include <optional>

// The PSKC file beside each set of CSV export files: Seed-<time>.pskc.xml,
// named like the set the records go to, written record by record. Shared by
// the stations like the export files; the pre-shared key, when one is set,
// lives here for the window's life only and is never written anywhere.
class PskcExport
{
public:
    // Seeds in clear from now on (nullopt), or encrypted under key. A file
    // already begun keeps its form: a new one starts with the next set.
    void setKey(std::optional<PskcKey> key);
    bool encrypted() const;

    struct Appended
    {
        QString path;  // the file the record went to, or should have
        QString error; // empty when the record is in it
    };
    // Adds the record to the PSKC file of the set the CSV files have open.
    Appended append(const ExportFiles& files, const PskcRecord& record);

private:
    mutable std::mutex m_lock;
    std::optional<PskcKey> m_key;
    std::unique_ptr<PskcFile> m_file;
    QString m_forHexPath; // the CSV set m_file belongs to
};
