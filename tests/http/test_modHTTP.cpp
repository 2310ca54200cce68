#include "http/modHTTP.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <regex>
#include <set>
#include <tuple>

using namespace modHTTP;

TEST(ModHttp, HeaderValueStatusAndContentRange) {
    const std::string block = "HTTP/1.1 404 Not Found\r\nServer: test\r\ncontent-length: 42\r\n"
                              "Set-Cookie: a=1\r\n Location: /folded\r\nSet-Cookie: b=2\r\n"
                              "X-Empty:\r\nX-Padded: \t spaced value \t\r\n\r\n";
    const std::pair<std::string, const char*> values[] = {
        {"Content-Length:", "42"},
        {"CONTENT-LENGTH:", "42"},     // case-insensitive
        {"Set-Cookie:", "a=1"},        // the first of two
        {"Location:", "-"},            // a line beginning with a space never matches
        {"X-Empty:", ""},              // present but empty is not the default
        {"X-Padded:", "spaced value"}, // blanks trimmed at both ends
        {"Content-Type:", "-"},        // absent
        {"HTTP/1.1", "404 Not Found"}, // the status line is a line like any other
        {"Server", ": test"}           // the name is compared as given
    };
    for (const auto& [name, value] : values)
        EXPECT_EQ(HeaderValue(block, name, "-"), value) << name;
    EXPECT_EQ(HeaderValue("", "B:", "-") + HeaderValue("A: 1\nB: 2\r\n", "B:", "-"), "--")
        << "lines end at CRLF only";
    EXPECT_EQ(HeaderValue("A: 1\r\nB: 2", "B:", "-"), "2");

    // "code message" of the status line; a missing reason must not reach into the next line.
    const std::pair<std::string, const char*> status[] = {
        {block, "404 Not Found"},
        {"HTTP/1.0 200 OK\r\n\r\n", "200 OK"},
        {"HTTP/1.1 302   Found  \r\nLocation: /x\r\n\r\n", "302 Found"},
        {"HTTP/1.1 204\r\nServer: test\r\n\r\n", "204 "},
        {"HTTP/1.1 204 \r\nServer: test\r\n\r\n", "204 "},
        {"HTTP/1.1 200 OK", "200 "}, // no line end yet: no message
        {"HTTP/1.1 2x0 Odd\r\n\r\n", "0 Odd"},
        {"HTTP/1.1 20", "0 "},
        {"garbage\r\n\r\n", "0 "},
        {"", "0 "}};
    for (const auto& [header, expected] : status)
        EXPECT_EQ(std::to_string(StatusCode(header)) + " " + StatusMessage(header), expected)
            << header;

    // "first last total", and 0 for selectors outside 1..3.
    const std::pair<std::string, const char*> ranges[] = {
        {"Content-Range: bytes 0-99/1234", "0 99 1234 0 0 0"},
        {"content-range:BYTES  100 - 199 / 200", "100 199 200 0 0 0"},
        {"Content-Range: bytes 3000000000-5999999999/6000000000",
         "3000000000 5999999999 6000000000 0 0 0"},
        {"Content-Range: bytes 5-9/*", "5 9 0 0 0 0"},
        {"Content-Range: bytes 5-9", "5 0 0 0 0 0"},
        {"Content-Range: bytes */1234", "0 0 0 0 0 0"},
        {"Content-Length: 5", "0 0 0 0 0 0"}};
    for (const auto& [line, expected] : ranges) {
        const std::string header = "HTTP/1.1 206 P\r\n" + line + "\r\n\r\n";
        std::string got;
        for (int32_t selector : {1, 2, 3, 0, 4, -1})
            got += (got.empty() ? "" : " ") + std::to_string(ContentRangeValue(header, selector));
        EXPECT_EQ(got, expected) << line;
    }
}

