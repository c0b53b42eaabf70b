#include "TokenTime.h"

#include "TokenCommands.h"

#include <climits>

namespace {

constexpr size_t FIELD_COUNT = 6;
constexpr size_t FIELD_MAX_LENGTH = 255;

// Days since 1970-01-01 of a date of the proleptic Gregorian calendar,
// counted in 400-year eras of 146097 days that start on 1 March.
int64_t DaysFromCivil(int64_t year, int month, int day)
{
    year -= month <= 2;
    const int64_t era = (year >= 0 ? year : year - 399) / 400;
    const int64_t yearOfEra = year - era * 400;
    const int64_t dayOfYear = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

struct CivilDate
{
    int64_t year;
    int month;
    int day;
};

CivilDate CivilFromDays(int64_t days)
{
    days += 719468;
    const int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const int64_t dayOfEra = days - era * 146097;
    const int64_t yearOfEra =
        (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const int64_t shiftedMonth = (5 * dayOfYear + 2) / 153;
    const int day = static_cast<int>(dayOfYear - (153 * shiftedMonth + 2) / 5 + 1);
    const int month = static_cast<int>(shiftedMonth < 10 ? shiftedMonth + 3 : shiftedMonth - 9);
    return {yearOfEra + era * 400 + (month <= 2), month, day};
}

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// One field: leading blanks, one sign, digits up to the first other
// character; no digits read as 0. False when the value overflows an int.
bool ReadField(const char* text, size_t length, int* value)
{
    size_t i = 0;
    while (i < length && IsBlank(text[i]))
        ++i;
    bool negative = false;
    if (i < length && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';
    long long magnitude = 0;
    for (; i < length && text[i] >= '0' && text[i] <= '9'; ++i) {
        magnitude = magnitude * 10 + (text[i] - '0');
        if (magnitude > static_cast<long long>(INT_MAX) + (negative ? 1 : 0))
            return false;
    }
    *value = static_cast<int>(negative ? -magnitude : magnitude);
    return true;
}

bool IsLeapYear(int year)
{
    return year % 400 == 0 || (year % 4 == 0 && year % 100 != 0);
}

int DaysInMonth(int year, int month)
{
    switch (month) {
    case 2:
        return IsLeapYear(year) ? 29 : 28;
    case 4:
    case 6:
    case 9:
    case 11:
        return 30;
    default:
        return 31;
    }
}

} // namespace

int64_t SecondsFromUtc(int year, int month, int day, int hour, int minute, int second)
{
    return DaysFromCivil(year, month, day) * 86400 + hour * 3600 + minute * 60 + second;
}

void FormatTokenClockText(uint32_t clock, char (&text)[TOKEN_CLOCK_TEXT_LENGTH + 1])
{
    // Every clock value falls in the years 1970 to 2106, so the text is
    // always 19 characters.
    const CivilDate date = CivilFromDays(clock / 86400);
    const uint32_t second = clock % 86400;
    auto put = [&text](size_t at, uint32_t value, size_t width) {
        for (size_t i = width; i-- > 0; value /= 10)
            text[at + i] = static_cast<char>('0' + value % 10);
    };
    put(0, static_cast<uint32_t>(date.year), 4);
    text[4] = '-';
    put(5, static_cast<uint32_t>(date.month), 2);
    text[7] = '-';
    put(8, static_cast<uint32_t>(date.day), 2);
    text[10] = ' ';
    put(11, second / 3600, 2);
    text[13] = ':';
    put(14, second / 60 % 60, 2);
    text[16] = ':';
    put(17, second % 60, 2);
    text[19] = '\0';
}

int ParseTokenTimeText(const char* text, size_t length, uint32_t* seconds)
{
    if (text == nullptr || seconds == nullptr)
        return -1;
    int fields[FIELD_COUNT] = {};
    size_t count = 0;
    size_t start = 0;
    for (;;) {
        size_t end = start;
        while (end < length && text[end] != '/' && text[end] != '\0')
            ++end;
        if (count == FIELD_COUNT || end - start > FIELD_MAX_LENGTH ||
            !ReadField(text + start, end - start, &fields[count]))
            return -1;
        ++count;
        if (end >= length || text[end] != '/')
            break;
        start = end + 1;
    }
    if (count != FIELD_COUNT)
        return -1;

    const auto [year, month, day, hour, minute, second] = fields;
    if (year < 1970 || year > 2099 || month < 1 || month > 12 || day < 1 ||
        day > DaysInMonth(year, month) || hour < 0 || hour > 23 || minute < 0 || minute > 59 ||
        second < 0 || second > 59)
        return -1;
    *seconds = static_cast<uint32_t>(SecondsFromUtc(year, month, day, hour, minute, second));
    return 0;
}

uint32_t ReadBigEndian(const uint8_t* bytes, size_t count)
{
    uint32_t value = 0;
    for (size_t i = 0; i < count; ++i)
        value = value << 8 | bytes[i];
    return value;
}
