#include "http/modUrl.h"

#include "platform/modText.h"

#include <algorithm>
#include <optional>

namespace modUrl {

namespace {
using modText::HexDigit;
using modText::Lower;

constexpr std::size_t MaxScheme = 32;
constexpr std::size_t MaxHostName = 256;
constexpr std::size_t MaxUserName = 128;
constexpr std::size_t MaxPassword = 128;
constexpr std::size_t MaxPath = 2048;
constexpr std::size_t MaxExtraInfo = 2048;

// A URL split after the generic syntax (RFC 3986 appendix B); "defined" flags tell an absent
// component from an empty one, which reference resolution depends on.
struct Components {
    std::optional<std::string> Scheme;
    std::optional<std::string> Authority;
    std::string Path;
    std::optional<std::string> Query;
    std::optional<std::string> Fragment;
};

// ASCII only: the <cctype> classes follow the process locale, which the GUI sets from the user's.
bool IsAlpha(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}
bool IsAlnum(char c) {
    return IsAlpha(c) || IsDigit(c);
}

bool IsSchemeText(const std::string& text) {
    if (text.empty() || !IsAlpha(text[0]))
        return false;
    return std::all_of(text.begin(), text.end(),
                       [](char c) { return IsAlnum(c) || c == '+' || c == '-' || c == '.'; });
}

Components Split(const std::string& url) {
    Components parts;
    std::size_t pos = 0;
    const auto colon = url.find_first_of(":/?#");
    // A text before ":" that is no valid scheme name makes the whole a relative path.
    if (colon != std::string::npos && url[colon] == ':' && IsSchemeText(url.substr(0, colon))) {
        parts.Scheme = url.substr(0, colon);
        pos = colon + 1;
    }
    if (url.compare(pos, 2, "//") == 0) {
        const auto end = url.find_first_of("/?#", pos + 2);
        const auto stop = end == std::string::npos ? url.size() : end;
        parts.Authority = url.substr(pos + 2, stop - pos - 2);
        pos = stop;
    }
    const auto pathEnd = std::min(url.find_first_of("?#", pos), url.size());
    parts.Path = url.substr(pos, pathEnd - pos);
    pos = pathEnd;
    if (pos < url.size() && url[pos] == '?') {
        const auto end = std::min(url.find('#', pos), url.size());
        parts.Query = url.substr(pos + 1, end - pos - 1);
        pos = end;
    }
    if (pos < url.size() && url[pos] == '#')
        parts.Fragment = url.substr(pos + 1);
    return parts;
}

std::string Join(const Components& parts) {
    std::string url;
    if (parts.Scheme)
        url += *parts.Scheme + ":";
    if (parts.Authority)
        url += "//" + *parts.Authority;
    // Without an authority a path starting with "//" would be read back as one ("http:/..//evil/"
    // must not name the host "evil"); "/." keeps it a path (RFC 3986 §5.2.4, §5.3).
    if (!parts.Authority && parts.Path.starts_with("//"))
        url += "/.";
    url += parts.Path;
    if (parts.Query)
        url += "?" + *parts.Query;
    if (parts.Fragment)
        url += "#" + *parts.Fragment;
    return url;
}

// RFC 3986 §5.2.4.
std::string RemoveDotSegments(std::string input) {
    std::string output;
    auto dropLastSegment = [&output] {
        const auto slash = output.rfind('/');
        output.erase(slash == std::string::npos ? 0 : slash);
    };
    while (!input.empty()) {
        if (input.starts_with("../")) {
            input.erase(0, 3);
        } else if (input.starts_with("./")) {
            input.erase(0, 2);
        } else if (input.starts_with("/./")) {
            input.erase(0, 2);
        } else if (input == "/.") {
            input = "/";
        } else if (input.starts_with("/../")) {
            input.erase(0, 3);
            dropLastSegment();
        } else if (input == "/..") {
            input = "/";
            dropLastSegment();
        } else if (input == "." || input == "..") {
            input.clear();
        } else {
            const auto next = input.find('/', input[0] == '/' ? 1 : 0);
            const auto take = next == std::string::npos ? input.size() : next;
            output.append(input, 0, take);
            input.erase(0, take);
        }
    }
    return output;
}

// RFC 3986 §5.2.3.
std::string Merge(const Components& base, const std::string& referencePath) {
    if (base.Authority && base.Path.empty())
        return "/" + referencePath;
    const auto slash = base.Path.rfind('/');
    if (slash == std::string::npos)
        return referencePath;
    return base.Path.substr(0, slash + 1) + referencePath;
}

std::string ReplaceSpaces(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        if (c == ' ')
            out += "%20";
        else
            out += c;
    }
    return out;
}

std::string Decode(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size() && HexDigit(text[i + 1]) >= 0 &&
            HexDigit(text[i + 2]) >= 0) {
            const char byte = static_cast<char>(HexDigit(text[i + 1]) * 16 + HexDigit(text[i + 2]));
            // A NUL would cut the text short wherever it meets a C string; keep it escaped.
            if (byte != '\0') {
                out += byte;
                i += 2;
                continue;
            }
        }
        out += text[i];
    }
    return out;
}

