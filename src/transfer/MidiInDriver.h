#pragma once

#include "transfer/MidiDriver.h"
#include "transfer/WaitClock.h"

#include <cstdint>
#include <string>
#include <vector>

namespace velomire::transfer {

// Bytes as they came off one input port, with the time they arrived.
struct MidiInBytes {
    std::vector<std::uint8_t> bytes;
    WaitClock::TimePoint time{};
    bool lostBefore = false; // input was lost just before these bytes
    bool answered = false;   // a responder answered the message they end, in their cycle
};

// One MIDI input system (the ALSA sequencer, JACK, a script in tests). The driver collects what
// arrives on its own terms (a JACK process callback, the sequencer's queue) and hands it over,
// in order, when asked; it never blocks the caller.
class MidiInDriver {
public:
    virtual ~MidiInDriver() = default;

    // The ports a sampler's MIDI Out could be connected to, each with a stable 0-based index.
    virtual std::vector<std::string> PortNames() = 0;

    virtual MidiStatus Open(unsigned index) = 0;
    // Appends to `out` everything that arrived since the last call, in order. An error says that
    // bytes were lost (an overrun) or that the port has gone.
    virtual MidiStatus Poll(std::vector<MidiInBytes>& out) = 0;
    virtual MidiStatus Close() = 0;
    // True once the open port can deliver nothing more (its server stopped or froze), so that
    // nobody waits on it for an answer.
    virtual bool Gone() const { return false; }
    // Asks for System Exclusive bytes as soon as they come, not only once their message (or a
    // buffer of them) is complete: a sampler that waits for an answer to each block of one long
    // message sends nothing more until the block has been read. False when the system cannot.
    virtual bool SetPieces(bool /*on*/) { return true; }
};

} // namespace velomire::transfer
