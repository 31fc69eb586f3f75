#include "transfer/devices/AlsaSeqMidiDriver.h"

#include "transfer/PortNames.h"
#include "transfer/devices/AlsaSeqCalls.h"

#include <algorithm>
#include <cerrno>
#include <chrono>

namespace velomire::transfer {

namespace {

// Opens our client for output only and never blocking: a receiver that takes nothing is waited
// for by sleeping with a time limit instead of inside the library.
SeqHandle OpenOutputSequencer(MidiStatus& status) {
    return OpenSequencer(SND_SEQ_OPEN_OUTPUT, "Velomire", status);
}

std::vector<AlsaSeqPort> ListPorts(snd_seq_t* seq) {
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
            ports.push_back(std::move(port));
        }
    }
    return ports;
}

// The sleep between two tries while a receiving client's input is full.
constexpr std::chrono::milliseconds retryInterval{5};

} // namespace

MidiStatus WriteSeqSysEx(WirePacer& pacer, WaitClock& clock, std::span<const std::uint8_t> bytes,
                         const std::function<int(std::span<const std::uint8_t>)>& offer,
                         const std::function<void()>& idle, const std::string& portName) {
    const auto emit = [&](std::span<const std::uint8_t> event) {
        const auto deadline = clock.Now() +
                              midiWireTimePerByte * static_cast<std::int64_t>(event.size()) +
                              midiWriteMargin;
        int err = offer(event);
        while (err == -EAGAIN) {
            if (clock.Now() >= deadline) {
                return MidiStatus::Error("The MIDI port " + portName +
                                         " did not take the data in time.");
            }
            SleepFor(clock, retryInterval, idle);
            err = offer(event);
        }
        if (err < 0) {
            return MidiStatus::Error(AlsaError("Cannot send to the ALSA sequencer", err));
        }
        return MidiStatus{};
    };
    return pacer.Write(bytes, emit, idle);
}

std::vector<AlsaSeqDestination> SelectDestinations(const std::vector<AlsaSeqPort>& ports,
                                                   int ownClient) {
    std::vector<AlsaSeqDestination> destinations;
    for (const AlsaSeqPort& port : ports) {
        // Another Velomire's client (a velomire-cli send, say) is no sampler either.
        if (port.client == ownClient || port.client == SND_SEQ_CLIENT_SYSTEM || !port.writable ||
            !port.subscribable || !port.exported || IsOwnMidiClient(port.clientName)) {
            continue;
        }
        destinations.push_back({port.client, port.port,
                                port.clientName + ": " + port.portName + " (" +
                                    std::to_string(port.client) + ":" + std::to_string(port.port) +
                                    ")"});
    }
    return destinations;
}

struct AlsaSeqMidiDriver::Session {
    SeqHandle seq;
    int ownPort = -1;
    AlsaSeqDestination destination;

    // False once the destination port is no longer there (its client ended, a device unplugged).
    bool DestinationExists() const {
        snd_seq_port_info_t* info = nullptr;
        snd_seq_port_info_alloca(&info);
        return snd_seq_get_any_port_info(seq.get(), destination.client, destination.port, info) >=
               0;
    }
};

AlsaSeqMidiDriver::AlsaSeqMidiDriver() = default;

AlsaSeqMidiDriver::~AlsaSeqMidiDriver() = default;

std::vector<std::string> AlsaSeqMidiDriver::PortNames() {
    destinations.clear();
    listed = true;
    // Listing needs a client of its own while no port is open.
    SeqHandle temporary;
    snd_seq_t* seq = session ? session->seq.get() : nullptr;
    listStatus = {};
    if (seq == nullptr) {
        temporary = OpenOutputSequencer(listStatus);
        seq = temporary.get();
    }
    std::vector<std::string> names;
    if (seq == nullptr) {
        return names;
    }
    destinations = SelectDestinations(ListPorts(seq), snd_seq_client_id(seq));
    for (const AlsaSeqDestination& destination : destinations) {
        names.push_back(destination.name);
    }
    return names;
}

MidiStatus AlsaSeqMidiDriver::Open(unsigned index) {
    Close();
    if (!listed) {
        PortNames();
    }
    if (index >= destinations.size()) {
        // An empty list because the sequencer failed says why.
        if (!listStatus) {
            return listStatus;
        }
        return MidiStatus::Error("There is no ALSA MIDI output port number " +
                                 std::to_string(index) + ".");
    }
    const AlsaSeqDestination& destination = destinations[index];

    MidiStatus status;
    SeqConnection connection;
    if (!ConnectSeqPort(SeqDirection::output, "Velomire out", destination, connection, status)) {
        return status;
    }
    auto opened = std::make_unique<Session>();
    opened->seq = std::move(connection.seq);
    opened->ownPort = connection.ownPort;
    opened->destination = destination;
    session = std::move(opened);
    pacer.Reset();
    return {};
}

MidiStatus AlsaSeqMidiDriver::Write(std::span<const std::uint8_t> bytes) {
    if (!session) {
        return MidiStatus::Error("The ALSA MIDI output port is not open.");
    }
    if (!session->DestinationExists()) {
        return MidiStatus::Error("The MIDI port " + session->destination.name + " has gone.");
    }
    snd_seq_t* seq = session->seq.get();
    const int port = session->ownPort;
    return WriteSeqSysEx(
        pacer, clock, bytes,
        [seq, port](std::span<const std::uint8_t> event) {
            return OutputSeqSysEx(seq, port, event);
        },
        [this] { Idle(); }, session->destination.name);
}

MidiStatus AlsaSeqMidiDriver::Close() {
    if (!session) {
        return {};
    }
    // Direct events reach the destination before output returns. Closing the client removes our
    // port and its connection; the kernel drains a hardware port's buffer when that goes.
    const bool destinationLeft = !session->DestinationExists();
    const std::string name = session->destination.name;
    session.reset();
    if (destinationLeft) {
        return MidiStatus::Error("The MIDI port " + name + " has gone.");
    }
    return {};
}

std::string AlsaSeqMidiDriver::OpenPortName() const {
    return session ? session->destination.name : std::string();
}

} // namespace velomire::transfer
