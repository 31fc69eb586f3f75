#pragma once

#include "transfer/MidiDriver.h"
#include "transfer/MidiInDriver.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace velomire::transfer {

// A MIDI client of our own with one input and one output port that other clients connect to (the
// simulated sampler's ports): JACK or the ALSA sequencer. Nothing in it blocks for long: Poll
// never waits, Write waits at most a bounded time for the receiver.
class MidiEndpoint {
public:
    virtual ~MidiEndpoint() = default;

    // The ports as other clients see them and as a user connects them.
    virtual std::string InputName() const = 0;
    virtual std::string OutputName() const = 0;
    // Appends everything that arrived since the last call, in order; an error when input was
    // lost or the server has gone.
    virtual MidiStatus Poll(std::vector<MidiInBytes>& out) = 0;
    // Sends one message (or a piece of one) to whatever is connected to the output.
    virtual MidiStatus Write(std::span<const std::uint8_t> bytes) = 0;
    // True once the MIDI system itself has gone: nothing more will arrive.
    virtual bool ServerGone() const = 0;
};

} // namespace velomire::transfer
