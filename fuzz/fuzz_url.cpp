// The URL functions. Input: a URL, then after the first line break a reference to resolve
// against it. Checks that canonical forms are fixed points, that a canonical form names a host
// only where the URL did, and that parts written back and split again are the same parts.
#include "FuzzInput.h"
#include "http/modUrl.h"

#include <string>

namespace {

using modUrl::CanonicalizeMode;

// The URL has an authority: "//" right after the scheme's colon.
bool NamesAHost(const std::string& url) {
    const auto colon = url.find_first_of(":/?#");
    return colon != std::string::npos && url[colon] == ':' && url.compare(colon + 1, 2, "//") == 0;
}

void CheckCanonical(const std::string& url) {
    for (const auto mode : {CanonicalizeMode::SpacesOnly, CanonicalizeMode::Decode}) {
        const std::string canonical = modUrl::CanonicalizeUrl(url, mode);
        if (canonical.empty())
            continue;
        FUZZ_CHECK(canonical.size() <= modUrl::MaxUrlLength);
        if (mode == CanonicalizeMode::SpacesOnly) {
            FUZZ_CHECK(canonical.find(' ') == std::string::npos);
            FUZZ_CHECK(modUrl::CanonicalizeUrl(canonical, mode) == canonical);
            // Resolving dot segments never turns a path into a host ("http:/..//evil/").
            FUZZ_CHECK(NamesAHost(canonical) == NamesAHost(url));
        }
    }
}

void CheckParts(const std::string& url) {
    const UrlParts parts = modUrl::CrackUrl(url);
    if (parts.HostName.empty()) {
        FUZZ_CHECK(parts == UrlParts{});
        return;
    }
    FUZZ_CHECK(NamesAHost(url));
    FUZZ_CHECK(parts.Port >= 0 && parts.Port <= 65535);
    FUZZ_CHECK(parts.UrlPath.empty() || parts.UrlPath[0] == '/');
    const std::string built = modUrl::CreateUrl(parts);
    FUZZ_CHECK(!built.empty());
    UrlParts again = modUrl::CrackUrl(built);
    FUZZ_CHECK(again == parts);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    const auto newline = input.find('\n');
    const std::string url = input.substr(0, newline);
    CheckCanonical(url);
    CheckParts(url);
    CheckParts(modUrl::CanonicalizeUrl(url, CanonicalizeMode::SpacesOnly));
    if (newline != std::string::npos) {
        const std::string combined = modUrl::CombineUrl(url, input.substr(newline + 1));
        if (!combined.empty()) {
            FUZZ_CHECK(modUrl::CanonicalizeUrl(combined, CanonicalizeMode::SpacesOnly) == combined);
            CheckParts(combined);
        }
    }
    const std::string encoded = modUrl::UrlEncode(url);
    for (const char c : encoded) {
        const bool safe = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') ||
                          (c >= '0' && c <= '9') ||
                          std::string("*-.@_+%").find(c) != std::string::npos;
        FUZZ_CHECK(safe);
    }
    return 0;
}
