#include "transfer/devices/AlsaSeqMidiInDriver.h"

#include "transfer/PortNames.h"

#include "transfer/devices/AlsaSeqCalls.h"

#include <chrono>

namespace velomire::transfer {

namespace {

SeqHandle OpenInputSequencer(MidiStatus& status) {
    return OpenSequencer(SND_SEQ_OPEN_INPUT, "Velomire", status);
}

std::vector<AlsaSeqPort> ListAllPorts(snd_seq_t* seq) {
    std::vector<AlsaSeqPort> ports;
    snd_seq_client_info_t* clientInfo = nullptr;
    snd_seq_port_info_t* portInfo = nullptr;
    snd_seq_client_info_alloca(&clientInfo);
    snd_seq_port_info_alloca(&portInfo);
    snd_seq_client_info_set_client(clientInfo, -1);
    while (snd_seq_query_next_client(seq, clientInfo) >= 0) {
        const int client = snd_seq_client_info_get_client(clientInfo);
        snd_seq_port_info_set_client(portInfo, client);
        snd_seq_port_info_set_port(portInfo, -1);
        while (snd_seq_query_next_port(seq, portInfo) >= 0) {
            const unsigned caps = snd_seq_port_info_get_capability(portInfo);
            AlsaSeqPort port;
            port.client = client;
            port.port = snd_seq_port_info_get_port(portInfo);
            port.clientName = snd_seq_client_info_get_name(clientInfo);
            port.portName = snd_seq_port_info_get_name(portInfo);
            port.writable = (caps & SND_SEQ_PORT_CAP_WRITE) != 0;
            port.subscribable = (caps & SND_SEQ_PORT_CAP_SUBS_WRITE) != 0;
            port.exported = (caps & SND_SEQ_PORT_CAP_NO_EXPORT) == 0;
            port.readable = (caps & SND_SEQ_PORT_CAP_READ) != 0;
            port.subscribableRead = (caps & SND_SEQ_PORT_CAP_SUBS_READ) != 0;
            ports.push_back(std::move(port));
        }
    }
    return ports;
}

} // namespace

std::vector<AlsaSeqDestination> SelectSources(const std::vector<AlsaSeqPort>& ports,
                                              int ownClient) {
    std::vector<AlsaSeqDestination> sources;
    for (const AlsaSeqPort& port : ports) {
        if (port.client == ownClient || port.client == SND_SEQ_CLIENT_SYSTEM || !port.readable ||
            !port.subscribableRead || !port.exported || IsOwnMidiClient(port.clientName)) {
            continue;
        }
        sources.push_back({port.client, port.port,
                           port.clientName + ": " + port.portName + " (" +
                               std::to_string(port.client) + ":" + std::to_string(port.port) +
                               ")"});
    }
    return sources;
}

MidiStatus DrainSeqInput(const std::function<AlsaSeqInput()>& next, WaitClock::TimePoint now,
                         std::vector<MidiInBytes>& out) {
    MidiStatus status;
    for (;;) {
        AlsaSeqInput input = next();
        switch (input.kind) {
        case AlsaSeqInput::Kind::sysEx:
            out.push_back({std::move(input.bytes), now});
            break;
        case AlsaSeqInput::Kind::other:
            break;
        case AlsaSeqInput::Kind::overrun:
            // The kernel dropped events; what it still holds comes next.
            status = MidiStatus::Error("MIDI input was lost: the ALSA sequencer's input "
                                       "buffer overran.");
            break;
        case AlsaSeqInput::Kind::failed:
            return MidiStatus::Error("The ALSA sequencer stopped delivering MIDI input.");
        case AlsaSeqInput::Kind::none:
            return status;
        }
    }
}

struct AlsaSeqMidiInDriver::Session {
    SeqHandle seq;
    int ownPort = -1;
};

AlsaSeqMidiInDriver::AlsaSeqMidiInDriver() = default;

AlsaSeqMidiInDriver::~AlsaSeqMidiInDriver() = default;

std::vector<std::string> AlsaSeqMidiInDriver::PortNames() {
    sources.clear();
    listed = true;
    listStatus = {};
    SeqHandle seq = OpenInputSequencer(listStatus);
    std::vector<std::string> names;
    if (!seq) {
        return names;
    }
    sources = SelectSources(ListAllPorts(seq.get()), snd_seq_client_id(seq.get()));
    for (const AlsaSeqDestination& source : sources) {
        names.push_back(source.name);
    }
    return names;
}

MidiStatus AlsaSeqMidiInDriver::Open(unsigned index) {
    Close();
    if (!listed) {
        PortNames();
    }
    if (index >= sources.size()) {
        if (!listStatus) {
            return listStatus;
        }
        return MidiStatus::Error("There is no ALSA MIDI input port number " +
                                 std::to_string(index) + ".");
    }
    const AlsaSeqDestination& source = sources[index];
    MidiStatus status;
    SeqConnection connection;
    if (!ConnectSeqPort(SeqDirection::input, "Velomire in", source, connection, status)) {
        return status;
    }
    auto opened = std::make_unique<Session>();
    opened->seq = std::move(connection.seq);
    opened->ownPort = connection.ownPort;
    session = std::move(opened);
    return {};
}

MidiStatus AlsaSeqMidiInDriver::Poll(std::vector<MidiInBytes>& out) {
    if (!session) {
        return MidiStatus::Error("The ALSA MIDI input port is not open.");
    }
    snd_seq_t* seq = session->seq.get();
    return DrainSeqInput([seq] { return NextSeqInput(seq); }, std::chrono::steady_clock::now(),
                         out);
}

MidiStatus AlsaSeqMidiInDriver::Close() {
    session.reset();
    return {};
}

} // namespace velomire::transfer
