#pragma once
// Reading UTF-8 one character at a time: file names may hold any bytes, and what vostrand-upload
// prints (JSON, the terminal's progress line) must not pass broken sequences on.
#include <cstddef>
#include <string>

// The length of the well-formed UTF-8 sequence at text[at], with its code point in point; 0 when
// the bytes there are no such sequence (overlong forms and surrogates included).
inline std::size_t Utf8Sequence(const std::string& text, std::size_t at, char32_t& point) {
    const auto lead = static_cast<unsigned char>(text[at]);
    std::size_t length = 0;
    char32_t lowest = 0;
    if (lead < 0x80) {
        point = lead;
        return 1;
    }
    if ((lead & 0xE0) == 0xC0) {
        length = 2, point = lead & 0x1F, lowest = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        length = 3, point = lead & 0x0F, lowest = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        length = 4, point = lead & 0x07, lowest = 0x10000;
    } else {
        return 0;
    }
    if (at + length > text.size()) {
        return 0;
    }
    for (std::size_t k = 1; k < length; ++k) {
        const auto next = static_cast<unsigned char>(text[at + k]);
        if ((next & 0xC0) != 0x80) {
            return 0;
        }
        point = (point << 6) | (next & 0x3F);
    }
    const bool valid = point >= lowest && point <= 0x10FFFF && (point < 0xD800 || point > 0xDFFF);
    return valid ? length : 0;
}
