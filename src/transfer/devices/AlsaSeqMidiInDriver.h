#pragma once

#include "transfer/MidiInDriver.h"
#include "transfer/devices/AlsaSeqMidiDriver.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace velomire::transfer {

// The ports a sampler's MIDI Out could sit behind, in the order given: readable, open to
// subscription and exported, neither in our own client nor in the system client. Named as the
// output ports are: "Client Name: Port Name (client:port)".
std::vector<AlsaSeqDestination> SelectSources(const std::vector<AlsaSeqPort>& ports, int ownClient);

// One event as the sequencer hands it to a reader: a System Exclusive chunk, another event, or
// the end of what is there for now. `overrun` is the kernel's report that its input buffer was
// full and events were dropped (ENOSPC).
struct AlsaSeqInput {
    enum class Kind { sysEx, other, none, overrun, failed };
    Kind kind = Kind::none;
    std::vector<std::uint8_t> bytes;
};

// Takes every event the sequencer holds, keeping the System Exclusive bytes in order; an overrun
// or a failure is reported once the rest has been read.
MidiStatus DrainSeqInput(const std::function<AlsaSeqInput()>& next, WaitClock::TimePoint now,
                         std::vector<MidiInBytes>& out);

// Input through the ALSA sequencer: a client "Velomire" with one input port, subscribed to the
// chosen source while open. Reads never block.
class AlsaSeqMidiInDriver final : public MidiInDriver {
public:
    AlsaSeqMidiInDriver();
    ~AlsaSeqMidiInDriver() override;
    AlsaSeqMidiInDriver(const AlsaSeqMidiInDriver&) = delete;
    AlsaSeqMidiInDriver& operator=(const AlsaSeqMidiInDriver&) = delete;

    std::vector<std::string> PortNames() override;
    MidiStatus Open(unsigned index) override;
    MidiStatus Poll(std::vector<MidiInBytes>& out) override;
    MidiStatus Close() override;

private:
    struct Session;
    std::unique_ptr<Session> session;
    std::vector<AlsaSeqDestination> sources;
    MidiStatus listStatus;
    bool listed = false;
};

} // namespace velomire::transfer