int32_t DefaultPort(const std::string& scheme) {
    const std::string lower = Lower(scheme);
    if (lower == "http")
        return 80;
    if (lower == "https")
        return 443;
    if (lower == "ftp")
        return 21;
    return 0;
}

std::string Checked(std::string url) {
    return url.size() > MaxUrlLength ? std::string() : url;
}

} // namespace

std::string CanonicalizeUrl(const std::string& url, CanonicalizeMode mode) {
    if (url.empty() || url.size() > MaxUrlLength)
        return {};
    Components parts = Split(url);
    if (!parts.Scheme)
        return {};
    // Dot segments only mean something in a hierarchical path.
    if (parts.Authority || parts.Path.starts_with("/"))
        parts.Path = RemoveDotSegments(parts.Path);
    // A server is always asked for a path: "http://host" is "http://host/".
    if (parts.Authority && parts.Path.empty())
        parts.Path = "/";
    const std::string joined = Join(parts);
    return Checked(mode == CanonicalizeMode::SpacesOnly ? ReplaceSpaces(joined) : Decode(joined));
}

std::string CombineUrl(const std::string& base, const std::string& reference) {
    if (base.size() > MaxUrlLength || reference.size() > MaxUrlLength)
        return {};
    const Components b = Split(base);
    if (!b.Scheme)
        return {};
    // Location values arrive with surrounding blanks and line ends now and then.
    const auto first = reference.find_first_not_of(" \t\r\n");
    const auto last = reference.find_last_not_of(" \t\r\n");
    const Components r = Split(
        first == std::string::npos ? std::string() : reference.substr(first, last - first + 1));

    // RFC 3986 §5.2.2, strict: a reference with a scheme is absolute.
    Components t;
    if (r.Scheme) {
        t.Scheme = r.Scheme;
        t.Authority = r.Authority;
        t.Path = RemoveDotSegments(r.Path);
        t.Query = r.Query;
    } else {
        if (r.Authority) {
            t.Authority = r.Authority;
            t.Path = RemoveDotSegments(r.Path);
            t.Query = r.Query;
        } else {
            if (r.Path.empty()) {
                t.Path = b.Path;
                t.Query = r.Query ? r.Query : b.Query;
            } else {
                if (r.Path.starts_with("/"))
                    t.Path = RemoveDotSegments(r.Path);
                else
                    t.Path = RemoveDotSegments(Merge(b, r.Path));
                t.Query = r.Query;
            }
            t.Authority = b.Authority;
        }
        t.Scheme = b.Scheme;
    }
    t.Fragment = r.Fragment;
    return CanonicalizeUrl(Join(t), CanonicalizeMode::SpacesOnly);
}

