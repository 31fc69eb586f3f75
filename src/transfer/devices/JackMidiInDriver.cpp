#include "transfer/devices/JackMidiInDriver.h"

#include "transfer/PortNames.h"

#include <jack/jack.h>

namespace velomire::transfer {

std::vector<std::string> JackMidiInDriver::PortNames() {
    listed = true;
    ports = JackMidiEndpoint::ListPorts(JackPortIsOutput);
    std::erase_if(ports, [](const std::string& name) { return IsOwnJackPort(name); });
    return ports;
}

MidiStatus JackMidiInDriver::Open(unsigned index) {
    Close();
    if (!listed) {
        PortNames();
    }
    if (index >= ports.size()) {
        return MidiStatus::Error("There is no JACK MIDI input port number " +
                                 std::to_string(index) + ".");
    }
    std::string error;
    auto opened = JackMidiEndpoint::Open("Velomire-in", true, false, error);
    if (!opened) {
        return MidiStatus::Error(error);
    }
    if (MidiStatus status = opened->ConnectFrom(ports[index]); !status) {
        return status;
    }
    endpoint = std::move(opened);
    return {};
}

MidiStatus JackMidiInDriver::Poll(std::vector<MidiInBytes>& out) {
    if (!endpoint) {
        return MidiStatus::Error("The JACK MIDI input port is not open.");
    }
    return endpoint->Poll(out);
}

MidiStatus JackMidiInDriver::Close() {
    endpoint.reset();
    return {};
}

} // namespace velomire::transfer
