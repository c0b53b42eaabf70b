#include "token/CardTransport.h"
#include "token/TokenResult.h"

#include <gtest/gtest.h>

TEST(CardTransport, ReleaseAndTransmitWithoutAConnection)
{
    EXPECT_EQ(CardRelease(), 0);
    EXPECT_EQ(CardRelease(), 0);
    uint8_t response[16];
    unsigned long length = sizeof response;
    const uint8_t command[] = {0x80, 0x41, 0x00, 0x00, 0x02, 0x02, 0x11};
    EXPECT_NE(CardTransmit(command, sizeof command, response, &length), 0);
    EXPECT_EQ(CardConnect(nullptr), TOKEN_ERR_CONNECT);
}
