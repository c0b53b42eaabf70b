#pragma once

#include <QString>

// The seed as the decoders expect it, from what the seed edit shows: upper
// case, without the "-" that people type between groups, padded with "=" to a
// whole number of 8-character groups. Anything else is left for the decoder
// to refuse.
QString NormalizeSeedText(const QString& editText);