UrlParts CrackUrl(const std::string& url) {
    if (url.size() > MaxUrlLength)
        return {};
    const Components c = Split(url);
    if (!c.Scheme || !c.Authority || c.Scheme->size() > MaxScheme)
        return {};

    UrlParts parts;
    parts.Scheme = Lower(*c.Scheme);
    std::string hostPort = *c.Authority;
    const auto at = hostPort.rfind('@');
    if (at != std::string::npos) {
        const std::string userInfo = hostPort.substr(0, at);
        hostPort.erase(0, at + 1);
        const auto colon = userInfo.find(':');
        parts.UserName = userInfo.substr(0, colon);
        if (colon != std::string::npos)
            parts.Password = userInfo.substr(colon + 1);
    }

    std::string port;
    if (hostPort.starts_with("[")) { // IPv6 literal: the brackets stay with the host
        const auto close = hostPort.find(']');
        if (close == std::string::npos)
            return {};
        parts.HostName = hostPort.substr(0, close + 1);
        const std::string rest = hostPort.substr(close + 1);
        if (!rest.empty() && rest[0] != ':')
            return {};
        if (!rest.empty())
            port = rest.substr(1);
    } else {
        const auto colon = hostPort.rfind(':');
        parts.HostName = hostPort.substr(0, colon);
        if (colon != std::string::npos)
            port = hostPort.substr(colon + 1);
        // Outside brackets a colon only starts the port: "host::080" names no host.
        if (parts.HostName.find(':') != std::string::npos)
            return {};
    }
    if (parts.HostName.empty() ||
        std::any_of(parts.HostName.begin(), parts.HostName.end(),
                    [](unsigned char ch) { return ch <= ' ' || ch == 0x7f; }))
        return {};

    if (port.empty()) {
        parts.Port = DefaultPort(parts.Scheme);
    } else {
        if (port.size() > 5 || !std::all_of(port.begin(), port.end(), IsDigit))
            return {};
        parts.Port = std::stoi(port);
        if (parts.Port < 1 || parts.Port > 65535)
            return {};
    }

    parts.UrlPath = c.Path;
    if (c.Query)
        parts.ExtraInfo = "?" + *c.Query;
    if (c.Fragment)
        parts.ExtraInfo += "#" + *c.Fragment;

    if (parts.HostName.size() > MaxHostName || parts.UserName.size() > MaxUserName ||
        parts.Password.size() > MaxPassword || parts.UrlPath.size() > MaxPath ||
        parts.ExtraInfo.size() > MaxExtraInfo)
        return {};
    return parts;
}

namespace {
// True when the parts can be written so that CrackUrl reads the same parts back.
bool Writable(const UrlParts& parts) {
    const auto has = [](const std::string& text, const char* set) {
        return text.find_first_of(set) != std::string::npos;
    };
    const bool bracketed = parts.HostName.starts_with("[") && parts.HostName.ends_with("]");
    if (has(parts.HostName, "@/?#") || (!bracketed && has(parts.HostName, ":")) ||
        std::any_of(parts.HostName.begin(), parts.HostName.end(),
                    [](unsigned char ch) { return ch <= ' ' || ch == 0x7f; }))
        return false;
    // The last "@" ends the user information, so "@" may stand in a user name or password.
    if (has(parts.UserName, ":/?#") || has(parts.Password, "/?#"))
        return false;
    if (!parts.UrlPath.empty() && (parts.UrlPath[0] != '/' || has(parts.UrlPath, "?#")))
        return false;
    return parts.ExtraInfo.empty() || parts.ExtraInfo[0] == '?' || parts.ExtraInfo[0] == '#';
}

} // namespace

std::string CreateUrl(const UrlParts& parts) {
    if (!IsSchemeText(parts.Scheme) || parts.HostName.empty() || parts.Port < 0 ||
        parts.Port > 65535 || !Writable(parts))
        return {};
    std::string url = parts.Scheme + "://";
    if (!parts.UserName.empty() || !parts.Password.empty()) {
        url += parts.UserName;
        if (!parts.Password.empty())
            url += ":" + parts.Password;
        url += "@";
    }
    url += parts.HostName;
    if (parts.Port != 0 && parts.Port != DefaultPort(parts.Scheme))
        url += ":" + std::to_string(parts.Port);
    url += parts.UrlPath;
    url += parts.ExtraInfo;
    return Checked(url);
}

std::string UrlEncode(const std::string& text) {
    static constexpr char Digits[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(text.size() * 3);
    for (const char ch : text) {
        const auto byte = static_cast<unsigned char>(ch);
        if (IsAlnum(ch) || byte == '*' || byte == '-' || byte == '.' || byte == '@' ||
            byte == '_') {
            out += ch;
        } else if (byte == ' ') {
            out += '+';
        } else {
            out += '%';
            out += Digits[byte >> 4];
            out += Digits[byte & 0x0f];
        }
    }
    return out;
}

} // namespace modUrl
