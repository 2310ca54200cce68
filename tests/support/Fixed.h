#pragma once
// What several suites share: a settable clock, German number format and texts.
#include "platform/Clock.h"
#include "platform/Format.h"
#include "settings/modLanguage.h"

#include <chrono>
#include <ctime>
#include <string>
#include <vector>

namespace testsupport {

class FixedClock final : public Clock {
public:
    TimePoint Now() const override { return m_Now; }
    void Set(TimePoint now) { m_Now = now; }
    void Advance(int seconds) { m_Now += std::chrono::seconds(seconds); }

private:
    TimePoint m_Now = std::chrono::system_clock::from_time_t(1'700'000'000);
};

// The instant that reads as this local date and time in the process's time zone.
inline Clock::TimePoint LocalTime(int year, int month, int day, int hour, int minute, int second) {
    std::tm local{};
    local.tm_year = year - 1900;
    local.tm_mon = month - 1;
    local.tm_mday = day;
    local.tm_hour = hour;
    local.tm_min = minute;
    local.tm_sec = second;
    local.tm_isdst = -1;
    return std::chrono::system_clock::from_time_t(std::mktime(&local));
}

inline NumberFormat GermanFormat() {
    NumberFormat format;
    format.group = ".";
    format.decimal = ",";
    return format;
}

// Status(n) reads "S<n>" so that every number can be told apart; German log labels.
inline modLanguage::TextLists GermanTexts() {
    modLanguage::TextLists texts;
    std::vector<std::string> status;
    for (int n = 1; n <= 21; ++n)
        status.push_back("S" + std::to_string(n));
    texts.SetStatusTexts(status);
    texts.SetLogFileTexts({"Datum/Uhrzeit", "Datei", "Größe", "Download-Link", "Lösch-Link"});
    return texts;
}

} // namespace testsupport
