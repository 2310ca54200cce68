#include "platform/Clock.h"

namespace {
class SystemClock final : public Clock {
public:
    TimePoint Now() const override { return std::chrono::system_clock::now(); }
};
} // namespace

const Clock& Clock::System() {
    static const SystemClock clock;
    return clock;
}
