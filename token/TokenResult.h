#pragma once

#include <cstdint>

// Result codes of the token commands. The console shows them as "%08X".
// An exchange that fails in TokenReadInfo or TokenWriteSeed passes the
// platform's own PC/SC code through instead.
constexpr int32_t TOKEN_OK = 0;
constexpr int32_t TOKEN_ERR_STATUS = 1;
constexpr int32_t TOKEN_ERR_CONNECT = 2;
constexpr int32_t TOKEN_ERR_NO_KEY = 0x1001;
constexpr int32_t TOKEN_ERR_AUTH = 0x1002;
constexpr int32_t TOKEN_ERR_SEED_TOO_LONG = 0x1004;
constexpr int32_t TOKEN_ERR_BAD_CONFIG = 0x1006;
constexpr int32_t TOKEN_ERR_KEY_LOCKED = 0x1007;
constexpr int32_t TOKEN_ERR_TRANSMIT = 0x1008;
constexpr int32_t TOKEN_ERR_BAD_KEY = 0x1009;     // customer key text is not 32 hexadecimal digits
constexpr int32_t TOKEN_AUTH_TRIES_LEFT = 0x10C0; // 0x10C0..0x10CF, low four bits = tries left
constexpr int32_t TOKEN_ERR_BAD_TIME = 0x2001;
constexpr int32_t TOKEN_ERR_BUFFER = 0x2002;

constexpr bool IsAuthTriesLeft(int32_t result)
{
    return (result & ~0xF) == TOKEN_AUTH_TRIES_LEFT;
}
