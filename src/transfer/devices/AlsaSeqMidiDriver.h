#pragma once

#include "transfer/MidiDriver.h"
#include "transfer/WaitClock.h"
#include "transfer/WirePacer.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

namespace velomire::transfer {

// One port of the ALSA sequencer as the system lists it, stripped of the library's types.
struct AlsaSeqPort {
    int client = 0;
    int port = 0;
    std::string clientName;
    std::string portName;
    bool writable = false;         // SND_SEQ_PORT_CAP_WRITE
    bool subscribable = false;     // SND_SEQ_PORT_CAP_SUBS_WRITE
    bool exported = true;          // SND_SEQ_PORT_CAP_NO_EXPORT not set
    bool readable = false;         // SND_SEQ_PORT_CAP_READ
    bool subscribableRead = false; // SND_SEQ_PORT_CAP_SUBS_READ
};

// A port we can send to, with the name the user chooses it by.
struct AlsaSeqDestination {
    int client = 0;
    int port = 0;
    std::string name;
};

// The ports a sampler could sit behind, in the order given: writable, open to subscription and
// exported, neither in our own client nor in the system client (timer and announce ports). Named
// "Client Name: Port Name (client:port)".
std::vector<AlsaSeqDestination> SelectDestinations(const std::vector<AlsaSeqPort>& ports,
                                                   int ownClient);

// Writes `bytes` through `pacer` as SYSEX events of at most 256 bytes, offering each with `offer`
// until it is taken; `offer` answers as snd_seq_event_output_direct does. A receiving client
// whose input is full makes it answer -EAGAIN, and our own client's descriptor stays writable all
// along, so polling it would not wait: we sleep (with `idle`) between tries, and a receiver that
// has not taken an event within its wire time plus 1 s fails the write, naming `portName`.
MidiStatus WriteSeqSysEx(WirePacer& pacer, WaitClock& clock, std::span<const std::uint8_t> bytes,
                         const std::function<int(std::span<const std::uint8_t>)>& offer,
                         const std::function<void()>& idle, const std::string& portName);

// Output through the ALSA sequencer: one client ("Velomire") with one output port, connected to
// the chosen destination while open. Every byte goes out as SYSEX event data sent directly (not
// queued), so a piece of a System Exclusive message reaches the destination unchanged. The kernel
// drops, silently, what does not fit a hardware port's output buffer: the events of a buffer are
// paced to the wire by a WirePacer (at most 1024 bytes ahead of it).
class AlsaSeqMidiDriver final : public MidiDriver {
public:
    AlsaSeqMidiDriver();
    ~AlsaSeqMidiDriver() override;
    AlsaSeqMidiDriver(const AlsaSeqMidiDriver&) = delete;
    AlsaSeqMidiDriver& operator=(const AlsaSeqMidiDriver&) = delete;

    // Empty when the sequencer cannot be opened (no sound card, no permission).
    std::vector<std::string> PortNames() override;
    // The index refers to the last PortNames() list (taken now if there was none); the port is
    // found again by its client:port address, so a list that changed since does not redirect it.
    MidiStatus Open(unsigned index) override;
    // A destination that has gone, or that does not take an event within its wire time plus
    // 1 s (a client whose input is full), fails the write; the rest of the buffer is abandoned.
    MidiStatus Write(std::span<const std::uint8_t> bytes) override;
    MidiStatus Close() override;
    std::string OpenPortName() const override;

private:
    SteadyWaitClock clock;
    WirePacer pacer{clock};
    struct Session;
    std::unique_ptr<Session> session;
    std::vector<AlsaSeqDestination> destinations;
    MidiStatus listStatus; // why the last list is empty when the sequencer could not be opened
    bool listed = false;
};

} // namespace velomire::transfer
