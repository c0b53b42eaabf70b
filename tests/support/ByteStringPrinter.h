#pragma once

#include "seed/ByteString.h"

#include <cstdio>
#include <ostream>

// Lets GoogleTest show a ByteString as hexadecimal bytes in its failures.
inline void PrintTo(const ByteString& bytes, std::ostream* out)
{
    *out << bytes.size() << " bytes:";
    for (uint8_t byte : bytes) {
        char hex[4];
        std::snprintf(hex, sizeof hex, " %02x", byte);
        *out << hex;
    }
}
