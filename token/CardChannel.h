#pragma once

#include <PCSC/winscard.h>
#include <cstdint>

// One connection to the card in one reader: the link every token command
// runs over. It belongs to the thread that uses it; nothing of it is shared
// between commands of different connections.
//
// The card is always left powered and untouched when the connection ends, so
// the token keeps its security state for as long as some connection holds it.
class CardChannel
{
public:
    CardChannel() = default;
    ~CardChannel();
    CardChannel(const CardChannel&) = delete;
    CardChannel& operator=(const CardChannel&) = delete;

    // Connects to the card in the named reader (UTF-8), shared, T=0 or T=1.
    // context is the caller's, kept by the caller; 0 makes the channel
    // establish a context of its own. TOKEN_OK or TOKEN_ERR_CONNECT; a failed
    // connect leaves nothing open. An earlier connection is released first.
    int32_t connect(const char* reader, SCARDCONTEXT context = 0);

    // Holds the card for this connection alone until endTransaction or
    // release: no other connection, of this process or another, exchanges
    // with it meanwhile. The platform's code, 0 on success.
    long beginTransaction();
    void endTransaction();

    // Exchanges one APDU; the platform's code (0 on success). responseLength
    // is the capacity in, the bytes received out.
    long transmit(const uint8_t* command, unsigned long commandLength, uint8_t* response,
                  unsigned long* responseLength);

    // Ends the transaction, disconnects leaving the card powered, and releases
    // a context of the channel's own.
    void release();

    bool connected() const { return m_card != 0; }

private:
    SCARDCONTEXT m_ownContext = 0;
    SCARDHANDLE m_card = 0;
    DWORD m_protocol = 0;
    bool m_inTransaction = false;
};
