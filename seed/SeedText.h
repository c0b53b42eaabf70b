#pragma once

#include <QString>
#include <cstddef>

// The seed as the decoders expect it, from what the seed edit shows: upper
// case, without the "-" that people type between groups, padded with "=" to a
// whole number of 8-character groups. Anything else is left for the decoder
// to refuse.
QString NormalizeSeedText(const QString& editText);

// True when a normalised seed text holds only the letters "A"-"Z", the digits
// "2"-"7" and "=" at its end (none, or any number, after the last other
// character). The engine refuses any other text before any token command; a
// NUL, a space, a lower-case letter or an "=" inside the text is refused here.
// An empty text, or one of "=" only, holds no other character and passes: the
// decoder then finds no seed bytes in it.
bool IsBase32SeedText(const QString& normalisedText);
bool IsBase32SeedText(const char* text, size_t length);
