#pragma once
// Small byte-string helpers shared by the HTTP client, the INI store and the upload engine.
// Letter case folds for ASCII letters only, so names compare the same under every locale.
#include <cstddef>
#include <string>

namespace modText {

char LowerAscii(char c);
std::string Lower(std::string text);
bool EqualNoCase(const std::string& a, const std::string& b);
// Without the given characters at both ends (blanks and tabs unless told otherwise).
std::string Trim(const std::string& text, const char* characters = " \t");
std::string ReplaceAll(std::string text, const std::string& from, const std::string& to);
// The value of a hexadecimal digit, -1 for any other character.
int HexDigit(char c);
// The text up to its first maxCharacters characters (UTF-8: continuation bytes stay with their
// character). The service keeps 60 characters of a value; the window cuts to that, the command
// line refuses a longer value.
std::string CutCharacters(const std::string& text, std::size_t maxCharacters);

} // namespace modText
