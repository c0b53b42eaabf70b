#include "HexBytes.h"
#include "Sm4Oracle.h"
#include "token/Sm4.h"

#include <gtest/gtest.h>

namespace {

// The worked example of GB/T 32907-2016: key and plaintext are the same block.
const std::vector<uint8_t> kExampleBlock = HexBytes("0123456789ABCDEFFEDCBA9876543210");

std::vector<uint8_t> Transform(const std::vector<uint8_t>& key, std::vector<uint8_t> block,
                               int mode)
{
    unsigned capacity = static_cast<unsigned>(block.size());
    EXPECT_EQ(Sm4Ecb(key.data(), block.data(), static_cast<unsigned>(block.size()), block.data(),
                     &capacity, mode),
              SM4_OK);
    return block;
}

} // namespace

TEST(Sm4Ecb, ReproducesTheStandardsFirstExample)
{
    const auto cipher = Transform(kExampleBlock, kExampleBlock, SM4_ENCRYPT);
    EXPECT_EQ(HexText(cipher), "68 1E DF 34 D2 06 96 5E 86 B3 E9 4F 53 6E 42 46");
    EXPECT_EQ(Transform(kExampleBlock, cipher, SM4_DECRYPT), kExampleBlock);
}

TEST(Sm4Ecb, ReproducesTheStandardsMillionFoldExample)
{
    std::vector<uint8_t> block = kExampleBlock;
    for (int i = 0; i < 1000000; ++i) {
        unsigned capacity = 16;
        ASSERT_EQ(
            Sm4Ecb(kExampleBlock.data(), block.data(), 16, block.data(), &capacity, SM4_ENCRYPT),
            SM4_OK);
    }
    EXPECT_EQ(HexText(block), "59 52 98 C7 C6 FD 27 1F 04 02 F8 04 C3 3D 3F 66");
}

TEST(Sm4Ecb, TransformsEachBlockOnItsOwn)
{
    std::vector<uint8_t> twoBlocks = kExampleBlock;
    twoBlocks.insert(twoBlocks.end(), kExampleBlock.begin(), kExampleBlock.end());
    const auto cipher = Transform(kExampleBlock, twoBlocks, SM4_ENCRYPT);
    EXPECT_EQ(std::vector<uint8_t>(cipher.begin(), cipher.begin() + 16),
              std::vector<uint8_t>(cipher.begin() + 16, cipher.end()));
}

TEST(Sm4Ecb, RefusesBadArgumentsWithoutWriting)
{
    struct Case
    {
        const char* name;
        unsigned length;
        unsigned capacity;
        int mode;
        int result;
        unsigned capacityAfter;
    };
    const Case cases[] = {
        {"length 0", 0, 64, SM4_ENCRYPT, SM4_ERR_ARGUMENT, 64},
        {"length 20", 20, 64, SM4_ENCRYPT, SM4_ERR_ARGUMENT, 64},
        {"mode 2", 16, 64, 2, SM4_ERR_MODE, 64},
        {"bad length before bad mode", 20, 64, 2, SM4_ERR_ARGUMENT, 64},
        {"capacity too small", 32, 16, SM4_ENCRYPT, SM4_ERR_CAPACITY, 32},
        {"bad mode before capacity", 32, 16, -1, SM4_ERR_MODE, 16},
    };
    const std::vector<uint8_t> input(64, 0x11);
    for (const auto& c : cases) {
        std::vector<uint8_t> output(64, 0xEE);
        unsigned capacity = c.capacity;
        EXPECT_EQ(
            Sm4Ecb(kExampleBlock.data(), input.data(), c.length, output.data(), &capacity, c.mode),
            c.result)
            << c.name;
        EXPECT_EQ(capacity, c.capacityAfter) << c.name;
        EXPECT_EQ(output, std::vector<uint8_t>(64, 0xEE)) << c.name;
    }
    std::vector<uint8_t> output(16);
    unsigned capacity = 16;
    EXPECT_EQ(Sm4Ecb(kExampleBlock.data(), nullptr, 16, output.data(), &capacity, SM4_ENCRYPT),
              SM4_ERR_ARGUMENT);
    EXPECT_EQ(Sm4Ecb(kExampleBlock.data(), input.data(), 16, nullptr, &capacity, SM4_ENCRYPT),
              SM4_ERR_ARGUMENT);
    EXPECT_EQ(Sm4Ecb(kExampleBlock.data(), input.data(), 16, output.data(), nullptr, SM4_ENCRYPT),
              SM4_ERR_ARGUMENT);
}

TEST(Sm4Mac, PadsEveryLengthWithAtLeastOneByte)
{
    // 0, 5 (one block), 15, 16 (a whole block of padding follows), 27, 32, 100.
    std::vector<uint8_t> data;
    for (int i = 0; i < 100; ++i)
        data.push_back(static_cast<uint8_t>(i * 7 + 3));
    for (unsigned length : {0u, 5u, 15u, 16u, 17u, 27u, 32u, 100u}) {
        uint8_t mac[4] = {};
        unsigned capacity = 4;
        ASSERT_EQ(Sm4Mac(kExampleBlock.data(), data.data(), length, mac, &capacity), SM4_OK);
        EXPECT_EQ(capacity, 4u);
        EXPECT_EQ(std::vector<uint8_t>(mac, mac + 4),
                  OracleMac(kExampleBlock.data(), {data.begin(), data.begin() + length}))
            << "length " << length;
    }
}

TEST(Sm4Mac, ShortCapacityIsRefusedWithTheSizeNeeded)
{
    uint8_t mac[4] = {0xEE, 0xEE, 0xEE, 0xEE};
    unsigned capacity = 3;
    EXPECT_EQ(Sm4Mac(kExampleBlock.data(), kExampleBlock.data(), 16, mac, &capacity),
              SM4_MAC_ERR_CAPACITY);
    EXPECT_EQ(capacity, 4u);
    EXPECT_EQ(HexText({mac, mac + 4}), "EE EE EE EE");
}
