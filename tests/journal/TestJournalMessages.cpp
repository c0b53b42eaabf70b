// The operator's messages about the journal, word for word (local time is
// UTC+2 in these tests).
#include "JournalTestSupport.h"
#include "journal/JournalCommand.h"
#include "journal/JournalMessages.h"

namespace {

TEST(JournalMessages, JournalMessagesSayTheTokenAndItsLocalTime)
{
    UseLocalTimeUtcPlusTwo();
    JournalAttempt left = Attempt("TK0001", Utc(2026, 12, 10, 12, 5, 42));
    JournalAttempt other = Attempt("TK0002", Utc(2026, 12, 10, 23, 0), QStringLiteral("Reader 2"));
    EXPECT_EQ(UnfinishedAttemptsMessage({left, other}),
              QStringLiteral("2026-12-10 14:05, reader Virtual PCD 00 00: Token TK0001 may hold a "
                             "seed that is recorded nowhere: program it again.\n"
                             "2026-12-11 01:00, reader Reader 2: Token TK0002 may hold a seed "
                             "that is recorded nowhere: program it again."));
    EXPECT_EQ(ProgramAgainQuestion(QStringLiteral("TK0001"), Utc(2026, 12, 10, 12, 5)),
              QStringLiteral("Token TK0001 was programmed on 2026-12-10 14:05. Programming it "
                             "again makes that seed invalid. Program it again?"));
}

TEST(JournalMessages, JournalSinceDatesAreLocalUnlessTheySayOtherwise)
{
    UseLocalTimeUtcPlusTwo();
    const struct
    {
        const char* text;
        std::optional<QDateTime> expected;
    } cases[] = {
        {"2026-12-10", Utc(2026, 12, 9, 22, 0)},
        {"2026-12-10T14:05", Utc(2026, 12, 10, 12, 5)},
        {"2026-12-10T14:05:30", Utc(2026, 12, 10, 12, 5, 30)},
        {"2026-12-10T14:05:30Z", Utc(2026, 12, 10, 14, 5, 30)},
        {"2026-12-10T14:05:30+01:00", Utc(2026, 12, 10, 13, 5, 30)},
        {"2026-12-10T14:05:30.250Z", Utc(2026, 12, 10, 14, 5, 30).addMSecs(250)},
        {"2026-12-32", std::nullopt},
        {"2026-12-10T24:30", std::nullopt},
        {"10.12.2026", std::nullopt},
        {"2026-12-10 14:05", Utc(2026, 12, 10, 12, 5)},
        {"2026-12-10  14:05", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ParseJournalSince(QString::fromLatin1(c.text)), c.expected) << c.text;
}

} // namespace
