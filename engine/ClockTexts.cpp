#include "ClockTexts.h"

#include <cstdio>

namespace {

QString SixFields(const char* format, const QDate& date, const QTime& time)
{
    char text[64] = {};
    std::snprintf(text, sizeof text, format, date.year(), date.month(), date.day(), time.hour(),
                  time.minute(), time.second());
    return QString::fromLatin1(text);
}

} // namespace

QString ClockText(const QDateTime& utc)
{
    const QDateTime inUtc = utc.toUTC();
    return SixFields("%04d-%02d-%02d %02d:%02d:%02d", inUtc.date(), inUtc.time());
}

std::optional<std::string> ToTokenTimeText(std::string_view clockText)
{
    // sscanf needs a terminated text; clock texts are 19 characters.
    if (clockText.size() > 63)
        return std::nullopt;
    char source[64] = {};
    clockText.copy(source, clockText.size());

    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    if (std::sscanf(source, "%04d-%02d-%02d %02d:%02d:%02d", &year, &month, &day, &hour, &minute,
                    &second) != 6)
        return std::nullopt;

    char text[96] = {};
    std::snprintf(text, sizeof text, "%d/%02d/%02d/%02d/%02d/%02d", year, month, day, hour, minute,
                  second);
    return std::string(text);
}

QString LogTimeText(const QDateTime& local)
{
    const QDateTime inLocal = local.toLocalTime();
    return SixFields("%04d-%02d-%02d %02d:%02d:%02d ", inLocal.date(), inLocal.time());
}
