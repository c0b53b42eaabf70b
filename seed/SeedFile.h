#pragma once

#include "SeedTable.h"

#include <QString>

// Lines of "serial number,Base32 seed", LF or CR LF, the last one with or
// without a line end. Lines without a "," are skipped; everything after the
// first "," is the seed.
enum class SeedFileStatus
{
    Loaded,
    CannotOpen, // the table is untouched
    BadSeed,    // a seed the decoder refuses; the lines before it stay loaded
    ReadError,  // the file failed while being read; the lines before it stay loaded
};

struct SeedFileResult
{
    SeedFileStatus status = SeedFileStatus::Loaded;
    int line = 0; // the line that stopped the load, counted from 1

    bool loaded() const { return status == SeedFileStatus::Loaded; }
};

// Empties table once the file is open, then fills it line by line.
SeedFileResult LoadSeedFile(const QString& path, SeedTable& table);
