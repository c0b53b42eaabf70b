#pragma once

#include <cstddef>
#include <cstdint>

// The bodies of the fuzz targets, as plain functions: libFuzzer runs them
// through FuzzMain.cpp (clang builds only), and the regression tests of the
// normal suite run them over every file in fuzz/regressions/<target>/.
// Each runs one input and aborts, naming the property, when one breaks.

// token/TokenApdus.h: ParseReadInfoAnswer on any answer bytes.
void FuzzReadInfoAnswer(const uint8_t* data, size_t size);
// token/TokenCommands.h: ParseTokenTimeText on any text, not zero-terminated.
void FuzzTokenTimeText(const uint8_t* data, size_t size);
// seed/SeedFile.h: the seed file loader on any file contents, fed in chunks.
void FuzzSeedFile(const uint8_t* data, size_t size);
// seed/ExportFiles.h: the three record lines of any fields, read back by a CSV
// reader with the rules of Python's csv module.
void FuzzExportRecord(const uint8_t* data, size_t size);
