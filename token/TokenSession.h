#pragma once

#include "CardChannel.h"
#include "TokenResult.h"

#include <cstddef>
#include <cstdint>

// The token commands over one card connection held in one transaction: the
// commands of one token operation (read, authenticate, configure, write)
// reach the same card, powered throughout, and no command of another
// connection slips between them. Results are the codes of TokenResult.h.
//
// customerKeyText is 32 hexadecimal characters: a missing or empty text gives
// TOKEN_ERR_NO_KEY, any other text TOKEN_ERR_BAD_KEY, both before anything is
// sent. A session belongs to one thread.
class TokenSession
{
public:
    TokenSession() = default;
    ~TokenSession() { close(); }
    TokenSession(const TokenSession&) = delete;
    TokenSession& operator=(const TokenSession&) = delete;

    // Connects to the card in the named reader (UTF-8) and begins the
    // transaction. context: the caller's, or 0 for one of the session's own.
    // TOKEN_OK or TOKEN_ERR_CONNECT.
    int32_t open(const char* reader, SCARDCONTEXT context = 0);
    // Ends the transaction and the connection; the card stays powered.
    void close() { m_channel.release(); }
    bool isOpen() const { return m_channel.connected(); }

    // Serial number and clock. The texts are copied without a terminating
    // zero; the lengths are capacities in, lengths used out. The clock text is
    // "%04d-%02d-%02d %02d:%02d:%02d" in UTC (19 characters).
    int32_t readInfo(uint8_t* serial, unsigned* serialLength, uint8_t* clock,
                     unsigned* clockLength);

    int32_t authenticate(const char* customerKeyText);

    // seedLength 0..63; longer is TOKEN_ERR_SEED_TOO_LONG, negative (or a
    // missing seed) TOKEN_ERR_BUFFER.
    int32_t writeSeed(const char* customerKeyText, const uint8_t* seed, int seedLength);

    // algorithmName "SHA1" or "SHA256"; timeStep 30 or 60; displayTime 15, 30,
    // 60 or 120; timeText "Y/M/D/h/m/s" read as UTC; option -1, 0 or 3..15.
    int32_t configure(const char* customerKeyText, const char* algorithmName, int timeStep,
                      int displayTime, const char* timeText, int option);

    int32_t seal(const char* customerKeyText);

private:
    CardChannel m_channel;
};
