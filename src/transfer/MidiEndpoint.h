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
// reply leaves in that same cycle rather than one cycle later through Poll and Write. Only where
// that is cheap: everything still goes to Poll, marked when it was answered.
class MidiResponder {
public:
    static constexpr std::size_t maxReplyBytes = 8;

    virtual ~MidiResponder() = default;
    // Called on the MIDI system's thread with each input event that Poll will give out, in order
    // of arrival, before Poll can see it; `lostBefore` when input was lost just before it. Never
    // waits, allocates or takes a lock: writes the reply to send in this cycle into `reply` and
    // returns its length, 0 for none (the answer then comes through Poll and Write). A reply
    // answers the message that ends with the event's last byte.
    virtual std::size_t Respond(std::span<const std::uint8_t> event, bool lostBefore,
                                std::span<std::uint8_t, maxReplyBytes> reply) noexcept = 0;
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
    // lost (the pieces after a loss are marked) or the server has gone.
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
