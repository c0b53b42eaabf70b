#include "qr/OtpauthSecret.h"

#include "qr/EdUrlParser.h"
#include "seed/ByteString.h"

std::optional<std::string> OtpauthSecretOf(const std::string& payload)
{
    const std::unique_ptr<EdUrlParser> parser = EdUrlParser::FromText(payload);
    if (parser->scheme != "otpauth") {
        return std::nullopt;
    }
    QueryMap pairs;
    EdUrlParser::CollectQueryPairs(pairs, parser->query, true);
    std::optional<std::string> secret;
    if (const auto found = pairs.find("secret"); found != pairs.end()) {
        secret = found->second;
    }
    for (auto& [key, value] : pairs) {
        WipeMemory(value.data(), value.size());
    }
    return secret;
}
