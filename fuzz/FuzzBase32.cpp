// Both decoders on any bytes: the lenient one (also over the text's whole
// length) must stay inside the caller's buffer, the strict one must only ever
// throw std::invalid_argument, and on whole groups without padding the two
// must agree byte for byte.
#include "seed/Base32.h"

#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0) {
        return 0;
    }
    const size_t capacity = data[0];
    const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);

    // Exactly capacity bytes, so a write past them is caught by ASan.
    std::vector<uint8_t> out(capacity);
    const int32_t count = Base32ToBytes(text.c_str(), out.data(), out.size());
    if (count < 0 || static_cast<size_t>(count) > capacity || count > 160) {
        __builtin_trap();
    }

    // The same decoder over the text's whole length: the same bytes for a
    // text without a NUL, nothing for one with a NUL anywhere in it.
    std::vector<uint8_t> byLength(capacity);
    const int32_t lengthCount =
        Base32ToBytes(text.data(), text.size(), byLength.data(), byLength.size());
    if (text.find('\0') != std::string::npos) {
        if (lengthCount != 0) {
            __builtin_trap();
        }
    } else if (lengthCount != count ||
               (count > 0 && std::memcmp(byLength.data(), out.data(), size_t(count)) != 0)) {
        __builtin_trap();
    }

    try {
        const ByteString strict = DecodeBase32(text);
        if (strict.size() > text.size() * 5 / 8) {
            __builtin_trap();
        }
        const bool wholeGroups = !text.empty() && text.find('=') == std::string::npos &&
                                 text.size() <= 255 && std::strlen(text.c_str()) == text.size();
        if (wholeGroups) {
            std::vector<uint8_t> lenient(160);
            const int32_t lenientCount =
                Base32ToBytes(text.c_str(), lenient.data(), lenient.size());
            if (static_cast<size_t>(lenientCount) != strict.size() ||
                std::memcmp(lenient.data(), strict.data(), strict.size()) != 0) {
                __builtin_trap();
            }
        }
    } catch (const std::invalid_argument&) {
    }
    return 0;
}
