// The URI splitter on any bytes: every component is a piece of the text, and
// the pair walk counts no more pairs than the query has tokens, strict no
// more than lenient.
#include "qr/EdUrlParser.h"

#include <algorithm>
#include <string>

namespace {

void Count(void* context, std::string, std::string)
{
    ++*static_cast<int*>(context);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    const std::unique_ptr<EdUrlParser> parser = EdUrlParser::FromText(text);
    for (const std::string* part : {&parser->scheme, &parser->host, &parser->port, &parser->path,
                                    &parser->query, &parser->fragment}) {
        if (text.find(*part) == std::string::npos) {
            __builtin_trap();
        }
    }

    int strictCalls = 0;
    int lenientCalls = 0;
    const int strict = EdUrlParser::ForEachQueryPair(text, Count, &strictCalls, true);
    const int lenient = EdUrlParser::ForEachQueryPair(text, Count, &lenientCalls, false);
    const int tokens = static_cast<int>(std::count(text.begin(), text.end(), '&')) + 1;
    if (strict != (strict < 0 ? -1 : strictCalls) || lenient != (lenient < 0 ? -1 : lenientCalls) ||
        strict > lenient || lenient > tokens) {
        __builtin_trap();
    }
    QueryMap map;
    if (EdUrlParser::CollectQueryPairs(map, text, false) != lenient ||
        map.size() > static_cast<size_t>(std::max(lenient, 0))) {
        __builtin_trap();
    }
    return 0;
}
