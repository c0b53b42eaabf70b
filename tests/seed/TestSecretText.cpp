// A seed text is wiped only where it is the last copy: the station wipes its
// copy of a Burn press's seed while the seed edit may still show that seed.
#include "seed/SecretText.h"

#include <QString>
#include <gtest/gtest.h>

namespace {

QString Seed()
{
    return QString::fromLatin1("GEZDGNBVGY3TQOJQGEZDGNBVGY3TQOJQ");
}

TEST(SecretText, WipingACopyLeavesTheTextItSharesWith)
{
    const QString shown = Seed();
    QString taken = shown;
    WipeText(taken);
    EXPECT_TRUE(taken.isEmpty());
    EXPECT_EQ(shown, Seed());

    QString guarded = shown;
    {
        const WipeTextOnExit wipe(guarded);
    }
    EXPECT_TRUE(guarded.isEmpty());
    EXPECT_EQ(shown, Seed());
}

} // namespace
