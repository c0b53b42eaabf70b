#pragma once

#include "seed/Base32.h"

#include <QString>
#include <stdexcept>

// The strict decoder's message for a seed it refuses, empty for one it takes:
// what the preview must show the operator.
inline QString DecoderMessage(const QString& seed)
{
    try {
        DecodeBase32(seed.toStdString());
    } catch (const std::invalid_argument& refused) {
        return QString::fromUtf8(refused.what());
    }
    return {};
}
