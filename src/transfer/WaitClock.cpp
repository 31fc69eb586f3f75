#include "transfer/WaitClock.h"

#include <algorithm>
#include <thread>

namespace velomire::transfer {

namespace {

// The longest single sleep of a wait, so the idle hook runs often enough for a user interface
// to keep painting (20 ms is about one frame at 50 Hz).
constexpr std::chrono::milliseconds maxSlice{20};

} // namespace

WaitClock::TimePoint SteadyWaitClock::Now() {
    return std::chrono::steady_clock::now();
}

void SteadyWaitClock::SleepUntil(TimePoint when) {
    std::this_thread::sleep_until(when);
}

bool SleepFor(WaitClock& clock, std::chrono::microseconds duration,
              const std::function<void()>& idle, const std::function<bool()>& interrupted) {
    if (duration <= std::chrono::microseconds::zero()) {
        return true;
    }
    const WaitClock::TimePoint deadline = clock.Now() + duration;
    for (;;) {
        if (clock.Now() >= deadline) {
            return true;
        }
        if (idle) {
            idle();
        }
        if (interrupted && interrupted()) {
            return false;
        }
        // The hook may itself take time, so the slice is measured from after it returns.
        clock.SleepUntil(std::min(deadline, clock.Now() + maxSlice));
    }
}

} // namespace velomire::transfer
