// token-info: what the station's token link reads from the tokens on the
// readers. Without arguments it lists the readers and reads the token in each;
// with reader names it reads only those.
//
//   token-info [READER...]   exit status 0 when at least one token was read
//   token-info --list        the reader names, one a line; 0 when there is one
//   token-info --service     0 when the PC/SC service answers

#include "CardTransport.h"
#include "TokenCommands.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>
#include <winscard.h>

namespace {

std::vector<std::string> SplitReaderList(const std::string& text)
{
    std::vector<std::string> names;
    const std::string marker = "[E]";
    for (size_t start = 0, end; (end = text.find(marker, start)) != std::string::npos;
         start = end + marker.size())
        names.push_back(text.substr(start, end - start));
    return names;
}

bool ShowToken(const std::string& reader)
{
    uint8_t serial[32] = {};
    uint8_t clock[64] = {};
    unsigned serialLength = sizeof serial;
    unsigned clockLength = sizeof clock;
    const int32_t result =
        TokenReadInfo(reader.c_str(), serial, &serialLength, clock, &clockLength);
    if (result == TOKEN_ERR_CONNECT) {
        std::printf("%s: no token\n", reader.c_str());
        return false;
    }
    if (result != TOKEN_OK) {
        std::printf("%s: reading the token failed (%08X)\n", reader.c_str(),
                    static_cast<unsigned>(result));
        return false;
    }
    std::printf("%s: serial number \"%.*s\", token clock %.*s UTC\n", reader.c_str(),
                static_cast<int>(serialLength), reinterpret_cast<const char*>(serial),
                static_cast<int>(clockLength), reinterpret_cast<const char*>(clock));
    return true;
}

bool ServiceAnswers()
{
    SCARDCONTEXT context = 0;
    if (SCardEstablishContext(SCARD_SCOPE_SYSTEM, nullptr, nullptr, &context) != SCARD_S_SUCCESS)
        return false;
    SCardReleaseContext(context);
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 2 && std::strcmp(argv[1], "--service") == 0)
        return ServiceAnswers() ? 0 : 1;

    const bool listOnly = argc == 2 && std::strcmp(argv[1], "--list") == 0;
    std::vector<std::string> readers(argv + 1, argv + argc);
    if (readers.empty() || listOnly) {
        std::string text;
        if (ListReaders(text) != 0) {
            if (!listOnly)
                std::printf("No smart-card reader found (is pcscd running?)\n");
            return 1;
        }
        readers = SplitReaderList(text);
    }
    if (listOnly) {
        for (const auto& reader : readers)
            std::printf("%s\n", reader.c_str());
        return 0;
    }
    bool anyRead = false;
    for (const auto& reader : readers)
        anyRead = ShowToken(reader) || anyRead;
    return anyRead ? 0 : 1;
}
