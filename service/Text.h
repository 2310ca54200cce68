// Small text helpers of the service: escaping for HTML, URLs, headers and the index file, cookie
// parsing and random identifiers. Plain functions over std::string, safe to call from any thread.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>

namespace service {

// Lower-case hexadecimal text of `lngBytes` random bytes from the system's random source.
std::string RandomHex(int32_t lngBytes);

// Escapes the five characters that carry meaning in HTML text and attribute values.
std::string HtmlEscape(std::string_view strText);

// Percent-encodes every byte outside RFC 3986 "unreserved" (letters, digits, "-._~").
std::string PercentEncode(std::string_view strText);
// Undoes PercentEncode; a "%" not followed by two hex digits stays as it is.
std::string PercentDecode(std::string_view strText);

// The cookies of a "Cookie" header ("a=1; b=2"), names as sent; empty values are kept.
std::map<std::string, std::string> ParseCookies(std::string_view strHeader);

// The last path component of a client file name: browsers and our client may send a whole local
// path, with "/" or "\" separators. Control characters are dropped; never empty ("file").
std::string BaseFileName(std::string_view strFileName);

// A Content-Disposition value naming `strFileName` safely: an ASCII fallback plus the RFC 6266
// filename*=UTF-8'' form.
std::string AttachmentDisposition(std::string_view strFileName);

// A content type as the client declared it when it looks like "type/subtype" (optionally with
// parameters of safe characters), else "application/octet-stream".
std::string SafeContentType(std::string_view strType);

// True when `strHost` is usable as the authority of our own links (host name, IPv4, [IPv6], with
// an optional port) and cannot break out of an HTML attribute or a header.
bool IsSafeHost(std::string_view strHost);

// Constant-time comparison for secrets.
bool SecretEquals(std::string_view a, std::string_view b);

} // namespace service
