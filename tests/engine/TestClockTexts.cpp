#include "engine/ClockTexts.h"

#include <gtest/gtest.h>

TEST(ClockTexts, TokenTimeTextFromClockText)
{
    struct Row
    {
        const char* clock;
        const char* expected; // nullptr: refused
    };
    const Row rows[] = {
        {"2019-12-16 23:21:22", "2019/12/16/23/21/22"},
        {"1970-01-01 00:00:00", "1970/01/01/00/00/00"},
        {"2106-02-07 06:28:15", "2106/02/07/06/28/15"},
        // Read as the numbers they are; the token judges the range.
        {"2019-1-2 3:4:5", "2019/01/02/03/04/05"},
        {"", nullptr},
        {"2019-12-16", nullptr},
        {"2019-12-16 23:21", nullptr},
        {"2019/12/16 23:21:22", nullptr},
        {"not a clock", nullptr},
        {"2019-12-16 23:21:22 and then a great deal of text that no clock would ever hold",
         nullptr},
    };
    for (const Row& row : rows) {
        const std::optional<std::string> text = ToTokenTimeText(row.clock);
        if (row.expected) {
            ASSERT_TRUE(text) << row.clock;
            EXPECT_EQ(*text, row.expected) << row.clock;
        } else {
            EXPECT_FALSE(text) << row.clock;
        }
    }
}

TEST(ClockTexts, ClockIsUtcAndLogTimeIsLocalWithTrailingBlank)
{
    qputenv("TZ", "Asia/Kolkata"); // +05:30, no daylight saving
    const QDateTime moment(QDate(2019, 12, 16), QTime(23, 21, 22), Qt::UTC);

    EXPECT_EQ(ClockText(moment), "2019-12-16 23:21:22");
    EXPECT_EQ(ClockText(moment.toLocalTime()), "2019-12-16 23:21:22");
    EXPECT_EQ(LogTimeText(moment), "2019-12-17 04:51:22 ");
}
