#include "token/TokenCommands.h"
#include "token/TokenTime.h"

#include <cstring>
#include <gtest/gtest.h>
#include <string>

namespace {

int Parse(const std::string& text, uint32_t* seconds)
{
    return ParseTokenTimeText(text.data(), text.size(), seconds);
}

std::string ClockText(uint32_t clock)
{
    char text[TOKEN_CLOCK_TEXT_LENGTH + 1];
    FormatTokenClockText(clock, text);
    return text;
}

} // namespace

TEST(TokenTimeText, AcceptsValidCalendarTimes)
{
    struct Case
    {
        const char* text;
        uint32_t seconds;
    };
    const Case cases[] = {
        {"2019/12/16/23/21/22", 0x5DF81172},    {"1970/01/01/00/00/00", 0},
        {"2000/02/29/00/00/00", 951782400},     {"2020/02/29/12/00/00", 1582977600},
        {"2099/12/31/23/59/59", 0xF48656FF},    {"2019/4/30/0/0/0", 1556582400},
        {" 2019/ +12/16/23/21/22", 0x5DF81172}, // blanks and a sign before a field
        {"2019/12/16/23/21/22xyz", 0x5DF81172}, // reading stops at a non-digit
    };
    for (const auto& c : cases) {
        uint32_t seconds = 1;
        EXPECT_EQ(Parse(c.text, &seconds), 0) << c.text;
        EXPECT_EQ(seconds, c.seconds) << c.text;
    }
}

TEST(TokenTimeText, RefusesWhatIsNotSixValidFields)
{
    const std::string tooLongField = "2019/12/16/23/21/" + std::string(255, ' ') + "22";
    const char* cases[] = {
        "2019/02/29/00/00/00",
        "2100/02/28/00/00/00",
        "2100/01/01/00/00/00",
        "1969/12/31/23/59/59",
        "2019/04/31/00/00/00",
        "2019/12/16/24/00/00",
        "2019/12/16/23/60/00",
        "2019/12/16/23/21/60",
        "2019/13/01/00/00/00",
        "2019/00/01/00/00/00",
        "2019/12/00/00/00/00",
        "2019/12/16/23/21",
        "2019/12/16/23/21/22/",
        "2019/12/16/23/21/22/00",
        "",
        "/////",
        "-2019/12/16/23/21/22",
        "2019/12/16/-1/21/22",
        // A field that overflows must not wrap into a valid value.
        "4294969315/12/16/23/21/22",
        "99999999999999999999/1/1/0/0/0",
    };
    for (const char* text : cases) {
        uint32_t seconds = 7;
        EXPECT_EQ(Parse(text, &seconds), -1) << text;
        EXPECT_EQ(seconds, 7u) << text;
    }
    uint32_t seconds = 7;
    EXPECT_EQ(Parse(tooLongField, &seconds), -1);
    EXPECT_EQ(Parse(tooLongField.substr(0, 17) + std::string(253, ' ') + "22", &seconds), 0);
}

TEST(TokenTimeText, ReadsOnlyTheGivenLength)
{
    const char text[] = "2019/12/16/23/21/22/junk";
    uint32_t seconds = 0;
    EXPECT_EQ(ParseTokenTimeText(text, 19, &seconds), 0);
    EXPECT_EQ(seconds, 0x5DF81172u);
    EXPECT_EQ(ParseTokenTimeText(text, 16, &seconds), -1); // five fields
    EXPECT_EQ(ParseTokenTimeText(nullptr, 0, &seconds), -1);
}

TEST(TokenClockText, FormatsTheWholeUnsignedRange)
{
    EXPECT_EQ(ClockText(0), "1970-01-01 00:00:00");
    EXPECT_EQ(ClockText(0x5DF81172), "2019-12-16 23:21:22");
    EXPECT_EQ(ClockText(0x80000000), "2038-01-19 03:14:08");
    EXPECT_EQ(ClockText(0xFFFFFFFF), "2106-02-07 06:28:15");
}

TEST(TokenClockText, IsTheInverseOfTheTimeText)
{
    for (uint32_t clock = 0; clock < 0xF4865700u; clock += 86400u * 37 + 3607) {
        const std::string text = ClockText(clock);
        std::string asTimeText = text;
        for (char& c : asTimeText) {
            if (c == '-' || c == ' ' || c == ':')
                c = '/';
        }
        uint32_t seconds = 0;
        ASSERT_EQ(Parse(asTimeText, &seconds), 0) << text;
        ASSERT_EQ(seconds, clock) << text;
    }
}

TEST(ReadBigEndian, ReadsMostSignificantByteFirst)
{
    const uint8_t bytes[] = {0xF4, 0x86, 0x56, 0xFF};
    EXPECT_EQ(ReadBigEndian(bytes, 4), 0xF48656FFu);
    EXPECT_EQ(ReadBigEndian(bytes, 2), 0xF486u);
}
