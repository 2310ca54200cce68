#pragma once
// Header block, cookie and text helpers shared by the HTTP client and the upload protocol.
// Positions are 1-based where the behaviour speaks of positions; nothing here keeps state.
#include <cstdint>
#include <string>

namespace modHTTP {

std::string HeaderValue(const std::string& header, const std::string& name,
                        const std::string& defaultValue);
int32_t StatusCode(const std::string& header);
std::string StatusMessage(const std::string& header);
// Selector 1 first byte, 2 last byte, 3 total size of a "Content-Range:" header; 0 otherwise.
int64_t ContentRangeValue(const std::string& header, int32_t selector);
std::string CookieValue(const std::string& cookies, const std::string& name,
                        const std::string& defaultValue);
// 27 hyphens and 10 lowercase hexadecimal digits, new on every call.
std::string MakeBoundary();
// Leading blanks skipped, then the longest decimal integer prefix; 0 when there is none.
int64_t NumericValue(const std::string& text);

// Every line break (CRLF, lone CR, lone LF) becomes CRLF.
std::string FilterCRLF(const std::string& data);
// The text between strLeft and the following strRight; "" when either is missing.
std::string ExtractSubStr(const std::string& strData, const std::string& strLeft,
                          const std::string& strRight, bool blnIgnoreCase = false,
                          bool blnReverse = false);

} // namespace modHTTP
