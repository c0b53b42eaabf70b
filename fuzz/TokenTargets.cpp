// Fuzz bodies of the token link's parsers of outside input: the READ INFO
// answer a card sends, and the token time text.
#include "FuzzCheck.h"
#include "FuzzTargets.h"
#include "token/TokenApdus.h"
#include "token/TokenCommands.h"
#include "token/TokenTime.h"

#include <cstring>
#include <ctime>
#include <vector>

void FuzzReadInfoAnswer(const uint8_t* data, size_t size)
{
    // Exactly the answer's bytes on the heap, so a read past them is caught.
    std::vector<uint8_t> answer(data, data + size);
    const uint8_t* bytes = answer.empty() ? nullptr : answer.data();
    ReadInfoAnswer info;
    const bool parsed = ParseReadInfoAnswer(bytes, answer.size(), info);
    const bool statusOk = size >= 2 && data[size - 2] == 0x90 && data[size - 1] == 0x00;
    FUZZ_CHECK(parsed == (statusOk && size >= 12));
    if (!parsed)
        return;

    // The serial number starts after the four leading bytes and ends at its
    // first zero byte or eight bytes before the end, inside the answer.
    const size_t room = size - 12;
    FUZZ_CHECK(info.serial == bytes + 4);
    FUZZ_CHECK(info.serialLength <= room);
    FUZZ_CHECK(std::memchr(info.serial, 0, info.serialLength) == nullptr);
    FUZZ_CHECK(info.serialLength == room || info.serial[info.serialLength] == 0);
    const uint32_t clock = uint32_t(data[size - 6]) << 24 | uint32_t(data[size - 5]) << 16 |
                           uint32_t(data[size - 4]) << 8 | uint32_t(data[size - 3]);
    FUZZ_CHECK(info.clock == clock);
}

void FuzzTokenTimeText(const uint8_t* data, size_t size)
{
    // Not zero-terminated: the parser must keep to the length it is given.
    std::vector<char> text(data, data + size);
    uint32_t seconds = 0xDEADBEEF;
    const int result = ParseTokenTimeText(text.empty() ? "" : text.data(), text.size(), &seconds);
    FUZZ_CHECK(result == 0 || result == -1);
    if (result != 0)
        return;

    // A clock the parser accepted is in the years 1970 to 2099, and reads
    // back the same through the station's clock text and glibc's calendar.
    char clockText[TOKEN_CLOCK_TEXT_LENGTH + 1];
    FormatTokenClockText(seconds, clockText);
    std::tm calendar{};
    FUZZ_CHECK(std::strlen(clockText) == TOKEN_CLOCK_TEXT_LENGTH);
    auto number = [&clockText](size_t at, size_t width) {
        int value = 0;
        for (size_t i = 0; i < width; ++i) {
            FUZZ_CHECK(clockText[at + i] >= '0' && clockText[at + i] <= '9');
            value = value * 10 + (clockText[at + i] - '0');
        }
        return value;
    };
    calendar.tm_year = number(0, 4) - 1900;
    calendar.tm_mon = number(5, 2) - 1;
    calendar.tm_mday = number(8, 2);
    calendar.tm_hour = number(11, 2);
    calendar.tm_min = number(14, 2);
    calendar.tm_sec = number(17, 2);
    FUZZ_CHECK(calendar.tm_year >= 70 && calendar.tm_year <= 199);
    FUZZ_CHECK(static_cast<int64_t>(timegm(&calendar)) == static_cast<int64_t>(seconds));

    char again[64];
    const int length = std::snprintf(again, sizeof again, "%d/%d/%d/%d/%d/%d",
                                     calendar.tm_year + 1900, calendar.tm_mon + 1, calendar.tm_mday,
                                     calendar.tm_hour, calendar.tm_min, calendar.tm_sec);
    uint32_t reread = 0;
    FUZZ_CHECK(ParseTokenTimeText(again, static_cast<size_t>(length), &reread) == 0);
    FUZZ_CHECK(reread == seconds);
}
