#pragma once
// Number, size and duration texts shown to the user.
#include <cstdint>
#include <string>

// The group and decimal separators of the user's locale. Read once at start with FromLocale();
// tests construct it directly (German: "." and ",").
struct NumberFormat {
    std::string group = ",";
    std::string decimal = ".";

    static NumberFormat FromLocale();
};

// The pattern "###,###,###,##0": rounded to a whole number, digits grouped by three.
std::string FormatInteger(double value, const NumberFormat& format);
// The pattern "###,###,###,##0.00".
std::string FormatFixed2(double value, const NumberFormat& format);
// Whole KB of 1 024 bytes, rounded up, grouped, followed by " KB".
std::string FormatSizeKB(int64_t bytes, const NumberFormat& format);
// "hh:mm:ss" of the nearest whole second; hours above 99 show all their digits.
std::string FormatDuration(double seconds);
