#include "engine/ProgrammingMessages.h"
#include "engine/SeedForToken.h"
#include "token/TokenResult.h"

#include <gtest/gtest.h>

TEST(ProgrammingMessages, AuthenticationRefusals)
{
    const std::pair<int32_t, const char*> rows[] = {
        {TOKEN_AUTH_TRIES_LEFT | 3, "Authentication failed, remaining 3 times"},
        {TOKEN_AUTH_TRIES_LEFT, "Authentication failed, remaining 0 times"},
        {TOKEN_AUTH_TRIES_LEFT | 0xF, "Authentication failed, remaining 15 times"},
        {TOKEN_ERR_KEY_LOCKED, "Customer key is locked"},
        {TOKEN_ERR_AUTH, "Authentication failed, remaining unlimited times"},
        {TOKEN_ERR_CONNECT, "Device not connected"},
        {TOKEN_ERR_TRANSMIT, "Authentication process failed!"},
        {TOKEN_ERR_NO_KEY, "Authentication process failed!"},
    };
    for (const auto& [result, message] : rows)
        EXPECT_EQ(AuthenticationMessage(result), message) << result;
}

TEST(ProgrammingMessages, ResultCodesAsEightHexDigits)
{
    EXPECT_EQ(ProgramFailedMessage(TOKEN_ERR_SEED_TOO_LONG),
              "Failed to program the token! Error: 00001004");
    EXPECT_EQ(ConfigFailedMessage(TOKEN_ERR_BAD_CONFIG), "config failed![00001006]");
    // A PC/SC code passed through by the token link.
    EXPECT_EQ(ProgramFailedMessage(static_cast<int32_t>(0x80100069)),
              "Failed to program the token! Error: 80100069");
    EXPECT_EQ(SealMessage(TOKEN_OK), "CardSeal success!");
    EXPECT_EQ(SealMessage(TOKEN_ERR_STATUS), "CardSeal failed![00000001]");
}

TEST(SeedForToken, DecodesOrNamesTheProblem)
{
    struct Row
    {
        QString text;
        size_t bytes;    // when accepted
        QString problem; // a word the message must hold, empty when accepted
    };
    const Row rows[] = {
        {"ABCDEFGHIJKLMNOP", 10, {}},
        {QString(32, 'B'), 20, {}},
        {QString(64, 'B'), 40, {}},
        // Past what a token holds but inside the buffer: the token refuses it.
        {QString(104, 'B'), 65, {}},
        {QString(152, 'B') + "========", 95, {}},
        {"abcdefgh", 0, "not valid Base32"},
        {"ABCD EFG", 0, "not valid Base32"},
        {"AB=CDEFG", 0, "not valid Base32"},
        // A NUL would end the decoder's text early: the token would get the
        // first ten bytes while the records hold the whole text.
        {QString("JBSWY3DPEHPK3PXP") + QChar(0) + "GEZDGNBV", 0, "not valid Base32"},
        {QString("JBSWY3DP") + QChar(0xC9) + "HPK3PXP", 0, "not valid Base32"},
        {"A=======", 0, "too short"},
        {QString(160, 'B'), 0, "too long"},
        {QString(300, 'B'), 0, "too long"},
    };
    for (const Row& row : rows) {
        const SeedForToken seed = DecodeSeedForToken(row.text);
        if (row.problem.isEmpty()) {
            EXPECT_TRUE(seed.problem.isEmpty()) << row.text.toStdString();
            EXPECT_EQ(seed.bytes.size(), row.bytes) << row.text.toStdString();
        } else {
            EXPECT_TRUE(seed.bytes.empty()) << row.text.toStdString();
            EXPECT_TRUE(seed.problem.contains(row.problem)) << seed.problem.toStdString();
            EXPECT_TRUE(seed.problem.contains("Nothing was written")) << seed.problem.toStdString();
        }
    }
}
