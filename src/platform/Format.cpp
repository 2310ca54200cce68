#include "platform/Format.h"

#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <langinfo.h>
#include <locale.h>

namespace {

// Single-byte locales (de_DE in ISO-8859-1) hand out separators such as 0xA0; the program speaks
// UTF-8, so such a byte is widened to its code point.
std::string ToUtf8(const char* text) {
    std::string out;
    if (text == nullptr) {
        return out;
    }
    std::string s(text);
    bool ascii = true;
    for (unsigned char c : s) {
        ascii = ascii && c < 0x80;
    }
    if (ascii || s.size() != 1) {
        return s;
    }
    unsigned char c = static_cast<unsigned char>(s[0]);
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
    return out;
}

// Groups a run of decimal digits in threes from the right.
std::string GroupDigits(const std::string& digits, const std::string& group) {
    std::string out;
    const size_t n = digits.size();
    for (size_t i = 0; i < n; ++i) {
        out += digits[i];
        const size_t left = n - i - 1;
        if (left > 0 && left % 3 == 0) {
            out += group;
        }
    }
    return out;
}

// The decimal digits of |value| rounded half away from zero to `decimals` places, split into the
// whole part and the fraction. Rounding works on the 15 significant digits the user sees, so
// 2.675 gives 2.68 and 0.005 gives 0.01, whatever the binary value underneath.
void RoundDecimal(double value, int decimals, std::string& whole, std::string& fraction) {
    double magnitude = std::fabs(value);
    if (!std::isfinite(magnitude)) {
        magnitude = 0;
    }
    if (magnitude >= 1e15) {
        char buf[400];
        std::snprintf(buf, sizeof buf, "%.*f", decimals, magnitude);
        std::string s(buf);
        const size_t dot = s.find('.');
        whole = s.substr(0, dot);
        fraction = dot == std::string::npos ? std::string() : s.substr(dot + 1);
        return;
    }
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.14e", magnitude);
    // buf: d.dddddddddddddde[+-]xx
    std::string mantissa;
    const char* p = buf;
    for (; *p != 'e'; ++p) {
        if (*p != '.') {
            mantissa += *p;
        }
    }
    const int exponent = std::atoi(p + 1);
    // Digits as an integer with the decimal point after `pointPos` digits.
    int pointPos = exponent + 1;
    if (pointPos < 0) {
        mantissa.insert(0, static_cast<size_t>(-pointPos), '0');
        pointPos = 0;
    }
    const int keep = pointPos + decimals; // digits kept
    if (static_cast<int>(mantissa.size()) < keep) {
        mantissa.append(static_cast<size_t>(keep) - mantissa.size(), '0');
    }
    bool roundUp = static_cast<int>(mantissa.size()) > keep && mantissa[keep] >= '5';
    std::string digits = mantissa.substr(0, static_cast<size_t>(keep));
    if (roundUp) {
        int i = keep - 1;
        for (; i >= 0; --i) {
            if (digits[i] == '9') {
                digits[i] = '0';
            } else {
                ++digits[i];
                break;
            }
        }
        if (i < 0) {
            digits.insert(0, "1");
            ++pointPos;
        }
    }
    whole = digits.substr(0, static_cast<size_t>(pointPos));
    fraction = digits.substr(static_cast<size_t>(pointPos));
    size_t firstNonZero = whole.find_first_not_of('0');
    whole = firstNonZero == std::string::npos ? "0" : whole.substr(firstNonZero);
}

std::string FormatPattern(double value, int decimals, const NumberFormat& format) {
    std::string whole, fraction;
    RoundDecimal(value, decimals, whole, fraction);
    const bool zero = whole == "0" && fraction.find_first_not_of('0') == std::string::npos;
    std::string out = (value < 0 && !zero) ? "-" : "";
    out += GroupDigits(whole, format.group);
    if (decimals > 0) {
        out += format.decimal;
        out += fraction;
    }
    return out;
}

} // namespace

NumberFormat NumberFormat::FromLocale() {
    NumberFormat format;
    // A private locale object: the process-wide locale stays "C", so no other code (number
    // parsing in the HTTP client, the INI store) changes behaviour.
    locale_t loc = newlocale(LC_NUMERIC_MASK, "", static_cast<locale_t>(nullptr));
    if (loc == static_cast<locale_t>(nullptr)) {
        return format;
    }
    const std::string decimal = ToUtf8(nl_langinfo_l(RADIXCHAR, loc));
    const std::string group = ToUtf8(nl_langinfo_l(THOUSEP, loc));
    freelocale(loc);
    if (!decimal.empty()) {
        format.decimal = decimal;
    }
    if (!group.empty() && group != format.decimal) {
        format.group = group;
    } else {
        format.group = format.decimal == "," ? "." : ",";
    }
    return format;
}

std::string FormatInteger(double value, const NumberFormat& format) {
    return FormatPattern(value, 0, format);
}

std::string FormatFixed2(double value, const NumberFormat& format) {
    return FormatPattern(value, 2, format);
}

std::string FormatSizeKB(int64_t bytes, const NumberFormat& format) {
    int64_t kb = bytes / 1024;
    if (bytes % 1024 > 0) {
        ++kb;
    }
    std::string digits = std::to_string(kb < 0 ? -kb : kb);
    return (kb < 0 ? "-" : "") + GroupDigits(digits, format.group) + " KB";
}

std::string FormatDuration(double seconds) {
    // A negative or undefined duration (a clock set back) shows as zero rather than as "-1:-1:-1".
    if (!std::isfinite(seconds) || seconds < 0) {
        seconds = 0;
    }
    if (seconds > 1e15) {
        seconds = 1e15;
    }
    const auto total = static_cast<int64_t>(std::nearbyint(seconds));
    char buf[64];
    std::snprintf(buf, sizeof buf, "%02lld:%02lld:%02lld", static_cast<long long>(total / 3600),
                  static_cast<long long>((total / 60) % 60), static_cast<long long>(total % 60));
    return buf;
}
