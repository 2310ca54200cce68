#include "http/modHTTP.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <tuple>

using namespace modHTTP;

TEST(ModHttp, HeaderValueStatusAndContentRange) {
    const std::string block = "HTTP/1.1 404 Not Found\r\nServer: test\r\ncontent-length: 42\r\n"
                              "Set-Cookie: a=1\r\n Location: /folded\r\nSet-Cookie: b=2\r\n"
                              "X-Empty:\r\nX-Padded: \t spaced value \t\r\n\r\n";
    // A line beginning with a space never matches; present but empty is not the default; the
    // status line is a line like any other; lines end at CRLF only.
    std::string values;
    for (const char* name : {"CONTENT-LENGTH:", "Set-Cookie:", "Location:", "X-Empty:", "X-Padded:",
                             "Content-Type:", "HTTP/1.1"})
        values += HeaderValue(block, name, "-") + "|";
    EXPECT_EQ(values + HeaderValue("A: 1\nB: 2\r\n", "B:", "-"),
              "42|a=1|-||spaced value|-|404 Not Found|-");
    // A missing reason must not reach into the next line; no line end yet, no message.
    std::string status;
    for (const char* head :
         {"HTTP/1.1 302   Found  \r\nLocation: /x\r\n\r\n", "HTTP/1.1 204\r\nServer: test\r\n\r\n",
          "HTTP/1.1 200 OK", "HTTP/1.1 2x0 Odd\r\n\r\n"})
        status += std::to_string(StatusCode(head)) + " " + StatusMessage(head) + "|";
    EXPECT_EQ(status, "302 Found|204 |200 |0 Odd|");
    // Selectors 1, 2, 3, and 0 outside them.
    const std::pair<std::string, const char*> ranges[] = {
        {"content-range:BYTES  100 - 199 / 200", "100 199 200 0 0"},
        {"Content-Range: bytes 3000000000-5999999999/6000000000",
         "3000000000 5999999999 6000000000 0 0"},
        {"Content-Range: bytes 5-9/*", "5 9 0 0 0"},
        {"Content-Range: bytes */1234", "0 0 0 0 0"}};
    for (const auto& [line, expected] : ranges) {
        std::string got;
        for (int32_t selector : {1, 2, 3, 0, 4})
            got += std::to_string(ContentRangeValue("206\r\n" + line + "\r\n", selector)) + " ";
        EXPECT_EQ(got, expected + std::string(" ")) << line;
    }
}

TEST(ModHttp, CookieNumericValueFilterCRLFAndExtractSubStr) {
    // Case-sensitive names, the last wins, split at the first "=", pieces without one ignored.
    const std::tuple<const char*, const char*, const char*> cookies[] = {
        {"PHPSESSID=abc", "phpsessid", "-"},
        {"a=1; a=2;a=3", "a", "3"},
        {"token=a=b=c", "token", "a=b=c"},
        {"secure; id=", "id", ""},
        {"secure; HttpOnly", "secure", "-"}};
    for (const auto& [text, name, value] : cookies)
        EXPECT_EQ(CookieValue(text, name, "-"), value) << text << " / " << name;
    std::string numbers;
    for (const char* text :
         {"  \t 17 apples", "-8", "12.7", "- 5", "9223372036854775808", "-99999999999999999999999"})
        numbers += std::to_string(NumericValue(text)) + "|";
    EXPECT_EQ(numbers, "17|-8|12|0|9223372036854775807|-9223372036854775808|");
    EXPECT_EQ(FilterCRLF("a\nb\rc\r\nd\r\r\n"), "a\r\nb\r\nc\r\nd\r\n\r\n");
    // The right delimiter follows the left one; case is ignored for ASCII only.
    const std::tuple<std::string, const char*, const char*, bool, bool, const char*> rows[] = {
        {"a[1]b[2]c", "[", "]", false, true, "2"},
        {R"(<INPUT name="AccessKey" value="k1">)", R"(name="accesskey" value=")", "\"", true, false,
         "k1"},
        {"<A>one</a><A>two</A>", "<a>", "</A>", true, true, "two"},
        {"\xC3\x84x\xC3\xA4y;", "\xC3\xA4", ";", true, false, "y"}};
    for (const auto& [data, left, right, ignoreCase, reverse, expected] : rows)
        EXPECT_EQ(ExtractSubStr(data, left, right, ignoreCase, reverse), expected)
            << data << " " << left << right;
}
