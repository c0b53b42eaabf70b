#include "qr/EdUrlParser.h"

#include "seed/ByteString.h"

namespace {

void WipeText(std::string& text)
{
    WipeMemory(text.data(), text.size());
}

} // namespace

EdUrlParser::~EdUrlParser()
{
    for (std::string* text : {&rawText, &scheme, &host, &port, &path, &query, &fragment}) {
        WipeText(*text);
    }
}

std::unique_ptr<EdUrlParser> EdUrlParser::FromText(const std::string& text)
{
    auto parser = std::make_unique<EdUrlParser>();
    parser->rawText = text;
    parser->SplitComponents();
    return parser;
}

// scheme://host:port/path?query#fragment, or /host... without a scheme. Each
// component runs to the first delimiter that may follow it, so a '#' before
// the query belongs to the path and a fragment exists only behind a query.
void EdUrlParser::SplitComponents()
{
    const std::string& text = rawText;
    constexpr size_t npos = std::string::npos;
    const size_t start = text.find_first_not_of(' ');
    if (start == npos) {
        return;
    }

    size_t hostStart = 0;
    if (text[start] == '/') {
        hostStart = start + 1;
    } else {
        const size_t colon = text.find(':', start);
        if (colon == npos) {
            return;
        }
        scheme = text.substr(start, colon - start);
        if (text.size() - colon < 3 || text[colon + 1] != '/' || text[colon + 2] != '/') {
            return;
        }
        hostStart = colon + 3;
    }

    size_t end = text.find_first_of(":/?", hostStart);
    host = text.substr(hostStart, end - hostStart);
    if (end == npos) {
        return;
    }
    if (text[end] == ':') {
        const size_t portStart = end + 1;
        end = text.find_first_of("/?", portStart);
        port = text.substr(portStart, end - portStart);
        if (end == npos) {
            return;
        }
    }
    if (text[end] == '/') {
        const size_t pathStart = end;
        end = text.find('?', pathStart);
        path = text.substr(pathStart, end - pathStart);
        if (end == npos) {
            return;
        }
    }
    const size_t queryStart = end + 1;
    end = text.find('#', queryStart);
    query = text.substr(queryStart, end - queryStart);
    if (end == npos) {
        return;
    }
    fragment = text.substr(end + 1);
}

// Pairs are cut at '&'. Within a pair every '=' closes a key, so the key is
// the segment before the last '=' and the value the text after it: k=v=w
// gives v -> w, and a value ending in '=' arrives empty.
int EdUrlParser::ForEachQueryPair(const std::string& query, QueryPairCallback callback,
                                  void* context, bool strict)
{
    size_t position = query.find_first_not_of(' ');
    if (position == std::string::npos) {
        return -1;
    }
    int count = 0;
    for (;;) {
        size_t tokenEnd = query.find('&', position);
        if (tokenEnd == std::string::npos) {
            tokenEnd = query.size();
        }
        std::string key;
        size_t segmentStart = position;
        for (size_t i = position; i < tokenEnd; ++i) {
            if (query[i] == '=') {
                key.assign(query, segmentStart, i - segmentStart);
                segmentStart = i + 1;
            }
        }
        std::string value(query, segmentStart, tokenEnd - segmentStart);

        const bool dropped = strict ? key.empty() || value.empty() : key.empty() && value.empty();
        if (!dropped) {
            if (callback != nullptr) {
                callback(context, key, value);
            }
            ++count;
        }
        WipeText(key);
        WipeText(value);
        if (tokenEnd == query.size()) {
            return count;
        }
        position = tokenEnd + 1;
    }
}

int EdUrlParser::CollectQueryPairs(QueryMap& map, const std::string& query, bool strict)
{
    const QueryPairCallback store = [](void* context, std::string key, std::string value) {
        QueryMap& target = *static_cast<QueryMap*>(context);
        target.insert_or_assign(std::move(key), std::move(value));
    };
    return ForEachQueryPair(query, store, &map, strict);
}
