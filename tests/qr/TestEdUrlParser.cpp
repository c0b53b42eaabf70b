#include "qr/EdUrlParser.h"

#include <gtest/gtest.h>
#include <string>
#include <utility>
#include <vector>

namespace {

struct SplitRow
{
    std::string text;
    std::string scheme, host, port, path, query, fragment;
};

TEST(EdUrlParser, SplitsTextIntoComponents)
{
    const std::string secret = "JBSWY3DPEHPK3PXP";
    const SplitRow rows[] = {
        {"otpauth://totp/Issuer:alice?secret=" + secret + "&issuer=Issuer", "otpauth", "totp", "",
         "/Issuer:alice", "secret=" + secret + "&issuer=Issuer", ""},
        {"   otpauth://totp/a?secret=S", "otpauth", "totp", "", "/a", "secret=S", ""},
        {"OTPAUTH://TOTP/A?SECRET=S", "OTPAUTH", "TOTP", "", "/A", "SECRET=S", ""},
        {"otpauth:totp/x?secret=S", "otpauth", "", "", "", "", ""},
        {"otpauth:/totp?secret=S", "otpauth", "", "", "", "", ""},
        {"otpauth:/", "otpauth", "", "", "", "", ""},
        {"otpauth://", "otpauth", "", "", "", "", ""},
        {"no colon at all/?a=b", "", "", "", "", "", ""},
        {"", "", "", "", "", "", ""},
        {"    ", "", "", "", "", "", ""},
        {"http://host?q=1", "http", "host", "", "", "q=1", ""},
        {"http://host:8080", "http", "host", "8080", "", "", ""},
        {"http://host:8080?q", "http", "host", "8080", "", "q", ""},
        {"http://host:8080/p/q?r=s#frag", "http", "host", "8080", "/p/q", "r=s", "frag"},
        {"otpauth://totp/a#b", "otpauth", "totp", "", "/a#b", "", ""},
        {"otpauth://totp/a#b?c", "otpauth", "totp", "", "/a#b", "c", ""},
        {"otpauth://totp/a?b#c#d", "otpauth", "totp", "", "/a", "b", "c#d"},
        {"otpauth://totp/a?b#", "otpauth", "totp", "", "/a", "b", ""},
        {"/host/path?q", "", "host", "", "/path", "q", ""},
        {"  /host:1", "", "host", "1", "", "", ""},
        {"a/b?c://h", "a/b?c", "h", "", "", "", ""},
        {"a/b?c:d://h", "a/b?c", "", "", "", "", ""},
        {"otpauth://to tp/l\x01\xc3\xa9 x?s=a%3Db+c", "otpauth", "to tp", "", "/l\x01\xc3\xa9 x",
         "s=a%3Db+c", ""},
    };
    for (const SplitRow& row : rows) {
        SCOPED_TRACE("text \"" + row.text + "\"");
        const std::unique_ptr<EdUrlParser> parser = EdUrlParser::FromText(row.text);
        ASSERT_NE(parser, nullptr);
        EXPECT_EQ(parser->rawText, row.text);
        EXPECT_EQ(parser->scheme, row.scheme);
        EXPECT_EQ(parser->host, row.host);
        EXPECT_EQ(parser->port, row.port);
        EXPECT_EQ(parser->path, row.path);
        EXPECT_EQ(parser->query, row.query);
        EXPECT_EQ(parser->fragment, row.fragment);
    }
}

using Pairs = std::vector<std::pair<std::string, std::string>>;

void Record(void* context, std::string key, std::string value)
{
    static_cast<Pairs*>(context)->emplace_back(std::move(key), std::move(value));
}

struct PairRow
{
    std::string query;
    bool strict;
    int count;
    Pairs calls; // in the order the callback saw them
};

TEST(EdUrlParser, WalksQueryPairsByTheLastEqualsSign)
{
    const PairRow rows[] = {
        {"secret=S&issuer=Issuer", true, 2, {{"secret", "S"}, {"issuer", "Issuer"}}},
        {"a=1", true, 1, {{"a", "1"}}},
        {"lone", true, 0, {}},
        {"lone", false, 1, {{"", "lone"}}},
        {"a=", true, 0, {}},
        {"a=", false, 1, {{"a", ""}}},
        {"=v", true, 0, {}},
        {"=v", false, 1, {{"", "v"}}},
        {"=", false, 0, {}},
        {"k=v=w", true, 1, {{"v", "w"}}},
        {"k==v", true, 0, {}},
        {"k==v", false, 1, {{"", "v"}}},
        {"secret=MFRGG===", true, 0, {}},
        {"secret=MFRGG===", false, 0, {}},
        {"secret=MFRGG=", false, 1, {{"MFRGG", ""}}},
        {"secret=S&secret=T", true, 2, {{"secret", "S"}, {"secret", "T"}}},
        {"a=%3D&b=1+2", true, 2, {{"a", "%3D"}, {"b", "1+2"}}},
        {"   a=1& b =2 ", true, 2, {{"a", "1"}, {" b ", "2 "}}},
        {"a=1&&b=2&", true, 2, {{"a", "1"}, {"b", "2"}}},
        {"&", true, 0, {}},
        {"&&&", false, 0, {}},
        {"", true, -1, {}},
        {"", false, -1, {}},
        {"   ", false, -1, {}},
    };
    for (const PairRow& row : rows) {
        SCOPED_TRACE("query \"" + row.query + "\"" + (row.strict ? " strict" : " lenient"));
        Pairs calls;
        EXPECT_EQ(EdUrlParser::ForEachQueryPair(row.query, Record, &calls, row.strict), row.count);
        EXPECT_EQ(calls, row.calls);
    }
}

TEST(EdUrlParser, CollectsTheLastValueOfEachKey)
{
    QueryMap map;
    EXPECT_EQ(EdUrlParser::CollectQueryPairs(map, "secret=S&issuer=I&secret=T", true), 3);
    EXPECT_EQ(map, (QueryMap{{"secret", "T"}, {"issuer", "I"}}));

    QueryMap none;
    EXPECT_EQ(EdUrlParser::CollectQueryPairs(none, "  ", true), -1);
    EXPECT_EQ(EdUrlParser::CollectQueryPairs(none, "secret=&issuer", true), 0);
    EXPECT_TRUE(none.empty());
}

} // namespace
