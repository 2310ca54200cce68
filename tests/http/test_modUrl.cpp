#include "http/modUrl.h"

#include <gtest/gtest.h>

#include <tuple>
#include <vector>

using namespace modUrl;

namespace {

// "scheme|user|password|host|port|path|extra", or "" for the empty record.
std::string Parts(const UrlParts& p) {
    return p == UrlParts{} ? ""
                           : p.Scheme + "|" + p.UserName + "|" + p.Password + "|" + p.HostName +
                                 "|" + std::to_string(p.Port) + "|" + p.UrlPath + "|" + p.ExtraInfo;
}

std::string X(std::size_t n, char c = 'x') {
    return std::string(n, c);
}

} // namespace

// Rows: base, reference, result. RFC 3986 §5.4's examples, but "//g" gives "http://g/"; the base's
// fragment is never inherited.
TEST(ModUrl, CombineUrlResolvesReferencesAndRedirectLocations) {
    const std::string b = "http://a/b/c/d;p?q", a = "http://a/", c = "http://a/b/c/",
                      h = "http://127.0.0.1:8931/", f = h + "u/i?x=1#f",
                      fits = X(MaxUrlLength - h.size() - 7);
    const std::vector<std::tuple<std::string, std::string, std::string>> rows = {
        {b, "g", c + "g"},
        {b, "/g", a + "g"},
        {b, "//g", "http://g/"},
        {b, "?y", c + "d;p?y"},
        {b, "..", a + "b/"},
        {b, "../../../../g", a + "g"},
        {b, "g/../h", c + "h"},
        {b, "g?y/../x", c + "g?y/../x"},
        {f, "/files/a b.txt", h + "files/a%20b.txt"},
        {f, "  /trimmed \r\n", h + "trimmed"},
        {f, "?q", h + "u/i?q"},
        {h + "upload/i", fits, h + "upload/" + fits},
        {h + "upload/i", fits + "x", ""},
        {"", "g", ""}};
    for (const auto& [base, reference, result] : rows)
        EXPECT_EQ(CombineUrl(base, reference), result) << base << " + " << reference;
}

// Rows: input, SpacesOnly result, Decode result. Dot segments are resolved first, broken escapes
// stay, and a path left starting with "//" must not become an authority.
TEST(ModUrl, CanonicalizeUrlResolvesDotSegmentsThenEncodesSpacesOrDecodesEscapes) {
    const std::string fits = "http://h/" + X(MaxUrlLength - 9),
                      spaced = fits.substr(0, fits.size() - 1) + " ";
    const std::vector<std::tuple<std::string, std::string, std::string>> rows = {
        {"http://host/a b/./c/../d?x y#z", "http://host/a%20b/d?x%20y#z",
         "http://host/a b/d?x y#z"},
        {"http://host/%41%zz/ä~\"<>?q=%20", "http://host/%41%zz/ä~\"<>?q=%20",
         "http://host/A%zz/ä~\"<>?q= "},
        {"http:/a/..//evil/x", "http:/.//evil/x", "http:/.//evil/x"},
        {"http://host/a/%2e%2e/b", "http://host/a/%2e%2e/b", "http://host/a/../b"},
        {spaced, "", spaced},
        {fits + "x", "", ""}};
    for (const auto& [input, spaces, decoded] : rows)
        EXPECT_EQ(CanonicalizeUrl(input, CanonicalizeMode::SpacesOnly) + " | " +
                      CanonicalizeUrl(input, CanonicalizeMode::Decode),
                  spaces + " | " + decoded);
}

TEST(ModUrl, CrackUrlSplitsFillsDefaultPortsOrFails) {
    std::vector<std::pair<std::string, std::string>> rows = {
        {"http://host/path/f.php?a=1#top", "http|||host|80|/path/f.php|?a=1#top"},
        {"https://host/", "https|||host|443|/|"},
        {"HTTP://Host:8080", "http|||Host|8080||"},
        {"http://user:pa:ss@host:81/x", "http|user|pa:ss|host|81|/x|"},
        {"http://a@b@host:/", "http|a@b||host|80|/|"},
        {"http://[::1]:8931/", "http|||[::1]|8931|/|"},
        {X(32) + "://h/", X(32) + "|||h|0|/|"}};
    for (const std::string& url :
         {"http://" + X(257) + "/", "http://h/" + X(2048), "http://h/?" + X(2048),
          "http://" + X(129) + "@h/", "http://u:" + X(129) + "@h/", X(33) + "://h/"})
        rows.emplace_back(url, "");
    for (const char* url :
         {"", "x://", "://host/", "http://", "http:///path", "http://user@/", "http:host/x",
          "host/path", "http://host:0/", "http://host:65536/", "http://host:99999999999/",
          "http://host:-1/", "http://host:8a/", "http://ho st/", "http://[::1/", "http://[::1]x/",
          "http://host::080/", "http://::1/", "http:/.//evil/"})
        rows.emplace_back(url, "");
    for (const auto& [url, parts] : rows)
        EXPECT_EQ(Parts(CrackUrl(url)), parts) << url;
}

TEST(ModUrl, CreateUrlComposesLeavingOutTheDefaultPortOrFails) {
    for (const char* url :
         {"http://host/path?a=1#f", "https://host/", "http://u:s@host:8080/x", "http://user@host/",
          "https://host:80/", "http://[::1]:8931/a", "http://a@b:c@d@host/"})
        EXPECT_EQ(CreateUrl(CrackUrl(url)), url);
    using P = UrlParts;
    const std::vector<std::pair<UrlParts, std::string>> rows = {
        {CrackUrl("http://host:80/x"), "http://host/x"},
        {P{"http", "", "", "host", 0, "/r/", ""}, "http://host/r/"}, // port 0: none given

        // Parts that would be read back as other parts are not written.
        {P{"http", "", "", "host:", 80, "/", ""}, ""},
        {P{"http", "u:v", "", "h", 80, "/", ""}, ""},
        {P{"http", "", "", "h", 70000, "/", ""}, ""}};
    for (const auto& [parts, url] : rows)
        EXPECT_EQ(CreateUrl(parts), url) << Parts(parts);
}

TEST(ModUrl, UrlEncodeKeepsTheSafeSetAndEscapesEveryOtherByte) {
    EXPECT_EQ(UrlEncode("a b&c|AZaz09*-.@_|~+%=/?#|\r\n\t|\xC3\xA4\xFF|" + std::string(1, '\0')),
              "a+b%26c%7CAZaz09*-.@_%7C%7E%2B%25%3D%2F%3F%23%7C%0D%0A%09%7C%C3%A4%FF%7C%00");
}
