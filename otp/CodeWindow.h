#pragma once

#include "otp/Totp.h"

#include <cstdint>
#include <string>
#include <vector>

// The codes a token shows around one moment: the ten steps before it, the step
// itself and the ten after it. The preview lists them so the operator can find
// the token's display among them even when its clock is a few steps off.
struct CodeRow
{
    int32_t offset; // seconds from the moment the window was computed
    uint32_t code;
};

constexpr int kStepsEachSide = 10;
constexpr int kCodeRowCount = 2 * kStepsEachSide + 1;
constexpr int kPresentRow = kStepsEachSide;

// now and step in seconds; step is 30 or 60 in the station.
std::vector<CodeRow> ComputeCodeWindow(const ByteString& key, uint64_t now, uint64_t step,
                                       uint32_t digits, OtpAlgorithm algorithm);

// The code as the token shows it: exactly digits characters, leading zeros kept.
std::string FormatCode(uint32_t code, uint32_t digits);

// "SHA1" or "SHA256", the names the window's Algorithm choice uses.
const char* AlgorithmName(OtpAlgorithm algorithm);
