#include "HexBytes.h"
#include "token/CustomerKey.h"
#include "token/TokenResult.h"

#include <gtest/gtest.h>

TEST(HexToBytes, ConvertsPairsAndIgnoresALastOddDigit)
{
    struct Case
    {
        const char* text;
        const char* bytes;
    };
    const Case cases[] = {
        {"5A1C9E07B3D24F68A0E7C1D93B2F4A86", "5A 1C 9E 07 B3 D2 4F 68 A0 E7 C1 D9 3B 2F 4A 86"},
        {"5a1c9e07b3d24f68a0e7c1d93b2f4a86", "5A 1C 9E 07 B3 D2 4F 68 A0 E7 C1 D9 3B 2F 4A 86"},
        {"5A1C9E07B3D24F68A0E7C1D93B2F4A86F", "5A 1C 9E 07 B3 D2 4F 68 A0 E7 C1 D9 3B 2F 4A 86"},
        {"0f", "0F"},
        {"", ""},
    };
    for (const auto& c : cases) {
        uint8_t out[16] = {};
        const size_t written = HexToBytes(c.text, out, sizeof out);
        EXPECT_EQ(HexText({out, out + written}), c.bytes) << c.text;
    }
}

TEST(HexToBytes, NeverWritesBeyondItsDestination)
{
    uint8_t out[20];
    std::fill(std::begin(out), std::end(out), 0xEE);
    const std::string longText(100, 'A');
    EXPECT_EQ(HexToBytes(longText.c_str(), out, 16), 16u);
    EXPECT_EQ(HexText({out + 16, out + 20}), "EE EE EE EE");
    EXPECT_EQ(out[15], 0xAA);
}

TEST(CustomerKeyText, OnlyThirtyTwoHexDigitsAreAKey)
{
    struct Case
    {
        const char* text;
        int32_t result;
    };
    const Case cases[] = {
        {"5A1C9E07B3D24F68A0E7C1D93B2F4A86", TOKEN_OK},
        {"5a1c9e07b3d24f68a0e7c1d93b2f4a86", TOKEN_OK},
        {nullptr, TOKEN_ERR_NO_KEY},
        {"", TOKEN_ERR_NO_KEY},
        {"5A1C9E07B3D24F68A0E7C1D93B2F4A8", TOKEN_ERR_BAD_KEY},   // 31 digits
        {"5A1C9E07B3D24F68A0E7C1D93B2F4A86F", TOKEN_ERR_BAD_KEY}, // 33 digits
        {"5A1C9E07B3D24F68A0E7C1D93B2F4AG6", TOKEN_ERR_BAD_KEY},  // not a digit
        {"5A1C9E07B3D24F68 0E7C1D93B2F4A86", TOKEN_ERR_BAD_KEY},  // a blank
    };
    for (const auto& c : cases) {
        CustomerKey key;
        EXPECT_EQ(ReadCustomerKey(c.text, key), c.result) << (c.text ? c.text : "(null)");
    }
}
