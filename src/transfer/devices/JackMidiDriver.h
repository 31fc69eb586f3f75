#pragma once

#include "transfer/MidiDriver.h"

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

namespace velomire::transfer {

// Output to a JACK MIDI input port through RtMidi's JACK back end, which hands every buffer on as
// one JACK MIDI event unchanged, so the pieces of one System Exclusive message arrive back to
// back as they were written. Never starts a JACK server.
//
// RtMidi queues each buffer in a 16384-byte ring that its JACK process callback empties once per
// period, and its send spins without limit while that ring is full, that is, once the server has
// stopped processing. So while open we also keep a port-less JACK client of our own that counts
// the server's cycles and hears of its shutdown, and we only hand RtMidi what the ring surely
// holds. Listing, Open and Close talk to the server and wait on it as libjack does: a server that
// is frozen (not dead) holds them up until it recovers or ends.
class JackMidiDriver final : public MidiDriver {
public:
    // The largest buffer RtMidi queues: its ring less one byte, less its 4-byte length field.
    // RtMidi drops a longer one without a word; Write refuses it instead.
    static constexpr std::size_t maxWriteBytes = 16384 - 1 - 4;

    JackMidiDriver();
    ~JackMidiDriver() override;
    JackMidiDriver(const JackMidiDriver&) = delete;
    JackMidiDriver& operator=(const JackMidiDriver&) = delete;

    // The full names ("client:port") of the JACK MIDI input ports; empty when no server runs.
    std::vector<std::string> PortNames() override;
    // The index refers to the last PortNames() list (taken now if there was none); the port is
    // found again by its name.
    MidiStatus Open(unsigned index) override;
    // Waits at most the bytes' wire time plus 1 s for room in RtMidi's ring, and fails at once
    // once the server has shut down.
    MidiStatus Write(std::span<const std::uint8_t> bytes) override;
    // Lets the server take what is still queued (at most 1 s) before the port goes.
    MidiStatus Close() override;

private:
    struct Session;
    std::unique_ptr<Session> session;
    std::vector<std::string> ports;
    bool listed = false;
};

} // namespace velomire::transfer
