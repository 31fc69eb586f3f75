#pragma once

#include "transfer/MidiDriver.h"
#include "transfer/WaitClock.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>

namespace velomire::transfer {

// Hands a buffer to a MIDI output in events of bounded size, never more than `aheadBytes` ahead
// of what the MIDI wire (320 us a byte) has carried since the first of them. An ALSA hardware
// port copies each event into the kernel's output buffer (4096 bytes by default), drains it at
// wire speed and drops, without an error, what does not fit: with at most 1024 bytes ahead a
// quarter of that buffer is ever in use, which leaves room for another client's traffic on the
// same port and for our own wake-ups coming late (1024 bytes are 328 ms of wire time). A software
// receiver gets the same events in the same order, only no faster than the wire.
class WirePacer {
public:
    static constexpr std::size_t defaultAheadBytes = 1024;
    static constexpr std::size_t defaultEventBytes = 256;

    // Hands one event to the output; a failure ends the write.
    using Emit = std::function<MidiStatus(std::span<const std::uint8_t>)>;

    explicit WirePacer(WaitClock& clock, std::size_t aheadBytes = defaultAheadBytes,
                       std::size_t eventBytes = defaultEventBytes);

    // Cuts `bytes` into events of at most eventBytes and emits each once it keeps within
    // aheadBytes of the wire, sleeping (with `idle`) until then.
    MidiStatus Write(std::span<const std::uint8_t> bytes, const Emit& emit,
                     const std::function<void()>& idle);
    // Forgets what went before: the wire counts as idle.
    void Reset() { wireFreeAt = {}; }

private:
    WaitClock& clock;
    std::size_t aheadBytes;
    std::size_t eventBytes;
    // When the wire will have carried every byte emitted so far.
    WaitClock::TimePoint wireFreeAt{};
};

} // namespace velomire::transfer
