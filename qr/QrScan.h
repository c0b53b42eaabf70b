#pragma once

#include "qr/WorkControl.h"

#include <cstdint>
#include <string>

enum class QrScanStatus
{
    SecretFound,    // secret holds the "secret" of the first otpauth code
    NoOtpauthCode,  // no code, or none that carries a usable secret
    DecodeFailed,   // a code was found but could not be decoded
    OutOfMemory,    // the decoder could not get its memory
    RasterUnusable, // no raster, or a zero, negative or oversized width or height
};

struct QrScanResult
{
    QrScanStatus status = QrScanStatus::NoOtpauthCode;
    std::string secret;
    bool cancelled = false; // the caller's flag stopped the scan (status NoOtpauthCode)
};

// Looks for QR codes in a grey raster (width x height bytes, rows top to
// bottom) and takes the secret of the first otpauth code in the decoder's
// order. Codes with another payload, a capitalised scheme, no "//" or no
// usable "secret" pair are passed over. A code drawn light on dark is found
// as well. A code that is found but cannot be decoded is reported only when
// no code yields a secret, so a damaged code never hides a good one. Faint
// codes (about 15 % contrast and more) are found too.
QrScanResult ScanRasterForOtpauthSecret(const uint8_t* grey, int width, int height);

// The same for a worker thread: the scan checks control's cancel flag between
// its passes over the picture and reports its progress after each.
QrScanResult ScanRasterForOtpauthSecret(const uint8_t* grey, int width, int height,
                                        const WorkControl& control);
