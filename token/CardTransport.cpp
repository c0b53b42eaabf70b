#include "CardTransport.h"

#include "TokenResult.h"

#include <PCSC/winscard.h>

namespace {

struct CardLink
{
    SCARDCONTEXT context = 0;
    SCARDHANDLE card = 0;
    DWORD protocol = 0;
};

std::recursive_mutex g_cardLinkLock;
CardLink g_cardLink; // guarded by g_cardLinkLock

void ReleaseCardLink()
{
    // The card is left powered and untouched: the token keeps its security
    // state from one connection to the next.
    if (g_cardLink.card != 0)
        SCardDisconnect(g_cardLink.card, SCARD_LEAVE_CARD);
    if (g_cardLink.context != 0)
        SCardReleaseContext(g_cardLink.context);
    g_cardLink = {};
}

} // namespace

std::unique_lock<std::recursive_mutex> LockCardLink()
{
    return std::unique_lock(g_cardLinkLock);
}

int32_t CardConnect(const char* reader)
{
    std::lock_guard lock(g_cardLinkLock);
    ReleaseCardLink();
    if (reader == nullptr)
        return TOKEN_ERR_CONNECT;

    SCARDCONTEXT context = 0;
    if (SCardEstablishContext(SCARD_SCOPE_SYSTEM, nullptr, nullptr, &context) != SCARD_S_SUCCESS)
        return TOKEN_ERR_CONNECT;
    g_cardLink.context = context;

    SCARDHANDLE card = 0;
    DWORD protocol = 0;
    const LONG result = SCardConnect(context, reader, SCARD_SHARE_SHARED,
                                     SCARD_PROTOCOL_T0 | SCARD_PROTOCOL_T1, &card, &protocol);
    if (result != SCARD_S_SUCCESS || card == static_cast<SCARDHANDLE>(-1)) {
        ReleaseCardLink();
        return TOKEN_ERR_CONNECT;
    }
    g_cardLink.card = card;
    g_cardLink.protocol = protocol;
    return TOKEN_OK;
}

long CardTransmit(const uint8_t* command, unsigned long commandLength, uint8_t* response,
                  unsigned long* responseLength)
{
    std::lock_guard lock(g_cardLinkLock);
    const SCARD_IO_REQUEST* pci =
        g_cardLink.protocol == SCARD_PROTOCOL_T0 ? SCARD_PCI_T0 : SCARD_PCI_T1;
    return SCardTransmit(g_cardLink.card, pci, command, commandLength, nullptr, response,
                         responseLength);
}

int CardRelease()
{
    std::lock_guard lock(g_cardLinkLock);
    ReleaseCardLink();
    return 0;
}

int ListReaders(std::string& text)
{
    SCARDCONTEXT context = 0;
    if (SCardEstablishContext(SCARD_SCOPE_USER, nullptr, nullptr, &context) != SCARD_S_SUCCESS)
        return -1;

    // Ask for the size first; a reader added between the two calls makes the
    // second one report a short buffer, so ask again.
    std::string names;
    LONG result = SCARD_E_INSUFFICIENT_BUFFER;
    for (int attempt = 0; attempt < 5 && result == SCARD_E_INSUFFICIENT_BUFFER; ++attempt) {
        DWORD size = 0;
        result = SCardListReaders(context, nullptr, nullptr, &size);
        if (result != SCARD_S_SUCCESS)
            break;
        names.assign(size, '\0');
        result = SCardListReaders(context, nullptr, names.data(), &size);
        names.resize(result == SCARD_S_SUCCESS ? size : 0);
    }
    SCardReleaseContext(context);
    if (result != SCARD_S_SUCCESS)
        return -1;

    // A multi-string: names ended by a zero each, and an empty name at the end.
    for (size_t start = 0; start < names.size() && names[start] != '\0';) {
        const size_t end = names.find('\0', start);
        const size_t stop = end == std::string::npos ? names.size() : end;
        text.append(names, start, stop - start).append("[E]");
        start = stop + 1;
    }
    return 0;
}
