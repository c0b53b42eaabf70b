// The arguments of `station program`.
#include "cli/ProgramOptions.h"

#include <gtest/gtest.h>

TEST(ProgramOptions, ReadsEveryChoice)
{
    QString problem;
    const auto options = ParseProgramOptions(
        {"--reader", "A", "--reader", "B", "--seed-file", "s.csv", "--algorithm", "SHA256",
         "--step", "60", "--display", "120", "--no-clock", "--export", "/tmp/x", "--auto"},
        problem);
    ASSERT_TRUE(options) << problem.toStdString();
    EXPECT_EQ(options->readers, (QStringList{"A", "B"}));
    EXPECT_EQ(options->source, SeedSource::SeedFile);
    EXPECT_EQ(options->seedFile, "s.csv");
    EXPECT_STREQ(options->timing.algorithmName, "SHA256");
    EXPECT_EQ(options->timing.timeStep, 60);
    EXPECT_EQ(options->timing.displayTime, 120);
    EXPECT_FALSE(options->syncClock);
    EXPECT_EQ(options->exportFolder, "/tmp/x");
    EXPECT_TRUE(options->automatic);

    const auto plain = ParseProgramOptions({"--reader", "A"}, problem);
    ASSERT_TRUE(plain);
    EXPECT_EQ(plain->source, SeedSource::Random32);
    EXPECT_STREQ(plain->timing.algorithmName, "SHA1");
    EXPECT_EQ(plain->timing.timeStep, 30);
    EXPECT_TRUE(plain->syncClock);
    EXPECT_FALSE(plain->automatic);

    const auto withUsers = ParseProgramOptions({"--reader", "A", "--users", "u.txt"}, problem);
    ASSERT_TRUE(withUsers) << problem.toStdString();
    EXPECT_EQ(withUsers->usersFile, "u.txt");
}

TEST(ProgramOptions, RefusesMistakesWithTheReason)
{
    const struct
    {
        QStringList arguments;
        const char* problem;
    } cases[] = {
        {{}, "--reader is needed (station readers lists them)"},
        {{"--reader"}, "--reader needs a value"},
        {{"--reader", "A", "--random", "48"}, "--random takes 32 or 64"},
        {{"--reader", "A", "--random", "32", "--seed-file", "f"},
         "give --seed-file or --random, once"},
        {{"--reader", "A", "--algorithm", "MD5"}, "--algorithm takes SHA1 or SHA256"},
        {{"--reader", "A", "--step", "45"}, "--step takes 30 or 60"},
        {{"--reader", "A", "--display", "15"}, "--display takes 30, 60 or 120"},
        {{"--reader", "A", "--reader", "A"}, "a reader is named twice"},
        {{"--reader", "A", "--seed"}, "unknown option: --seed"},
        {{"--reader", "A", "--seed-file", "f", "--users", "u"},
         "--users goes with random seeds: a seed file names each token's user in its third "
         "column"},
        {{"--reader", "A", "--journal", ""}, "--journal needs a connection string or a file"},
    };
    for (const auto& c : cases) {
        QString problem;
        EXPECT_FALSE(ParseProgramOptions(c.arguments, problem)) << c.problem;
        EXPECT_EQ(problem.toStdString(), c.problem);
    }
}
