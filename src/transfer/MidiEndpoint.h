#pragma once

#include "transfer/MidiDriver.h"
#include "transfer/MidiInDriver.h"
#include "transfer/WaitClock.h"

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace velomire::transfer {

// Answers input on the MIDI system's own thread, inside the cycle in which it arrives, so that a
// reply leaves in that same cycle rather than one cycle later through Poll and Write.
class MidiResponder {
public:
    virtual ~MidiResponder() = default;
    // Called with each input event in order of arrival; appends to `now` the messages to send in
    // this cycle. Never waits: false when it cannot take the event at once, which then goes to
    // Poll as it would without a responder, and so does every later event until Poll took it.
    virtual bool Respond(std::span<const std::uint8_t> bytes, WaitClock::TimePoint arrival,
                         std::vector<std::vector<std::uint8_t>>& now) = 0;
};

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
    // Lets `responder` (null: nobody) answer input inside the cycle it arrives in, where the MIDI
    // system runs in cycles (JACK). Elsewhere everything goes through Poll, which is as prompt.
    virtual void SetResponder(MidiResponder* responder) { (void)responder; }
};

} // namespace velomire::transfer
