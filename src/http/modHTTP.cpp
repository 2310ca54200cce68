#include "http/modHTTP.h"

#include "platform/modText.h"

#include <chrono>
#include <limits>
#include <random>

namespace modHTTP {

namespace {
using modText::Lower;
using modText::LowerAscii;
using modText::ReplaceAll;
using modText::Trim;

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

bool EqualAt(const std::string& text, std::size_t pos, const std::string& what, bool ignoreCase) {
    for (std::size_t i = 0; i < what.size(); ++i) {
        const char a = text[pos + i];
        const char b = what[i];
        if (ignoreCase ? LowerAscii(a) != LowerAscii(b) : a != b)
            return false;
    }
    return true;
}

// Index of the first (or, reverse, the last) occurrence of what in text at or after from;
// npos when there is none.
std::size_t Find(const std::string& text, const std::string& what, std::size_t from,
                 bool ignoreCase, bool reverse) {
    if (what.size() > text.size() || from > text.size() - what.size())
        return std::string::npos;
    const std::size_t lastStart = text.size() - what.size();
    if (reverse) {
        for (std::size_t pos = lastStart + 1; pos-- > from;)
            if (EqualAt(text, pos, what, ignoreCase))
                return pos;
        return std::string::npos;
    }
    for (std::size_t pos = from; pos <= lastStart; ++pos)
        if (EqualAt(text, pos, what, ignoreCase))
            return pos;
    return std::string::npos;
}

std::mt19937& Generator() {
    // Seeded once per process; the clock is mixed in so two starts in the same instant differ
    // even where random_device is deterministic.
    static std::mt19937 generator = [] {
        std::random_device device;
        std::seed_seq seed{
            device(), device(),
            static_cast<unsigned>(
                std::chrono::high_resolution_clock::now().time_since_epoch().count()),
            static_cast<unsigned>(
                std::chrono::high_resolution_clock::now().time_since_epoch().count() >> 32)};
        return std::mt19937(seed);
    }();
    return generator;
}

} // namespace

std::string HeaderValue(const std::string& header, const std::string& name,
                        const std::string& defaultValue) {
    std::size_t start = 0;
    while (start <= header.size()) {
        auto end = header.find("\r\n", start);
        if (end == std::string::npos)
            end = header.size();
        const std::size_t length = end - start;
        // A continuation line (leading space) never matches.
        if (length >= name.size() && (length == 0 || header[start] != ' ') &&
            EqualAt(header, start, name, true))
            return Trim(header.substr(start + name.size(), length - name.size()));
        start = end + 2;
    }
    return defaultValue;
}

int32_t StatusCode(const std::string& header) {
    if (header.size() < 12 || !IsDigit(header[9]) || !IsDigit(header[10]) || !IsDigit(header[11]))
        return 0;
    return (header[9] - '0') * 100 + (header[10] - '0') * 10 + (header[11] - '0');
}

std::string StatusMessage(const std::string& header) {
    // Only the status line holds the message: a line "HTTP/1.1 200" without one must not borrow
    // text from the header lines after it.
    const auto end = header.find("\r\n");
    if (end == std::string::npos || end <= 13)
        return {};
    return Trim(header.substr(13, end - 13));
}

int64_t ContentRangeValue(const std::string& header, int32_t selector) {
    std::string value = Lower(Trim(HeaderValue(header, "content-range:", "")));
    if (value.empty())
        return 0;
    if (value.starts_with("bytes"))
        value = Trim(value.substr(5));
    int64_t first = 0;
    int64_t last = 0;
    int64_t total = 0;
    const auto dash = value.find('-');
    if (dash != std::string::npos) {
        first = NumericValue(Trim(value.substr(0, dash)));
        const std::string rest = Trim(value.substr(dash + 1));
        const auto slash = rest.find('/');
        if (slash != std::string::npos) {
            last = NumericValue(Trim(rest.substr(0, slash)));
            total = NumericValue(Trim(rest.substr(slash + 1)));
        }
    }
    switch (selector) {
    case 1:
        return first;
    case 2:
        return last;
    case 3:
        return total;
    default:
        return 0;
    }
}

std::string CookieValue(const std::string& cookies, const std::string& name,
                        const std::string& defaultValue) {
    std::string result = defaultValue;
    std::size_t start = 0;
    while (start <= cookies.size()) {
        auto end = cookies.find(';', start);
        if (end == std::string::npos)
            end = cookies.size();
        const std::string piece = Trim(cookies.substr(start, end - start));
        const auto equals = piece.find('=');
        if (equals != std::string::npos && piece.compare(0, equals, name) == 0 &&
            equals == name.size())
            result = piece.substr(equals + 1);
        start = end + 1;
    }
    return result;
}

std::string MakeBoundary() {
    static constexpr char Digits[] = "0123456789abcdef";
    std::uniform_int_distribution<int> byte(0, 255);
    std::string boundary(27, '-');
    for (int i = 0; i < 5; ++i) {
        const int value = byte(Generator());
        boundary += Digits[value >> 4];
        boundary += Digits[value & 0x0f];
    }
    return boundary;
}

int64_t NumericValue(const std::string& text) {
    std::size_t pos = text.find_first_not_of(" \t");
    if (pos == std::string::npos)
        return 0;
    bool negative = false;
    if (text[pos] == '+' || text[pos] == '-') {
        negative = text[pos] == '-';
        ++pos;
    }
    // Accumulated as a negative number, whose range includes the smallest int64_t.
    constexpr int64_t Min = std::numeric_limits<int64_t>::min();
    int64_t value = 0;
    for (; pos < text.size() && IsDigit(text[pos]); ++pos) {
        const int digit = text[pos] - '0';
        if (value < (Min + digit) / 10) {
            value = Min;
            break;
        }
        value = value * 10 - digit;
    }
    if (negative)
        return value;
    return value == Min ? std::numeric_limits<int64_t>::max() : -value;
}

std::string FilterCRLF(const std::string& data) {
    return ReplaceAll(ReplaceAll(ReplaceAll(data, "\r\n", "\n"), "\r", "\n"), "\n", "\r\n");
}

std::string ExtractSubStr(const std::string& strData, const std::string& strLeft,
                          const std::string& strRight, bool blnIgnoreCase, bool blnReverse) {
    const auto left = Find(strData, strLeft, 0, blnIgnoreCase, blnReverse);
    if (left == std::string::npos)
        return {};
    const auto begin = left + strLeft.size();
    const auto right = Find(strData, strRight, begin, blnIgnoreCase, false);
    if (right == std::string::npos)
        return {};
    return strData.substr(begin, right - begin);
}

} // namespace modHTTP
