// token-info: what the station's token link reads from the tokens on the
// readers. Without arguments it lists the readers and reads the token in each;
// with reader names it reads only those.
//
//   token-info [READER...]
//
// Exit status: 0 when at least one token was read, 1 otherwise.

#include "CardTransport.h"
#include "TokenCommands.h"

#include <cstdio>
#include <string>
#include <vector>

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

} // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> readers(argv + 1, argv + argc);
    if (readers.empty()) {
        std::string text;
        if (ListReaders(text) != 0) {
            std::printf("No smart-card reader found (is pcscd running?)\n");
            return 1;
        }
        readers = SplitReaderList(text);
    }
    bool anyRead = false;
    for (const auto& reader : readers)
        anyRead = ShowToken(reader) || anyRead;
    return anyRead ? 0 : 1;
}
