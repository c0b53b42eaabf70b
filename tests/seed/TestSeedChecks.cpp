// The checks the engine makes before any token command: the serial number a
// token reports, the seed text, and the seed decoded from its whole length.
#include "QtPrinters.h"
#include "seed/Base32.h"
#include "seed/SeedText.h"
#include "seed/SerialNumber.h"

#include <gtest/gtest.h>
#include <string>

namespace {

QByteArray Bytes(const char* text, size_t size)
{
    return QByteArray(text, static_cast<qsizetype>(size));
}

TEST(SerialNumber, PrintableAsciiWithoutSpacesOnly)
{
    EXPECT_TRUE(IsPrintableSerial(QByteArray("ZP000001")));
    EXPECT_TRUE(IsPrintableSerial(QByteArray("!~")));
    EXPECT_TRUE(IsPrintableSerial(QByteArray("-=+@,\"")));
    for (const QByteArray& bad :
         {QByteArray(), QByteArray("ZP 01"), QByteArray(" ZP01"), QByteArray("ZP01 "),
          QByteArray("ZP\t01"), QByteArray("ZP\x7F"),
          Bytes("ZP\0"
                "01",
                5),
          QByteArray("ZP\xC3\xA9"), QByteArray("\xFF\xFE"), QByteArray("ZP\r\n")}) {
        SCOPED_TRACE(bad.toHex().toStdString());
        EXPECT_FALSE(IsPrintableSerial(bad));
        EXPECT_FALSE(IsAcceptedSerial(bad));
        EXPECT_FALSE(SerialNumberProblem(bad).isEmpty());
    }
}

// Two different invalid serials no longer collide: both are refused.
TEST(SerialNumber, InvalidUtf8SerialsAreRefusedNotMerged)
{
    EXPECT_EQ(QString::fromUtf8("ZP\xFF"), QString::fromUtf8("ZP\xFE")) << "the old collision";
    EXPECT_FALSE(IsAcceptedSerial(QByteArray("ZP\xFF")));
    EXPECT_FALSE(IsAcceptedSerial(QByteArray("ZP\xFE")));
}

TEST(SerialNumber, FormulaStartsCommasAndQuotesAreRefusedNotAltered)
{
    for (const char* bad : {"=1+2", "+ZP01", "-ZP01", "@ZP01", "ZP,01", "ZP\"01"}) {
        SCOPED_TRACE(bad);
        EXPECT_FALSE(IsAcceptedSerial(QByteArray(bad)));
        EXPECT_FALSE(SerialNumberProblem(QByteArray(bad)).isEmpty());
    }
    for (const char* good : {"ZP01", "Z=P", "Z-01", "1-2", "A@B", "'ZP", "ZP!", "~1"}) {
        SCOPED_TRACE(good);
        EXPECT_TRUE(IsAcceptedSerial(QByteArray(good)));
        EXPECT_EQ(SerialNumberProblem(QByteArray(good)), "");
    }
}

TEST(SerialNumber, ProblemTextsForTheOperator)
{
    EXPECT_EQ(SerialNumberProblem(QByteArray()),
              "The token reports no serial number. Nothing was written to the token.");
    EXPECT_EQ(SerialNumberProblem(QByteArray("ZP\n1")),
              "The serial number is not printable ASCII text (its bytes: 5A 50 0A 31). Nothing "
              "was written to the token.");
    EXPECT_EQ(SerialNumberProblem(QByteArray("-ZP1")),
              "The serial number \"-ZP1\" starts with \"-\", which a spreadsheet takes for a "
              "formula; the export files would have to alter it. Nothing was written to the "
              "token.");
    EXPECT_EQ(SerialNumberProblem(QByteArray("Z,1"), false),
              "The serial number \"Z,1\" holds a \",\" or a '\"', which a seed file cannot carry "
              "and the export files would have to quote.");
}

TEST(SeedText, OnlyTheAlphabetAndTrailingPadPass)
{
    for (const char* good : {"", "=", "========", "JBSWY3DPEHPK3PXP", "MZXW6===", "AZ234567"}) {
        SCOPED_TRACE(good);
        EXPECT_TRUE(IsBase32SeedText(QString::fromLatin1(good)));
        EXPECT_TRUE(IsBase32SeedText(good, std::strlen(good)));
    }
    const QString nul = QStringLiteral("JBSWY3DPEHPK3PXP") + QChar(0) + QStringLiteral("GEZDGNBV");
    for (const QString& bad :
         {nul, QStringLiteral("jbswy3dp"), QStringLiteral("JBSW Y3DP"), QStringLiteral("MZ=XW6=="),
          QStringLiteral("=MZXW6=="), QStringLiteral("JBSWY3D1"), QStringLiteral("JBSWY3D8"),
          QStringLiteral("JBSW-Y3D"), QStringLiteral("JBSW\u00c4Y3D"), QStringLiteral("\uff2a")}) {
        SCOPED_TRACE(bad.toStdString());
        EXPECT_FALSE(IsBase32SeedText(bad));
        const QByteArray utf8 = bad.toUtf8();
        EXPECT_FALSE(IsBase32SeedText(utf8.constData(), static_cast<size_t>(utf8.size())));
    }
}

// Issue 11, fault 6: the text's real length decides, so the NUL is refused
// instead of hiding the rest of the seed.
TEST(Base32ToBytesWithLength, ANulInsideIsRefusedNotTheEnd)
{
    const std::string text = std::string("JBSWY3DPEHPK3PXP") + '\0' + "GEZDGNBV";
    uint8_t out[96] = {};
    EXPECT_EQ(Base32ToBytes(text.c_str(), out, sizeof out), 10) << "the old contract, kept";
    EXPECT_EQ(Base32ToBytes(text.data(), text.size(), out, sizeof out), 0);
    EXPECT_EQ(Base32ToBytes(text.data(), 16, out, sizeof out), 10);
    EXPECT_EQ(Base32ToBytes("MZXW6===", 8, out, sizeof out), 3);
    EXPECT_EQ(Base32ToBytes("MZXW6===xx", 8, out, sizeof out), 3) << "only length characters";
    EXPECT_EQ(Base32ToBytes(nullptr, 0, out, sizeof out), 0);
    const std::string longest(255, 'A'), tooLong(256, 'B');
    EXPECT_EQ(Base32ToBytes(longest.data(), longest.size(), out, sizeof out), 0) << "all zero bits";
    uint8_t big[200] = {};
    EXPECT_EQ(Base32ToBytes(tooLong.data(), tooLong.size(), big, sizeof big), 0);
    EXPECT_EQ(Base32ToBytes(tooLong.data(), 255, big, sizeof big), 160);
}

} // namespace
