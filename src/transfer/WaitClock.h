#pragma once

#include <algorithm>
#include <chrono>
#include <functional>

namespace velomire::transfer {

// The time source of every timed wait. The real one reads the monotonic clock and sleeps; tests
// use a fake that advances when asked to sleep, so they can assert the requested milliseconds.
class WaitClock {
public:
    using TimePoint = std::chrono::steady_clock::time_point;

    virtual ~WaitClock() = default;
    virtual TimePoint Now() = 0;
    virtual void SleepUntil(TimePoint when) = 0;
};

class SteadyWaitClock final : public WaitClock {
public:
    TimePoint Now() override;
    void SleepUntil(TimePoint when) override;
};

// Time that passes without anyone waiting: rendering a transfer to a file keeps every wait's
// arithmetic but spends no real time on it.
class InstantWaitClock final : public WaitClock {
public:
    TimePoint Now() override { return now; }
    void SleepUntil(TimePoint when) override { now = std::max(now, when); }

private:
    TimePoint now{};
};

// Returns once `duration` has passed on `clock`, sleeping in slices of at most 20 ms and calling
// `idle` (when set) before each slice, so a user interface can keep painting during the wait.
// Returns early, false, as soon as `interrupted` (when set) answers true after a slice.
bool SleepFor(WaitClock& clock, std::chrono::microseconds duration,
              const std::function<void()>& idle, const std::function<bool()>& interrupted = {});

} // namespace velomire::transfer
