#pragma once

#include "transfer/MidiEndpoint.h"
#include "transfer/WaitClock.h"
#include "transfer/WirePacer.h"

#include <memory>
#include <string>

namespace velomire::transfer {

// A sequencer client of our own with a port "in" that others write to and a port "out" that
// others read from (both open to subscription), for the simulated sampler. Never blocks for
// long: input is read without waiting, in the order the kernel delivered it, with an overrun of
// the kernel's input buffer reported; output goes as SYSEX events of at most 256 bytes sent
// directly to the subscribers of "out", paced to the wire so that a hardware port's kernel
// buffer never overruns, and a receiver that stops taking events fails the write in bounded time.
class AlsaSeqMidiEndpoint final : public MidiEndpoint {
public:
    // Null with the reason in `error` when the sequencer or a port cannot be had.
    static std::unique_ptr<AlsaSeqMidiEndpoint> Open(const std::string& clientName,
                                                     std::string& error);
    ~AlsaSeqMidiEndpoint() override;
    AlsaSeqMidiEndpoint(const AlsaSeqMidiEndpoint&) = delete;
    AlsaSeqMidiEndpoint& operator=(const AlsaSeqMidiEndpoint&) = delete;

    // "NAME: in (client:port)" and "NAME: out (client:port)", as the port lists show them.
    std::string InputName() const override;
    std::string OutputName() const override;
    MidiStatus Poll(std::vector<MidiInBytes>& out) override;
    MidiStatus Write(std::span<const std::uint8_t> bytes) override;
    bool ServerGone() const override { return gone; }

private:
    AlsaSeqMidiEndpoint();

    struct Session;
    std::unique_ptr<Session> session;
    SteadyWaitClock clock;
    WirePacer pacer{clock};
    bool gone = false;
};

} // namespace velomire::transfer
