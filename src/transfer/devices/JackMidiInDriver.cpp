#include "transfer/devices/JackMidiInDriver.h"

#include "transfer/PortNames.h"
#include "transfer/devices/JackServerCall.h"

#include <jack/jack.h>

#include <utility>

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
    using Opening = std::pair<std::unique_ptr<JackMidiEndpoint>, MidiStatus>;
    auto opening = CallJackServer<Opening>([source = ports[index]]() -> Opening {
        std::string error;
        auto opened = JackMidiEndpoint::Open("Velomire-in", true, false, error);
        if (!opened) {
            return {nullptr, MidiStatus::Error(error)};
        }
        if (MidiStatus status = opened->ConnectFrom(source); !status) {
            return {nullptr, status};
        }
        return {std::move(opened), MidiStatus()};
    });
    if (!opening) {
        return MidiStatus::Error("The JACK server does not answer.");
    }
    if (!opening->first) {
        return opening->second;
    }
    endpoint = std::move(opening->first);
    return {};
}

MidiStatus JackMidiInDriver::Poll(std::vector<MidiInBytes>& out) {
    if (!endpoint) {
        return MidiStatus::Error("The JACK MIDI input port is not open.");
    }
    return endpoint->Poll(out);
}

MidiStatus JackMidiInDriver::Close() {
    JackMidiEndpoint::Release(std::move(endpoint));
    return {};
}

bool JackMidiInDriver::Gone() const {
    return endpoint && endpoint->Stalled();
}

} // namespace velomire::transfer
