#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// "84 D4 00 00 1A" -> bytes; blanks between the pairs are ignored.
inline std::vector<uint8_t> HexBytes(std::string_view text)
{
    std::vector<uint8_t> bytes;
    std::string digits;
    for (char c : text) {
        if (c != ' ')
            digits += c;
    }
    for (size_t i = 0; i + 1 < digits.size(); i += 2)
        bytes.push_back(static_cast<uint8_t>(std::stoi(digits.substr(i, 2), nullptr, 16)));
    return bytes;
}

inline std::string HexText(const std::vector<uint8_t>& bytes)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string text;
    for (size_t i = 0; i < bytes.size(); ++i) {
        if (i > 0)
            text += ' ';
        text += digits[bytes[i] >> 4];
        text += digits[bytes[i] & 15];
    }
    return text;
}
