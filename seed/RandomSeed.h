#pragma once

#include <QString>

// Fills count bytes with random data; returns 1 on success (OpenSSL's form).
using RandomByteSource = int (*)(unsigned char* bytes, int count);

// A fresh random seed as Base32 text: 32 characters (20 bytes) for mode 1,
// 64 characters (40 bytes) for any other mode. Empty when the generator fails.
QString GenerateRandomSeedText(int mode);
QString GenerateRandomSeedText(int mode, RandomByteSource source);
