// How the window's reader list follows the platform's.
#include "engine/ReaderList.h"

#include <gtest/gtest.h>

TEST(ReaderList, SplitsTheReaderListText)
{
    EXPECT_EQ(SplitReaderList("R1[E]R2[E]"), (QStringList{"R1", "R2"}));
    EXPECT_EQ(SplitReaderList("R1[E]"), QStringList{"R1"});
    EXPECT_EQ(SplitReaderList(""), QStringList{});
    EXPECT_EQ(SplitReaderList("R1[E]tail"), QStringList{"R1"});
}

TEST(ReaderList, EntriesGoAndComeByTheRules)
{
    struct Row
    {
        QStringList entries;
        QString listed;
        QList<int> removeAt;
        QStringList append;
    };
    const Row rows[] = {
        // New readers go to the end, in the platform's order.
        {{}, "A 00[E]B 00[E]", {}, {"A 00", "B 00"}},
        {{"A 00"}, "B 00[E]A 00[E]C 00[E]", {}, {"B 00", "C 00"}},
        // Gone readers leave, the last first.
        {{"A 00", "B 00", "C 00"}, "B 00[E]", {2, 0}, {}},
        // An entry that is part of a listed name stays (a plain substring
        // test), and the listed name still joins: names compare exactly.
        {{"Virtual PCD", "Other"}, "Virtual PCD 00 00[E]", {1}, {"Virtual PCD 00 00"}},
        // An empty list empties the list.
        {{"A 00", "B 00"}, "", {1, 0}, {}},
        // Names compare case by case.
        {{"a 00"}, "a 00[E]A 00[E]", {}, {"A 00"}},
    };
    for (const Row& row : rows) {
        const ReaderListChanges changes = FollowReaderList(row.entries, row.listed);
        EXPECT_EQ(changes.removeAt, row.removeAt) << row.listed.toStdString();
        EXPECT_EQ(changes.append, row.append) << row.listed.toStdString();
    }
}
