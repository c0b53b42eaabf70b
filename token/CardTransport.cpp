#include "CardTransport.h"

#include "PcscClientLock.h"

#include <PCSC/winscard.h>

int ListReaders(std::string& text)
{
    SCARDCONTEXT context = 0;
    {
        std::lock_guard lock(PcscClientLock());
        if (SCardEstablishContext(SCARD_SCOPE_USER, nullptr, nullptr, &context) != SCARD_S_SUCCESS)
            return -1;
    }

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
    {
        std::lock_guard lock(PcscClientLock());
        SCardReleaseContext(context);
    }
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
