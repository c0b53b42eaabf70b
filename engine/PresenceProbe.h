#pragma once

#include <PCSC/winscard.h>
#include <QString>

// The token poll's own PC/SC connection, used only to see whether a card lies
// on the reader. It stays open while the cycle reads or programs the token,
// whose commands open connections of their own.
class PresenceProbe
{
public:
    PresenceProbe() = default;
    ~PresenceProbe() { release(); }
    PresenceProbe(const PresenceProbe&) = delete;
    PresenceProbe& operator=(const PresenceProbe&) = delete;

    // True when a card is present, and also when no PC/SC context can be had:
    // the token commands then fail on their own and say so.
    bool cardPresent(const QString& readerName);

    // Disconnects leaving the card as it is, and releases the context.
    void release();

private:
    SCARDCONTEXT m_pollContext = 0;
    SCARDHANDLE m_pollCard = 0;
    DWORD m_pollProtocol = 0;
};
