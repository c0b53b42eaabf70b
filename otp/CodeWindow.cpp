#include "otp/CodeWindow.h"

std::vector<CodeRow> ComputeCodeWindow(const ByteString& key, uint64_t now, uint64_t step,
                                       uint32_t digits, OtpAlgorithm algorithm)
{
    std::vector<CodeRow> rows;
    rows.reserve(kCodeRowCount);
    for (int n = -kStepsEachSide; n <= kStepsEachSide; ++n) {
        // The time sums are 64-bit; the offsets stay small (at most ten steps).
        const int64_t offset = static_cast<int64_t>(n) * static_cast<int64_t>(step);
        const uint64_t time = now + static_cast<uint64_t>(offset);
        rows.push_back({static_cast<int32_t>(offset), Totp(key, time, step, digits, algorithm)});
    }
    return rows;
}

std::string FormatCode(uint32_t code, uint32_t digits)
{
    std::string text = std::to_string(code);
    if (text.size() < digits)
        text.insert(0, digits - text.size(), '0');
    return text;
}

const char* AlgorithmName(OtpAlgorithm algorithm)
{
    return algorithm == OtpAlgorithm::Sha256 ? "SHA256" : "SHA1";
}
