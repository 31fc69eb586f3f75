#pragma once

#include "program/Status.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

namespace velomire::transfer {

// The time one byte takes on a MIDI cable: 10 bits at 31250 baud.
inline constexpr std::chrono::microseconds midiWireTimePerByte{320};
// Added to the bytes' wire time before a driver gives up on its system taking them.
inline constexpr std::chrono::milliseconds midiWriteMargin{1000};

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
    // to the system, or with an error after a bounded time when they cannot be (a receiver that
    // stopped taking data, a destination that has gone). Every wait inside sleeps and calls the
    // idle hook.
    virtual MidiStatus Write(std::span<const std::uint8_t> bytes) = 0;
    // Closes the port. After a failed Write it must not block on the device that failed.
    virtual MidiStatus Close() = 0;
    // The name of the open port, as the user chose it; empty when none is open.
    virtual std::string OpenPortName() const { return {}; }
    // The cycles the MIDI system missed while bytes of the current or last opening were on their
    // way (JACK's xruns): what those cycles carried may never have reached the receiver, and
    // nobody else tells. Kept after Close until the next Open; 0 where nothing is lost unseen.
    virtual std::uint32_t MissedCycles() const { return 0; }

    // Called now and then from inside every wait of Write and Close, so that a user interface
    // keeps painting and can take a Cancel.
    virtual void SetIdleHook(std::function<void()> hook) { idleHook = std::move(hook); }

protected:
    void Idle() const {
        if (idleHook) {
            idleHook();
        }
    }

private:
    std::function<void()> idleHook;
};

} // namespace velomire::transfer
