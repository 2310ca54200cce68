#include "Text.h"

#include <array>
#include <random>

namespace service {

namespace {

bool IsUnreserved(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '.' || c == '_' || c == '~';
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) {
        s.remove_prefix(1);
    }
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) {
        s.remove_suffix(1);
    }
    return s;
}

} // namespace

std::string RandomHex(int32_t lngBytes) {
    static constexpr char kDigits[] = "0123456789abcdef";
    // std::random_device reads the kernel's random source on Linux; one per call keeps this
    // thread-safe without a lock.
    std::random_device device;
    std::string result;
    result.reserve(static_cast<size_t>(lngBytes) * 2);
    uint32_t bits = 0;
    for (int32_t i = 0; i < lngBytes; ++i) {
        if (i % 4 == 0) {
            bits = device();
        }
        const unsigned byte = bits & 0xFFu;
        bits >>= 8;
        result += kDigits[byte >> 4];
        result += kDigits[byte & 0xFu];
    }
    return result;
}

std::string HtmlEscape(std::string_view strText) {
    std::string result;
    result.reserve(strText.size());
    for (char c : strText) {
        switch (c) {
        case '&':
            result += "&amp;";
            break;
        case '<':
            result += "&lt;";
            break;
        case '>':
            result += "&gt;";
            break;
        case '"':
            result += "&quot;";
            break;
        case '\'':
            result += "&#39;";
            break;
        default:
            result += c;
        }
    }
    return result;
}

std::string PercentEncode(std::string_view strText) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string result;
    result.reserve(strText.size());
    for (char ch : strText) {
        const auto c = static_cast<unsigned char>(ch);
        if (IsUnreserved(c)) {
            result += ch;
        } else {
            result += '%';
            result += kDigits[c >> 4];
            result += kDigits[c & 0xFu];
        }
    }
    return result;
}

std::string PercentDecode(std::string_view strText) {
    std::string result;
    result.reserve(strText.size());
    for (size_t i = 0; i < strText.size(); ++i) {
        if (strText[i] == '%' && i + 2 < strText.size()) {
            const int hi = HexValue(strText[i + 1]);
            const int lo = HexValue(strText[i + 2]);
            if (hi >= 0 && lo >= 0) {
                result += static_cast<char>(hi * 16 + lo);
                i += 2;
                continue;
            }
        }
        result += strText[i];
    }
    return result;
}

std::map<std::string, std::string> ParseCookies(std::string_view strHeader) {
    std::map<std::string, std::string> cookies;
    while (!strHeader.empty()) {
        const size_t end = strHeader.find(';');
        const std::string_view pair = Trim(strHeader.substr(0, end));
        strHeader = end == std::string_view::npos ? std::string_view{} : strHeader.substr(end + 1);
        const size_t eq = pair.find('=');
        if (eq == std::string_view::npos || eq == 0) {
            continue;
        }
        const std::string name(Trim(pair.substr(0, eq)));
        // The first occurrence wins, as in browsers' ordering of the more specific cookie.
        cookies.emplace(name, std::string(Trim(pair.substr(eq + 1))));
    }
    return cookies;
}

std::string BaseFileName(std::string_view strFileName) {
    const size_t cut = strFileName.find_last_of("/\\");
    if (cut != std::string_view::npos) {
        strFileName = strFileName.substr(cut + 1);
    }
    std::string result;
    for (char ch : strFileName) {
        const auto c = static_cast<unsigned char>(ch);
        if (c >= 0x20 && c != 0x7F) {
            result += ch;
        }
    }
    if (result.empty() || result == "." || result == "..") {
        return "file";
    }
    return result;
}

std::string AttachmentDisposition(std::string_view strFileName) {
    std::string fallback;
    for (char ch : strFileName) {
        const auto c = static_cast<unsigned char>(ch);
        fallback += (c < 0x20 || c >= 0x7F || c == '"' || c == '\\' || c == '%') ? '_' : ch;
    }
    return "attachment; filename=\"" + fallback + "\"; filename*=UTF-8''" +
           PercentEncode(strFileName);
}

std::string SafeContentType(std::string_view strType) {
    strType = Trim(strType);
    const size_t slash = strType.find('/');
    bool ok = !strType.empty() && strType.size() <= 200 && slash != std::string_view::npos &&
              slash > 0 && slash + 1 < strType.size();
    for (char ch : strType) {
        const auto c = static_cast<unsigned char>(ch);
        if (!(IsUnreserved(c) || c == '/' || c == '+' || c == ';' || c == '=' || c == ' ')) {
            ok = false;
        }
    }
    return ok ? std::string(strType) : std::string("application/octet-stream");
}

bool IsSafeHost(std::string_view strHost) {
    if (strHost.empty() || strHost.size() > 255) {
        return false;
    }
    for (char ch : strHost) {
        const auto c = static_cast<unsigned char>(ch);
        const bool ok = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                        (c >= '0' && c <= '9') || c == '-' || c == '.' || c == ':' || c == '[' ||
                        c == ']' || c == '_';
        if (!ok) {
            return false;
        }
    }
    return true;
}

bool SecretEquals(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    unsigned char diff = 0;
    for (size_t i = 0; i < a.size(); ++i) {
        diff |= static_cast<unsigned char>(a[i] ^ b[i]);
    }
    return diff == 0;
}

} // namespace service
