#pragma once

#include "program/Status.h"

#include <chrono>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace velomire::transfer {

// The time one byte takes on a MIDI cable: 10 bits at 31250 baud.
inline constexpr std::chrono::microseconds midiWireTimePerByte{320};

// The outcome of a driver call: ok, or the driver's own text for the error box.
using MidiStatus = program::Status;

// One MIDI output system (the ALSA sequencer, JACK, a recorder in tests). Output only: nothing is
// ever read from the sampler.
class MidiDriver {
public:
    virtual ~MidiDriver() = default;

    // The output ports, each with a stable 0-based index and a readable name.
    virtual std::vector<std::string> PortNames() = 0;

    virtual MidiStatus Open(unsigned index) = 0;
    // Puts the bytes on the wire in order: a whole message, or a piece of one System Exclusive
    // message whose other pieces come in the next calls. Returns once the bytes are handed over
    // to the system, or with an error after a bounded time when they cannot be.
    virtual MidiStatus Write(std::span<const std::uint8_t> bytes) = 0;
    virtual MidiStatus Close() = 0;
};

} // namespace velomire::transfer
