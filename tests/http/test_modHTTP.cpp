#include "http/modHTTP.h"

#include <gtest/gtest.h>

#include <limits>
#include <regex>
#include <set>

using namespace modHTTP;

namespace {

const std::string Block = "HTTP/1.1 404 Not Found\r\n"
                          "Server: test\r\n"
                          "content-length: 42\r\n"
                          "Set-Cookie: a=1\r\n"
                          " Location: /folded\r\n"
                          "Set-Cookie: b=2\r\n"
                          "X-Empty:\r\n"
                          "X-Padded: \t spaced value \t\r\n"
                          "\r\n";

} // namespace

TEST(HeaderValue, FindsTheFirstMatchingLineCaseInsensitively) {
    struct Row {
        const char* name;
        const char* expected;
    };
    const Row rows[] = {
        {"Content-Length:", "42"},
        {"CONTENT-LENGTH:", "42"},
        {"Set-Cookie:", "a=1"},        // the first of two
        {"Location:", "-1"},           // a line beginning with a space never matches
        {"X-Empty:", ""},              // present but empty is not the default
        {"X-Padded:", "spaced value"}, // blanks trimmed at both ends
        {"Content-Type:", "-1"},       // absent
        {"HTTP/1.1", "404 Not Found"}, // the status line is a line like any other
        {"Server", ": test"},          // the name is compared as given, colon or not
    };
    for (const Row& row : rows)
        EXPECT_EQ(HeaderValue(Block, row.name, "-1"), row.expected) << row.name;
    EXPECT_EQ(HeaderValue("", "Location:", "none"), "none");
    // Lines are split at CRLF only.
    EXPECT_EQ(HeaderValue("A: 1\nB: 2\r\n", "B:", "none"), "none");
    EXPECT_EQ(HeaderValue("A: 1\r\nB: 2", "B:", "none"), "2");
}

TEST(StatusLine, CodeAndMessage) {
    struct Row {
        std::string header;
        int32_t code;
        const char* message;
    };
    const Row rows[] = {
        {Block, 404, "Not Found"},
        {"HTTP/1.0 200 OK\r\n\r\n", 200, "OK"},
        {"HTTP/1.1 302   Found  \r\nLocation: /x\r\n\r\n", 302, "Found"},
        // No reason phrase: the message must not reach into the next header line.
        {"HTTP/1.1 204\r\nServer: test\r\n\r\n", 204, ""},
        {"HTTP/1.1 204 \r\nServer: test\r\n\r\n", 204, ""},
        // No line end yet: no message.
        {"HTTP/1.1 200 OK", 200, ""},
        {"HTTP/1.1 2x0 Odd\r\n\r\n", 0, "Odd"},
        {"HTTP/1.1 20", 0, ""},
        {"garbage\r\n\r\n", 0, ""},
        {"", 0, ""},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(StatusCode(row.header), row.code) << row.header;
        EXPECT_EQ(StatusMessage(row.header), row.message) << row.header;
    }
}

TEST(ContentRangeValue, SelectsFirstLastAndTotal) {
    struct Row {
        const char* header;
        int64_t first, last, total;
    };
    const Row rows[] = {
        {"HTTP/1.1 206 Partial\r\nContent-Range: bytes 0-99/1234\r\n\r\n", 0, 99, 1234},
        {"HTTP/1.1 206 Partial\r\ncontent-range:BYTES  100 - 199 / 200\r\n\r\n", 100, 199, 200},
        // Beyond 32 bits.
        {"HTTP/1.1 206 P\r\nContent-Range: bytes 3000000000-5999999999/6000000000\r\n\r\n",
         3000000000LL, 5999999999LL, 6000000000LL},
        {"HTTP/1.1 206 P\r\nContent-Range: bytes 5-9/*\r\n\r\n", 5, 9, 0},
        {"HTTP/1.1 206 P\r\nContent-Range: bytes 5-9\r\n\r\n", 5, 0, 0},
        {"HTTP/1.1 416 R\r\nContent-Range: bytes */1234\r\n\r\n", 0, 0, 0},
        {"HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\n", 0, 0, 0},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(ContentRangeValue(row.header, 1), row.first) << row.header;
        EXPECT_EQ(ContentRangeValue(row.header, 2), row.last) << row.header;
        EXPECT_EQ(ContentRangeValue(row.header, 3), row.total) << row.header;
    }
    const std::string header = "Content-Range: bytes 1-2/3\r\n";
    EXPECT_EQ(ContentRangeValue(header, 0), 0);
    EXPECT_EQ(ContentRangeValue(header, 4), 0);
    EXPECT_EQ(ContentRangeValue(header, -1), 0);
}

