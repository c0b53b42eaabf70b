#pragma once

#include <memory>
#include <string>
#include <unordered_map>

// Splits a URL text into its components without decoding anything.
using QueryPairCallback = void (*)(void* context, std::string key, std::string value);
using QueryMap = std::unordered_map<std::string, std::string>;

class EdUrlParser
{
public:
    virtual ~EdUrlParser() = default;

    static std::unique_ptr<EdUrlParser> FromText(const std::string& text);
    void SplitComponents();

    // Number of accepted pairs, or -1 for an empty or all-space query.
    static int ForEachQueryPair(const std::string& query, QueryPairCallback callback,
                                void* context, bool strict);
    static int CollectQueryPairs(QueryMap& map, const std::string& query, bool strict);

    std::string rawText;
    std::string scheme;
    std::string host;
    std::string port;
    std::string path;
    std::string query;
    std::string fragment;
};
