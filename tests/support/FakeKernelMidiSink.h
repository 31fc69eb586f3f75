#pragma once

#include "transfer/MidiDriver.h"
#include "transfer/WaitClock.h"

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <span>

namespace velomire::testing {

// What the kernel does with the events of an ALSA hardware MIDI port: copies each into an output
// buffer of `capacity` bytes that drains at wire speed (3125 bytes/s), keeps what fits and drops
// the rest without an error.
class FakeKernelMidiSink {
public:
    explicit FakeKernelMidiSink(transfer::WaitClock& clock, std::size_t capacity = 4096)
        : clock(clock), capacity(capacity), drainedUntil(clock.Now()) {}

    transfer::MidiStatus Take(std::span<const std::uint8_t> event) {
        Drain();
        const std::size_t room = capacity - static_cast<std::size_t>(fill + 0.999);
        const std::size_t kept = std::min(room, event.size());
        fill += static_cast<double>(kept);
        received += kept;
        dropped += event.size() - kept;
        return {};
    }

    // When the last byte taken will have left on the wire.
    transfer::WaitClock::TimePoint EmptyAt() {
        Drain();
        return drainedUntil + std::chrono::duration_cast<std::chrono::microseconds>(
                                  std::chrono::duration<double>(fill / bytesPerSecond));
    }

    std::size_t received = 0;
    std::size_t dropped = 0;

private:
    static constexpr double bytesPerSecond = 3125.0;

    void Drain() {
        const auto now = clock.Now();
        const double seconds = std::chrono::duration<double>(now - drainedUntil).count();
        fill = std::max(0.0, fill - seconds * bytesPerSecond);
        drainedUntil = now;
    }

    transfer::WaitClock& clock;
    std::size_t capacity;
    double fill = 0;
    transfer::WaitClock::TimePoint drainedUntil;
};

} // namespace velomire::testing
