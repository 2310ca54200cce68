#pragma once
// The pause before a further run over the files that failed: 2 s, 4 s, 8 s … doubling per
// attempt, but never more than a minute, so that many retries do not wait for days.
#include <cstdint>

constexpr int32_t MaxRetryDelaySeconds = 60;

constexpr int32_t RetryDelaySeconds(int32_t attempt) {
    if (attempt < 1) {
        return 1;
    }
    return attempt >= 6 ? MaxRetryDelaySeconds : 1 << attempt;
}
