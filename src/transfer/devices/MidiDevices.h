#pragma once

#include "program/UserMessages.h"
#include "transfer/MidiDriver.h"
#include "transfer/MidiInDriver.h"
#include "transfer/MidiOutPort.h"
#include "transfer/WaitClock.h"

#include <functional>
#include <memory>

namespace velomire::transfer {

// The application's MIDI drivers and its output port, each made on first use (Options, Send, the
// Sampler window), so that starting never touches the MIDI system. A factory left empty gives the
// system's driver.
class MidiDevices {
public:
    using OutFactory = std::function<std::unique_ptr<MidiDriver>()>;
    using InFactory = std::function<std::unique_ptr<MidiInDriver>()>;

    // `idle` runs while the output port waits (the desktop keeps painting and takes the
    // "Sending ..." window's Cancel meanwhile).
    MidiDevices(OutFactory makeOut, InFactory makeIn, program::UserMessages& messages,
                std::function<void()> idle);
    MidiDevices(const MidiDevices&) = delete;
    MidiDevices& operator=(const MidiDevices&) = delete;

    MidiDriver& Driver();
    MidiInDriver& InDriver();
    MidiOutPort& Port();
    WaitClock& Clock() { return clock; }

private:
    OutFactory makeOut;
    InFactory makeIn;
    program::UserMessages& messages;
    std::function<void()> idle;
    std::unique_ptr<MidiDriver> driver;
    std::unique_ptr<MidiInDriver> inDriver;
    SteadyWaitClock clock;
    std::unique_ptr<MidiOutPort> port; // goes before the clock and the driver it uses
};

} // namespace velomire::transfer