TEST(ModHttp, CookieAndNumericValue) {
    const std::tuple<const char*, const char*, const char*> cookies[] = {
        {"PHPSESSID=abc; path=/", "PHPSESSID", "abc"},
        {"PHPSESSID=abc; path=/", "phpsessid", "-"}, // names are case-sensitive
        {"a=1; a=2;a=3", "a", "3"},                  // the last wins
        {"  king_uid = 5 ; x=y", "king_uid", "-"},   // the name keeps its inner blank
        {"token=a=b=c", "token", "a=b=c"},           // split at the first "=" only
        {"secure; HttpOnly; id=", "id", ""},
        {"secure; HttpOnly", "secure", "-"}, // pieces without "=" are ignored
        {"ab=1", "a", "-"},
        {"", "a", "-"}};
    for (const auto& [text, name, value] : cookies)
        EXPECT_EQ(CookieValue(text, name, "-"), value) << text << " / " << name;
    const std::pair<const char*, int64_t> numbers[] = {{"42", 42},
                                                       {"  \t 17 apples", 17},
                                                       {"-8", -8},
                                                       {"+9", 9},
                                                       {"12.7", 12},
                                                       {"abc", 0},
                                                       {"", 0},
                                                       {"- 5", 0},
                                                       {"9223372036854775807", INT64_MAX},
                                                       {"9223372036854775808", INT64_MAX},
                                                       {"99999999999999999999999", INT64_MAX},
                                                       {"-9223372036854775808", INT64_MIN},
                                                       {"-99999999999999999999999", INT64_MIN}};
    for (const auto& [text, value] : numbers)
        EXPECT_EQ(NumericValue(text), value) << text;
}

// 40 random bits each: a repeat among 200 would mean the generator is reseeded or stuck, and a
// boundary that can be foreseen can be planted in the content.
TEST(ModHttp, MakeBoundaryHasTheFormAndChangesOnEveryCall) {
    std::set<std::string> seen;
    for (int i = 0; i < 200; ++i) {
        const std::string boundary = MakeBoundary();
        EXPECT_TRUE(std::regex_match(boundary, std::regex("-{27}[0-9a-f]{10}"))) << boundary;
        seen.insert(boundary);
    }
    EXPECT_EQ(seen.size(), 200u);
}

TEST(ModHttp, FilterCRLFAndExtractSubStr) {
    const std::pair<const char*, const char*> breaks[] = {{"a\nb\rc\r\nd", "a\r\nb\r\nc\r\nd"},
                                                          {"\r\r\n", "\r\n\r\n"},
                                                          {"\r\n\r\n", "\r\n\r\n"},
                                                          {"no breaks", "no breaks"},
                                                          {"", ""}};
    for (const auto& [input, expected] : breaks)
        EXPECT_EQ(FilterCRLF(input), expected);
    const std::string form = R"(<INPUT name="AccessKey" value="k1">)";
    const std::tuple<std::string, const char*, const char*, bool, bool, const char*> rows[] = {
        {"a[1]b[2]c", "[", "]", false, false, "1"},
        {"a[1]b[2]c", "[", "]", false, true, "2"},
        {"a[1]b[2]c", "{", "]", false, false, ""},
        {"a[1b", "[", "]", false, false, ""},
        {"a]1[b", "[", "]", false, false, ""}, // the right delimiter must follow the left
        {"x[]y", "[", "]", false, false, ""},
        {form, R"(name="accesskey" value=")", "\"", true, false, "k1"},
        {form, R"(name="accesskey" value=")", "\"", false, false, ""},
        {"<A>one</a><A>two</A>", "<a>", "</A>", true, true, "two"},
        {"<A>one</a><A>two</A>", "<a>", "</A>", false, false, ""},
        {"::x::", "::", "::", false, false, "x"}, // the right one is sought after the left
        {"abcabc", "abc", "abc", false, true, ""},
        {"", "[", "]", false, false, ""},
        // Non-ASCII bytes compare exactly even when case is ignored.
        {"\xC3\x84x\xC3\xA4y;", "\xC3\xA4", ";", true, false, "y"},
        {"k=\xC3\x84v;", "k=\xC3\x84", ";", true, false, "v"}};
    for (const auto& [data, left, right, ignoreCase, reverse, expected] : rows)
        EXPECT_EQ(ExtractSubStr(data, left, right, ignoreCase, reverse), expected)
            << data << " " << left << right;
}
