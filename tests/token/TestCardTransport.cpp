#include "token/CardChannel.h"
#include "token/TokenResult.h"
#include "token/TokenSession.h"

#include <gtest/gtest.h>

TEST(CardChannel, NothingIsSentWithoutAConnection)
{
    CardChannel channel;
    channel.release();
    channel.release();
    uint8_t response[16];
    unsigned long length = sizeof response;
    const uint8_t command[] = {0x80, 0x41, 0x00, 0x00, 0x02, 0x02, 0x11};
    EXPECT_NE(channel.transmit(command, sizeof command, response, &length), 0);
    EXPECT_NE(channel.beginTransaction(), 0);
    EXPECT_EQ(channel.connect(nullptr), TOKEN_ERR_CONNECT);
    EXPECT_FALSE(channel.connected());

    TokenSession session;
    uint8_t serial[32];
    unsigned serialLength = sizeof serial;
    uint8_t clock[64];
    unsigned clockLength = sizeof clock;
    EXPECT_EQ(session.readInfo(serial, &serialLength, clock, &clockLength), TOKEN_ERR_CONNECT);
    EXPECT_EQ(session.authenticate("00000000000000000000000000000000"), TOKEN_ERR_CONNECT);
}
