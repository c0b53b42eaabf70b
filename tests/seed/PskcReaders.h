#pragma once

// The two independent readers that check the station's PSKC documents:
// libpskc's schema validation (pskctool) and python-pskc (Debian's
// /usr/bin/python3, which has it; a python3 earlier on PATH may not). Either
// missing is a failure, never a skip.
#include "seed/PskcDocument.h"

#include <QJsonObject>
#include <QString>
#include <gtest/gtest.h>
#include <vector>

// "pskctool --validate" says OK (it exits 0 on FAIL too, so its words count).
::testing::AssertionResult PskctoolValidates(const QString& path);

// What python-pskc reads from the file, decrypting with keyHex when given
// (tests/seed/pskc_read.py says what the object holds); a failure when it
// cannot read or decrypt the file.
::testing::AssertionResult ReadWithPythonPskc(const QString& path, const QString& keyHex,
                                              QJsonObject& read);

// The document validates, and python-pskc reads back exactly these records,
// in this order, as the station writes them; with keyHex, every seed is
// encrypted (own IV, MAC over IV and cipher text) under the key keyName.
void ExpectDocumentHolds(const QString& path, const std::vector<PskcRecord>& records,
                         const QString& keyHex = {}, const QString& keyName = {});
// The same for what ReadWithPythonPskc() read.
void ExpectReadHolds(const QJsonObject& read, const std::vector<PskcRecord>& records,
                     const QString& keyHex, const QString& keyName);