TEST(CookieValue, LastExactMatchWins) {
    struct Row {
        const char* cookies;
        const char* name;
        const char* expected;
    };
    const Row rows[] = {
        {"PHPSESSID=abc; path=/", "PHPSESSID", "abc"},
        {"PHPSESSID=abc; path=/", "phpsessid", "dflt"}, // names are case-sensitive
        {"a=1; a=2;a=3", "a", "3"},
        {"  king_uid = 5 ; x=y", "king_uid", "dflt"}, // the name keeps its inner blank
        {"token=a=b=c", "token", "a=b=c"},            // split at the first "=" only
        {"secure; HttpOnly; id=", "id", ""},
        {"secure; HttpOnly", "secure", "dflt"}, // pieces without "=" are ignored
        {"ab=1", "a", "dflt"},
        {"", "a", "dflt"},
    };
    for (const Row& row : rows)
        EXPECT_EQ(CookieValue(row.cookies, row.name, "dflt"), row.expected)
            << row.cookies << " / " << row.name;
}

TEST(MakeBoundary, HasTheFormAndChangesOnEveryCall) {
    const std::regex form("-{27}[0-9a-f]{10}");
    std::set<std::string> seen;
    for (int i = 0; i < 200; ++i) {
        const std::string boundary = MakeBoundary();
        EXPECT_TRUE(std::regex_match(boundary, form)) << boundary;
        seen.insert(boundary);
    }
    // 40 random bits each: a repeat among 200 would mean the generator is reseeded or stuck.
    EXPECT_EQ(seen.size(), 200u);
}

TEST(NumericValue, ReadsTheLeadingIntegerAndSaturates) {
    constexpr int64_t Max = std::numeric_limits<int64_t>::max();
    constexpr int64_t Min = std::numeric_limits<int64_t>::min();
    struct Row {
        const char* text;
        int64_t value;
    };
    const Row rows[] = {
        {"42", 42},
        {"  \t 17 apples", 17},
        {"-8", -8},
        {"+9", 9},
        {"12.7", 12},
        {"abc", 0},
        {"", 0},
        {"- 5", 0},
        {"9223372036854775807", Max},
        {"9223372036854775808", Max},
        {"99999999999999999999999", Max},
        {"-9223372036854775808", Min},
        {"-99999999999999999999999", Min},
    };
    for (const Row& row : rows)
        EXPECT_EQ(NumericValue(row.text), row.value) << row.text;
}

TEST(FilterCRLF, MakesEveryLineBreakCRLF) {
    struct Row {
        const char* input;
        const char* expected;
    };
    const Row rows[] = {
        {"a\nb\rc\r\nd", "a\r\nb\r\nc\r\nd"},
        {"\r\r\n", "\r\n\r\n"},
        {"\r\n\r\n", "\r\n\r\n"},
        {"no breaks", "no breaks"},
        {"", ""},
    };
    for (const Row& row : rows)
        EXPECT_EQ(FilterCRLF(row.input), row.expected);
}

TEST(ExtractSubStr, TakesTheTextBetweenDelimiters) {
    struct Row {
        const char* data;
        const char* left;
        const char* right;
        bool ignoreCase;
        bool reverse;
        const char* expected;
    };
    const Row rows[] = {
        {"a[1]b[2]c", "[", "]", false, false, "1"},
        {"a[1]b[2]c", "[", "]", false, true, "2"},
        {"a[1]b[2]c", "{", "]", false, false, ""},
        {"a[1b", "[", "]", false, false, ""},
        {"a]1[b", "[", "]", false, false, ""}, // the right delimiter must follow the left
        {"x[]y", "[", "]", false, false, ""},
        {R"(<INPUT name="AccessKey" value="k1">)", R"(name="accesskey" value=")", "\"", true, false,
         "k1"},
        {R"(<INPUT name="AccessKey" value="k1">)", R"(name="accesskey" value=")", "\"", false,
         false, ""},
        {"<A>one</a><A>two</A>", "<a>", "</A>", true, true, "two"},
        {"<A>one</a><A>two</A>", "<a>", "</A>", false, false, ""},
        // Overlapping delimiters: the search for the right one starts after the left one.
        {"::x::", "::", "::", false, false, "x"},
        {"abcabc", "abc", "abc", false, true, ""},
        {"", "[", "]", false, false, ""},
        // Non-ASCII bytes compare exactly even when case is ignored.
        {"\xC3\x84x\xC3\xA4y;", "\xC3\xA4", ";", true, false, "y"},
        {"k=\xC3\x84v;", "k=\xC3\x84", ";", true, false, "v"},
    };
    for (const Row& row : rows)
        EXPECT_EQ(ExtractSubStr(row.data, row.left, row.right, row.ignoreCase, row.reverse),
                  row.expected)
            << row.data << " " << row.left << row.right;
}
