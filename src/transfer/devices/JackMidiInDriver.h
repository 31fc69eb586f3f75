#pragma once

#include "transfer/MidiInDriver.h"
#include "transfer/devices/JackMidiEndpoint.h"

#include <memory>
#include <string>
#include <vector>

namespace velomire::transfer {

// Input from a JACK MIDI output port: a client "Velomire-in" with one input port, connected to
// the chosen port while open. Never starts a JACK server.
class JackMidiInDriver final : public MidiInDriver {
public:
    // The full names ("client:port") of the JACK MIDI output ports; empty when no server runs.
    std::vector<std::string> PortNames() override;
    // The index refers to the last PortNames() list (taken now if there was none).
    MidiStatus Open(unsigned index) override;
    MidiStatus Poll(std::vector<MidiInBytes>& out) override;
    // Gives the client up without waiting more than a moment for the server.
    MidiStatus Close() override;
    bool Gone() const override;

private:
    std::unique_ptr<JackMidiEndpoint> endpoint;
    std::vector<std::string> ports;
    bool listed = false;
};

} // namespace velomire::transfer
