#pragma once

#include "transfer/WaitClock.h"

#include <chrono>
#include <vector>

namespace velomire::testing {

// A clock that never sleeps: SleepUntil moves its time forward at once and remembers the step,
// so tests can assert how long the code waited.
class FakeWaitClock : public transfer::WaitClock {
public:
    TimePoint Now() override { return now; }
    void SleepUntil(TimePoint when) override {
        if (when > now) {
            sleeps.push_back(std::chrono::duration_cast<std::chrono::microseconds>(when - now));
            now = when;
        }
    }

    // Time slept since construction (or since the last Reset).
    std::chrono::microseconds Elapsed() const {
        return std::chrono::duration_cast<std::chrono::microseconds>(now - start);
    }
    void Reset() {
        start = now;
        sleeps.clear();
    }

    TimePoint start{};
    TimePoint now{};
    std::vector<std::chrono::microseconds> sleeps;
};

} // namespace velomire::testing
