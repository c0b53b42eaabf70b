#include "seed/ByteString.h"
#include "tests/support/ByteStringPrinter.h"
#include "tests/support/FreedMemoryWatch.h"

#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <utility>

namespace {

// A secret long enough that finding it in released memory is no accident.
const ByteString kSecret = ByteString::FromText("seed:7Qf3#kP9!vX2@mL8$wR4&zT6*hN1");

struct Step
{
    std::string name;
    std::function<void()> run;
};

// Every way a ByteString gives storage back: nothing of the secret may reach
// the heap's free list.
TEST(ByteString, WipesEveryBlockItReleases)
{
    const Step steps[] = {{"destruction", [] { ByteString copy = kSecret; }},
                          {"copy-assignment over it",
                           [] {
                               ByteString target = kSecret;
                               target = ByteString(kSecret.size() * 4, 1);
                           }},
                          {"move-assignment over it",
                           [] {
                               ByteString target = kSecret;
                               target = ByteString{1, 2, 3};
                           }},
                          {"moved away and destroyed",
                           [] {
                               ByteString source = kSecret;
                               ByteString target(std::move(source));
                           }},
                          {"growth by push_back",
                           [] {
                               ByteString grown = kSecret;
                               for (int i = 0; i < 1000; ++i) {
                                   grown.push_back(0);
                               }
                           }},
                          {"growth by append",
                           [] {
                               ByteString grown = kSecret;
                               grown.append(ByteString(4096));
                           }},
                          {"growth by appending itself",
                           [] {
                               ByteString grown = kSecret;
                               grown.append(grown);
                           }},
                          {"growth by resize",
                           [] {
                               ByteString grown = kSecret;
                               grown.resize(4096);
                           }},
                          {"shrink by resize", [] {
                               ByteString shrunk = kSecret;
                               shrunk.resize(1);
                           }}};
    for (const Step& step : steps) {
        SCOPED_TRACE(step.name);
        FreedMemoryWatch::Reset();
        FreedMemoryWatch::Watch(kSecret.data(), 16);
        FreedMemoryWatch::Watch(kSecret.data() + 16, kSecret.size() - 16);
        step.run();
        EXPECT_FALSE(FreedMemoryWatch::StopAndReport());
    }
}

TEST(ByteString, KeepsItsContentThroughGrowthAndSelfAppend)
{
    ByteString bytes{1, 2, 3};
    bytes.append(bytes);
    bytes.append(bytes.data() + 1, 2);
    bytes.push_back(9);
    EXPECT_EQ(bytes, (ByteString{1, 2, 3, 1, 2, 3, 2, 3, 9}));

    bytes.resize(2);
    bytes.resize(4);
    EXPECT_EQ(bytes, (ByteString{1, 2, 0, 0}));
}

TEST(ByteString, WipeBytesClearsInPlaceAndKeepsTheLength)
{
    ByteString bytes = kSecret;
    WipeBytes(bytes);
    EXPECT_EQ(bytes, ByteString(kSecret.size(), 0));
}

} // namespace
