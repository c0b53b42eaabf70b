#include "PresenceProbe.h"

bool PresenceProbe::cardPresent(const QString& readerName)
{
    if (SCardEstablishContext(SCARD_SCOPE_SYSTEM, nullptr, nullptr, &m_pollContext) !=
        SCARD_S_SUCCESS) {
        m_pollContext = 0;
        return true;
    }
    const QByteArray reader = readerName.toUtf8();
    if (SCardConnect(m_pollContext, reader.constData(), SCARD_SHARE_SHARED,
                     SCARD_PROTOCOL_T0 | SCARD_PROTOCOL_T1, &m_pollCard,
                     &m_pollProtocol) != SCARD_S_SUCCESS) {
        m_pollCard = 0;
        return false;
    }
    return true;
}

void PresenceProbe::release()
{
    if (m_pollCard != 0) {
        SCardDisconnect(m_pollCard, SCARD_LEAVE_CARD);
        m_pollCard = 0;
    }
    if (m_pollContext != 0) {
        SCardReleaseContext(m_pollContext);
        m_pollContext = 0;
    }
}
