#pragma once

#include "seed/ByteString.h"

#include <QString>

// The seed bytes written to a token, decoded from the normalised seed text.
// A text that gives no bytes, or more than the station's 96-byte seed buffer,
// is refused with the operator's message: a token must never be programmed
// with an empty or cut-off seed.
struct SeedForToken
{
    ByteString bytes; // wiped when it goes out of scope
    QString problem;  // empty when bytes holds the seed
};

constexpr size_t kSeedBufferSize = 96;
// The most seed bytes a token holds.
constexpr size_t kTokenSeedMax = 63;

SeedForToken DecodeSeedForToken(const QString& normalisedSeedText);
