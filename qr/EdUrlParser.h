#pragma once

#include <memory>
#include <string>
#include <unordered_map>

// Splits a URL text into its components without decoding anything: percent
// escapes, '+' and letter case stay as written, and every byte is a character.
using QueryPairCallback = void (*)(void* context, std::string key, std::string value);
using QueryMap = std::unordered_map<std::string, std::string>;

class EdUrlParser
{
public:
    // The texts may carry a seed (the "secret" of an otpauth URI); they are
    // wiped when the parser goes away.
    virtual ~EdUrlParser();

    // A new parser holding text in rawText, already split.
    static std::unique_ptr<EdUrlParser> FromText(const std::string& text);
    // Fills the components from rawText; run once, on a fresh object.
    void SplitComponents();

    // Calls callback for each pair of the query that is kept: strict drops a
    // pair with an empty key or value, lenient only one with both empty.
    // Returns the number of calls, or -1 for an empty or all-space query.
    static int ForEachQueryPair(const std::string& query, QueryPairCallback callback, void* context,
                                bool strict);
    // The same walk into map; a key met again keeps its last value.
    static int CollectQueryPairs(QueryMap& map, const std::string& query, bool strict);

    std::string rawText;
    std::string scheme;
    std::string host;
    std::string port;
    std::string path;
    std::string query;
    std::string fragment;
};
