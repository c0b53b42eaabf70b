#include "seed/Base32.h"
#include "seed/RandomSeed.h"
#include "seed/SeedText.h"

#include <QRegularExpression>
#include <gtest/gtest.h>
#include <stdexcept>

namespace {

TEST(NormalizeSeedText, UpperCasesDropsDashesAndPadsToWholeGroups)
{
    const struct
    {
        const char* typed;
        const char* normalised;
    } cases[] = {
        {"abcd-efgh-ijkl-mnop", "ABCDEFGHIJKLMNOP"},
        {"JBSWY3DPEHPK3PXP", "JBSWY3DPEHPK3PXP"},
        {"GEZDGNBVGY3TQOJQGEZDGNBVGY3TQOJQ", "GEZDGNBVGY3TQOJQGEZDGNBVGY3TQOJQ"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZ", "ABCDEFGHIJKLMNOPQRSTUVWXYZ======"},
        {"mzxw6", "MZXW6==="},
        {"--", ""},
        {"", ""},
        // Spaces and other characters stay for the decoder to refuse.
        {"ab cd", "AB CD==="},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.typed);
        EXPECT_EQ(NormalizeSeedText(QString::fromLatin1(c.typed)),
                  QString::fromLatin1(c.normalised));
    }
}

TEST(GenerateRandomSeedText, GivesWholeGroupsThatBothDecodersAccept)
{
    const QRegularExpression alphabet(QStringLiteral("^[A-Z2-7]+$"));
    const struct
    {
        int mode;
        int characters;
        int bytes;
    } cases[] = {{1, 32, 20}, {2, 64, 40}, {7, 64, 40}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.mode);
        const QString seed = GenerateRandomSeedText(c.mode);
        EXPECT_EQ(seed.size(), c.characters);
        EXPECT_TRUE(alphabet.match(seed).hasMatch()) << seed.toStdString();
        const QByteArray text = seed.toLatin1();
        uint8_t bytes[64] = {};
        EXPECT_EQ(Base32ToBytes(text.constData(), bytes, sizeof bytes), c.bytes);
        EXPECT_EQ(DecodeBase32(text.toStdString()).size(), static_cast<size_t>(c.bytes));
    }
    EXPECT_NE(GenerateRandomSeedText(1), GenerateRandomSeedText(1));
}

TEST(GenerateRandomSeedText, FailingGeneratorGivesNothing)
{
    EXPECT_TRUE(GenerateRandomSeedText(1, [](unsigned char*, int) { return 0; }).isEmpty());
    EXPECT_TRUE(GenerateRandomSeedText(2, [](unsigned char*, int) { return -1; }).isEmpty());
}

} // namespace
