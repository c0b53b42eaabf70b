#include "CardChannel.h"

#include "PcscClientLock.h"
#include "TokenResult.h"

CardChannel::~CardChannel()
{
    release();
}

int32_t CardChannel::connect(const char* reader, SCARDCONTEXT context)
{
    release();
    if (reader == nullptr)
        return TOKEN_ERR_CONNECT;
    std::unique_lock lock(PcscClientLock());
    if (context == 0) {
        if (SCardEstablishContext(SCARD_SCOPE_SYSTEM, nullptr, nullptr, &m_ownContext) !=
            SCARD_S_SUCCESS) {
            m_ownContext = 0;
            return TOKEN_ERR_CONNECT;
        }
        context = m_ownContext;
    }
    SCARDHANDLE card = 0;
    DWORD protocol = 0;
    const LONG result = SCardConnect(context, reader, SCARD_SHARE_SHARED,
                                     SCARD_PROTOCOL_T0 | SCARD_PROTOCOL_T1, &card, &protocol);
    lock.unlock();
    if (result != SCARD_S_SUCCESS || card == 0 || card == static_cast<SCARDHANDLE>(-1)) {
        release();
        return TOKEN_ERR_CONNECT;
    }
    m_card = card;
    m_protocol = protocol;
    return TOKEN_OK;
}

long CardChannel::beginTransaction()
{
    if (m_card == 0)
        return SCARD_E_INVALID_HANDLE;
    const LONG result = SCardBeginTransaction(m_card);
    m_inTransaction = result == SCARD_S_SUCCESS;
    return result;
}

void CardChannel::endTransaction()
{
    if (m_inTransaction)
        SCardEndTransaction(m_card, SCARD_LEAVE_CARD);
    m_inTransaction = false;
}

long CardChannel::transmit(const uint8_t* command, unsigned long commandLength, uint8_t* response,
                           unsigned long* responseLength)
{
    if (m_card == 0)
        return SCARD_E_INVALID_HANDLE;
    const SCARD_IO_REQUEST* pci = m_protocol == SCARD_PROTOCOL_T0 ? SCARD_PCI_T0 : SCARD_PCI_T1;
    DWORD length = static_cast<DWORD>(*responseLength);
    const LONG result =
        SCardTransmit(m_card, pci, command, commandLength, nullptr, response, &length);
    *responseLength = length;
    return result;
}

void CardChannel::release()
{
    endTransaction();
    std::lock_guard lock(PcscClientLock());
    if (m_card != 0)
        SCardDisconnect(m_card, SCARD_LEAVE_CARD);
    if (m_ownContext != 0)
        SCardReleaseContext(m_ownContext);
    m_card = 0;
    m_protocol = 0;
    m_ownContext = 0;
}
