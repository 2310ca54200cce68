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
    // A line beginning with a space never matches; present but empty is not the default; the
    // status line is a line like any other; the name is compared as given.
    const std::pair<std::string, const char*> values[] = {
        {"CONTENT-LENGTH:", "42"},
        {"Set-Cookie:", "a=1"},
        {"Location:", "-"},
        {"X-Empty:", ""},
        {"X-Padded:", "spaced value"},
        {"Content-Type:", "-"},
        {"HTTP/1.1", "404 Not Found"},
        {"Server", ": test"},
    };
    for (const auto& [name, value] : values)
        EXPECT_EQ(HeaderValue(block, name, "-"), value) << name;
    EXPECT_EQ(HeaderValue("A: 1\nB: 2\r\n", "B:", "-") + HeaderValue("A: 1\r\nB: 2", "B:", "-"),
              "-2")
        << "lines end at CRLF only";
    // A missing reason must not reach into the next line; no line end yet, no message.
    const std::pair<std::string, const char*> status[] = {
        {"HTTP/1.0 200 OK\r\n\r\n", "200 OK"},
        {"HTTP/1.1 302   Found  \r\nLocation: /x\r\n\r\n", "302 Found"},
        {"HTTP/1.1 204\r\nServer: test\r\n\r\n", "204 "},
        {"HTTP/1.1 200 OK", "200 "},
        {"HTTP/1.1 2x0 Odd\r\n\r\n", "0 Odd"},
        {"garbage\r\n\r\n", "0 "},
    };
    for (const auto& [header, expected] : status)
        EXPECT_EQ(std::to_string(StatusCode(header)) + " " + StatusMessage(header), expected);
    // Selectors 1, 2, 3, and 0 outside them.
    const std::pair<std::string, const char*> ranges[] = {
        {"content-range:BYTES  100 - 199 / 200", "100 199 200 0 0"},
        {"Content-Range: bytes 3000000000-5999999999/6000000000",
         "3000000000 5999999999 6000000000 0 0"},
        {"Content-Range: bytes 5-9/*", "5 9 0 0 0"},
        {"Content-Range: bytes */1234", "0 0 0 0 0"},
        {"Content-Length: 5", "0 0 0 0 0"},
    };
    for (const auto& [line, expected] : ranges) {
        std::string got;
        for (int32_t selector : {1, 2, 3, 0, 4})
            got += (got.empty() ? "" : " ") +
                   std::to_string(
                       ContentRangeValue("HTTP/1.1 206 P\r\n" + line + "\r\n\r\n", selector));
        EXPECT_EQ(got, expected) << line;
    }
}

TEST(ModHttp, CookieNumericValueAndBoundary) {
    // Case-sensitive names, the last wins, split at the first "=", pieces without one ignored.
    const std::tuple<const char*, const char*, const char*> cookies[] = {
        {"PHPSESSID=abc; path=/", "PHPSESSID", "abc"},
        {"PHPSESSID=abc", "phpsessid", "-"},
        {"a=1; a=2;a=3", "a", "3"},
        {" k_uid = 5 ; x=y", "k_uid", "-"},
        {"token=a=b=c", "token", "a=b=c"},
        {"secure; id=", "id", ""},
        {"secure; HttpOnly", "secure", "-"},
        {"ab=1", "a", "-"},
    };
    for (const auto& [text, name, value] : cookies)
        EXPECT_EQ(CookieValue(text, name, "-"), value) << text << " / " << name;
    const std::pair<const char*, int64_t> numbers[] = {
        {"  \t 17 apples", 17},
        {"-8", -8},
        {"+9", 9},
        {"12.7", 12},
        {"abc", 0},
        {"- 5", 0},
        {"9223372036854775808", INT64_MAX},
        {"-99999999999999999999999", INT64_MIN},
    };
    for (const auto& [text, value] : numbers)
        EXPECT_EQ(NumericValue(text), value) << text;
    // 40 random bits each: a repeat among 200 would mean a reseeded or stuck generator, and a
    // boundary that can be foreseen can be planted in the content.
    std::set<std::string> seen;
    for (int i = 0; i < 200; ++i) {
        const std::string boundary = MakeBoundary();
        EXPECT_TRUE(std::regex_match(boundary, std::regex("-{27}[0-9a-f]{10}"))) << boundary;
        seen.insert(boundary);
    }
    EXPECT_EQ(seen.size(), 200u);
}

TEST(ModHttp, FilterCRLFAndExtractSubStr) {
    EXPECT_EQ(FilterCRLF("a\nb\rc\r\nd\r\r\n"), "a\r\nb\r\nc\r\nd\r\n\r\n");
    const std::string form = R"(<INPUT name="AccessKey" value="k1">)";
    // The right delimiter must follow the left one; non-ASCII bytes compare exactly even when
    // case is ignored.
    const std::tuple<std::string, const char*, const char*, bool, bool, const char*> rows[] = {
        {"a[1]b[2]c", "[", "]", false, false, "1"},
        {"a[1]b[2]c", "[", "]", false, true, "2"},
        {"a[1b", "[", "]", false, false, ""},
        {"a]1[b", "[", "]", false, false, ""},
        {form, R"(name="accesskey" value=")", "\"", true, false, "k1"},
        {form, R"(name="accesskey" value=")", "\"", false, false, ""},
        {"<A>one</a><A>two</A>", "<a>", "</A>", true, true, "two"},
        {"::x::", "::", "::", false, false, "x"},
        {"abcabc", "abc", "abc", false, true, ""},
        {"\xC3\x84x\xC3\xA4y;", "\xC3\xA4", ";", true, false, "y"},
    };
    for (const auto& [data, left, right, ignoreCase, reverse, expected] : rows)
        EXPECT_EQ(ExtractSubStr(data, left, right, ignoreCase, reverse), expected)
            << data << " " << left << right;
}
