#pragma once
// The wall clock, injected so that tests can set the time that stamps, durations and log entries
// read. The system clock is the default everywhere.
#include <chrono>

class Clock {
public:
    using TimePoint = std::chrono::system_clock::time_point;
    virtual ~Clock() = default;
    virtual TimePoint Now() const = 0;

    // The process-wide system clock; lives for the whole run.
    static const Clock& System();
};
