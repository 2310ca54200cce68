#pragma once
// URL functions: reference resolution after RFC 3986 §5.2 and the canonical forms the client
// relies on. Every function gives "" (or an empty record) on failure.
#include <cstdint>
#include <string>

struct UrlParts {
    std::string Scheme;
    std::string UserName;
    std::string Password;
    std::string HostName;
    int32_t Port = 0;
    std::string UrlPath;   // begins with "/" when present
    std::string ExtraInfo; // query and fragment with the leading "?" or "#"

    bool operator==(const UrlParts&) const = default;
};

namespace modUrl {

constexpr std::size_t MaxUrlLength = 2083;

enum class CanonicalizeMode {
    SpacesOnly, // dot segments resolved, spaces written as %20, everything else kept
    Decode,     // escape sequences decoded, nothing encoded
};

std::string CanonicalizeUrl(const std::string& url, CanonicalizeMode mode);
std::string CombineUrl(const std::string& base, const std::string& reference);
UrlParts CrackUrl(const std::string& url);
std::string CreateUrl(const UrlParts& parts);
// Form-value encoding: alphanumerics and "*-.@_" kept, space as "+", everything else %XX.
std::string UrlEncode(const std::string& text);

} // namespace modUrl
