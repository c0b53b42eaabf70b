#include "seed/Base32.h"

#include <cstring>
#include <stdexcept>

namespace {

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ234567";
constexpr size_t kMaxLenientText = 255;
constexpr size_t kMaxLenientBytes = (kMaxLenientText * 5 + 7) / 8;

// The character's 5-bit value, or -1 for anything outside the alphabet
// (lower case included: seeds are written in capitals everywhere).
int Base32Value(char c)
{
    if (c >= 'A' && c <= 'Z') {
        return c - 'A';
    }
    if (c >= '2' && c <= '7') {
        return c - '2' + 26;
    }
    return -1;
}

} // namespace

int32_t Base32ToBytes(const char* text, uint8_t* out, size_t capacity)
{
    if (text == nullptr) {
        return 0;
    }
    // Looking one past the limit is enough to refuse longer text without
    // reading all of it.
    return Base32ToBytes(text, strnlen(text, kMaxLenientText + 1), out, capacity);
}

int32_t Base32ToBytes(const char* text, size_t length, uint8_t* out, size_t capacity)
{
    if (text == nullptr || length > kMaxLenientText) {
        return 0;
    }
    while (length > 0 && text[length - 1] == '=') {
        --length;
    }

    uint8_t bits[kMaxLenientBytes] = {};
    ScopedWipe wipeBits(bits, sizeof bits);
    uint32_t accumulator = 0;
    ScopedWipe wipeAccumulator(&accumulator, sizeof accumulator);
    size_t pending = 0;
    size_t written = 0;
    for (size_t i = 0; i < length; ++i) {
        const int value = Base32Value(text[i]);
        if (value < 0) {
            return 0;
        }
        accumulator = (accumulator << 5) | static_cast<uint32_t>(value);
        pending += 5;
        if (pending >= 8) {
            pending -= 8;
            bits[written++] = static_cast<uint8_t>(accumulator >> pending);
            accumulator &= (1u << pending) - 1;
        }
    }

    // Leftover bits that do not fill a byte are dropped when they are all
    // zero; a 1 among them keeps them as one more byte, bits at the top.
    size_t count = written;
    if (pending > 0 && accumulator != 0) {
        bits[count++] = static_cast<uint8_t>(accumulator << (8 - pending));
    }
    if (count == 0 || count > capacity || out == nullptr) {
        return 0;
    }
    std::memcpy(out, bits, count);
    return static_cast<int32_t>(count);
}

ByteString DecodeBase32Chunk(std::string_view chunk)
{
    if (chunk.size() != 8) {
        throw std::invalid_argument("incorrect length of base32 chunk");
    }
    uint64_t accumulator = 0;
    ScopedWipe wipeAccumulator(&accumulator, sizeof accumulator);
    int pads = 0;
    for (size_t j = 0; j < 8; ++j) {
        const char c = chunk[j];
        int value = 0;
        if (c == '=') {
            ++pads;
        } else if (pads > 0) {
            throw std::invalid_argument("padding character followed by non-padding character");
        } else {
            value = Base32Value(c);
            if (value < 0) {
                throw std::invalid_argument(std::string("not a base32 character: ") + c);
            }
        }
        accumulator |= static_cast<uint64_t>(value) << (35 - 5 * j);
    }

    size_t count = 0;
    switch (pads) {
    case 0:
        count = 5;
        break;
    case 1:
        count = 4;
        break;
    case 3:
        count = 3;
        break;
    case 4:
        count = 2;
        break;
    case 6:
        count = 1;
        break;
    default:
        throw std::invalid_argument("invalid number of padding characters");
    }
    ByteString bytes(count);
    for (size_t i = 0; i < count; ++i) {
        bytes[i] = static_cast<uint8_t>(accumulator >> (32 - 8 * i));
    }
    return bytes;
}

ByteString DecodeBase32(std::string_view text)
{
    if (text.size() % 8 != 0) {
        throw std::invalid_argument("base32 string length not divisible by 8");
    }
    ByteString bytes;
    for (size_t start = 0; start < text.size(); start += 8) {
        bytes.append(DecodeBase32Chunk(text.substr(start, 8)));
    }
    return bytes;
}

std::string EncodeBase32Groups(const uint8_t* bytes, size_t length)
{
    if (length % 5 != 0) {
        return {};
    }
    std::string text;
    text.reserve(length / 5 * 8);
    for (size_t start = 0; start < length; start += 5) {
        uint64_t group = 0;
        for (size_t i = 0; i < 5; ++i) {
            group = (group << 8) | bytes[start + i];
        }
        for (int shift = 35; shift >= 0; shift -= 5) {
            text.push_back(kAlphabet[(group >> shift) & 0x1F]);
        }
        WipeMemory(&group, sizeof group);
    }
    return text;
}
