// The header and text helpers. Input: a choice byte, two marker pieces, then a header block.
// Checks what each helper promises: trimmed values taken from the block, status codes of three
// digits, line breaks all CRLF and stable, cut texts found between their markers.
#include "FuzzInput.h"
#include "http/modHTTP.h"

#include <cstdint>
#include <string>

namespace {

bool Trimmed(const std::string& text) {
    return text.empty() || (text.front() != ' ' && text.front() != '\t' && text.back() != ' ' &&
                            text.back() != '\t');
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    FuzzInput in(data, size);
    const uint8_t choice = in.Byte();
    const std::string left = in.Piece();
    const std::string right = in.Piece();
    const std::string header = in.Rest();

    const std::string value = modHTTP::HeaderValue(header, left, "\x01");
    if (value != "\x01") {
        FUZZ_CHECK(Trimmed(value));
        FUZZ_CHECK(header.find(value) != std::string::npos);
        FUZZ_CHECK(value.find("\r\n") == std::string::npos);
    }

    const int32_t code = modHTTP::StatusCode(header);
    FUZZ_CHECK(code >= 0 && code <= 999);
    if (code != 0)
        FUZZ_CHECK(header.size() >= 12 && header[9] >= '0' && header[9] <= '9');
    const std::string message = modHTTP::StatusMessage(header);
    FUZZ_CHECK(Trimmed(message));
    FUZZ_CHECK(message.find("\r\n") == std::string::npos);

    for (int32_t selector = 0; selector <= 4; ++selector)
        (void)modHTTP::ContentRangeValue(header, selector);

    const std::string cookie = modHTTP::CookieValue(header, left, "\x01");
    FUZZ_CHECK(cookie == "\x01" || header.find(cookie) != std::string::npos);
    FUZZ_CHECK(cookie == "\x01" || cookie.find(';') == std::string::npos);

    const int64_t number = modHTTP::NumericValue(header);
    if (number != 0 && number != INT64_MAX && number != INT64_MIN)
        FUZZ_CHECK(header.find(std::to_string(number < 0 ? -number : number)) != std::string::npos);

    const std::string lines = modHTTP::FilterCRLF(header);
    FUZZ_CHECK(modHTTP::FilterCRLF(lines) == lines);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (lines[i] == '\r')
            FUZZ_CHECK(i + 1 < lines.size() && lines[i + 1] == '\n');
        if (lines[i] == '\n')
            FUZZ_CHECK(i > 0 && lines[i - 1] == '\r');
    }

    const bool ignoreCase = choice & 1;
    const bool reverse = choice & 2;
    const std::string cut = modHTTP::ExtractSubStr(header, left, right, ignoreCase, reverse);
    if (!cut.empty()) {
        FUZZ_CHECK(header.find(cut) != std::string::npos);
        // Without letter case folding the cut stands between its markers in the text.
        if (!ignoreCase && !left.empty() && !right.empty())
            FUZZ_CHECK(header.find(left + cut + right) != std::string::npos);
    }
    const std::string boundary = modHTTP::MakeBoundary();
    FUZZ_CHECK(boundary.size() == 37 && boundary.compare(0, 27, std::string(27, '-')) == 0);
    return 0;
}
