#include "transfer/devices/JackMidiDriver.h"

#include "transfer/PortNames.h"
#include "transfer/devices/JackMidiEndpoint.h"
#include "transfer/devices/JackServerCall.h"

#include <jack/jack.h>
#include <jack/midiport.h>
#include <jack/ringbuffer.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <optional>
#include <thread>
#include <utility>

namespace velomire::transfer {

namespace {

using Clock = std::chrono::steady_clock;

// A server that has run no cycle for this long has stopped (a dummy or sound-card driver runs
// one every few milliseconds).
constexpr std::chrono::milliseconds stallLimit{1000};
// The sleep between two looks while waiting; the idle hook runs at each.
constexpr std::chrono::milliseconds pollInterval{5};
// The MIDI wire in bytes per second: 31250 baud, 10 bits a byte.
constexpr double wireBytesPerSecond = 3125.0;
// The server tells of an xrun a little after the cycle it happened in; one told within this many
// cycles of our last event may have cost that event.
constexpr std::uint64_t inFlightCycles = 4;

} // namespace

// Outside the unnamed namespace: the session below, a member of the driver, holds one.
struct JackClientCloser {
    void operator()(jack_client_t* client) const { jack_client_close(client); }
};
using JackClient = std::unique_ptr<jack_client_t, JackClientCloser>;

struct JackMidiDriver::Session {
    std::string destination;
    JackClient client;
    jack_port_t* port = nullptr;
    jack_ringbuffer_t* ring = nullptr;

    // Written on JACK's threads, read on ours.
    std::atomic<std::uint64_t> cycles{0};
    std::atomic<bool> serverGone{false};
    std::atomic<bool> eventRefused{false};
    std::atomic<bool> connectionsChanged{false};
    // 1 + the cycle that carried our last event (0 before the first), and the xruns the server
    // told of while our bytes were on their way.
    std::atomic<std::uint64_t> eventCycle{0};
    std::atomic<std::uint32_t> missedCycles{0};

    // Process thread only: the bytes the wire has had time for and not yet been given.
    double bytesPerFrame = 0;
    double credit = 0;

    // Our thread only: the last cycle count seen, and when it was seen to change.
    std::uint64_t seenCycles = 0;
    Clock::time_point seenAt = Clock::now();

    Session() : ring(jack_ringbuffer_create(ringBytes)) {}
    ~Session() {
        client.reset(); // stops the process callback before the ring goes
        if (ring != nullptr) {
            jack_ringbuffer_free(ring);
        }
    }
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    static int Process(jack_nframes_t frames, void* arg) {
        auto* self = static_cast<Session*>(arg);
        void* buffer = jack_port_get_buffer(self->port, frames);
        jack_midi_clear_buffer(buffer);
        const double cycleShare = frames * self->bytesPerFrame;
        self->credit += cycleShare;
        const std::size_t waiting = jack_ringbuffer_read_space(self->ring);
        const std::size_t count = std::min(
            {waiting, static_cast<std::size_t>(self->credit), jack_midi_max_event_size(buffer)});
        if (count > 0) {
            jack_midi_data_t* event = jack_midi_event_reserve(buffer, 0, count);
            if (event == nullptr) {
                self->eventRefused.store(true, std::memory_order_release);
            } else {
                jack_ringbuffer_read(self->ring, reinterpret_cast<char*>(event), count);
                self->credit -= static_cast<double>(count);
                self->eventCycle.store(self->cycles.load(std::memory_order_relaxed) + 1,
                                       std::memory_order_release);
            }
        }
        if (waiting <= count) {
            // An idle wire saves up no more than one cycle's bytes.
            self->credit = std::min(self->credit, cycleShare);
        }
        self->cycles.fetch_add(1, std::memory_order_release);
        return 0;
    }
    // On JACK's notification thread: a client (the receiver, or we) missed a cycle, and the
    // events of that cycle are lost to it.
    static int XRun(void* arg) {
        auto* self = static_cast<Session*>(arg);
        const std::uint64_t last = self->eventCycle.load(std::memory_order_acquire);
        const std::uint64_t now = self->cycles.load(std::memory_order_acquire);
        if (jack_ringbuffer_read_space(self->ring) > 0 ||
            (last != 0 && now + 1 - last <= inFlightCycles)) {
            self->missedCycles.fetch_add(1, std::memory_order_acq_rel);
        }
        return 0;
    }
    static void ServerShutDown(void* arg) {
        static_cast<Session*>(arg)->serverGone.store(true, std::memory_order_release);
    }
    static void ConnectionChanged(jack_port_id_t, jack_port_id_t, int, void* arg) {
        static_cast<Session*>(arg)->connectionsChanged.store(true, std::memory_order_release);
    }

    // Opens a client with its port connected to `destination`; the reason when that fails. Talks
    // to the server all along: see CallJackServer.
    static std::pair<std::unique_ptr<Session>, std::string> Start(const std::string& destination) {
        auto opened = std::make_unique<Session>();
        opened->destination = destination;
        if (opened->ring == nullptr) {
            return {nullptr, "No memory for the JACK MIDI output."};
        }
        opened->client = JackClient(JackMidiEndpoint::OpenClient("Velomire"));
        if (!opened->client) {
            return {nullptr, "No JACK server is running."};
        }
        jack_client_t* client = opened->client.get();
        opened->bytesPerFrame = wireBytesPerSecond / jack_get_sample_rate(client);
        opened->port =
            jack_port_register(client, "out", JACK_DEFAULT_MIDI_TYPE, JackPortIsOutput, 0);
        if (opened->port == nullptr) {
            return {nullptr, "The JACK server refused a MIDI port."};
        }
        jack_set_process_callback(client, &Session::Process, opened.get());
        jack_on_shutdown(client, &Session::ServerShutDown, opened.get());
        jack_set_xrun_callback(client, &Session::XRun, opened.get());
        jack_set_port_connect_callback(client, &Session::ConnectionChanged, opened.get());
        if (jack_activate(client) != 0) {
            return {nullptr, "The JACK server refused a client."};
        }
        if (jack_connect(client, jack_port_name(opened->port), opened->destination.c_str()) != 0) {
            return {nullptr, "The JACK MIDI port " + opened->destination + " has gone."};
        }
        // The connection shows in our view of the graph a little after jack_connect returns; a
        // write must not take it for one that has gone.
        const auto deadline = Clock::now() + midiWriteMargin;
        while (jack_port_connected_to(opened->port, opened->destination.c_str()) == 0) {
            if (Clock::now() >= deadline) {
                return {nullptr, "The JACK MIDI port " + opened->destination + " has gone."};
            }
            std::this_thread::sleep_for(pollInterval);
        }
        opened->connectionsChanged.store(false, std::memory_order_release);
        opened->seenAt = Clock::now();
        return {std::move(opened), std::string()};
    }

    // Why the bytes cannot go on, or empty.
    std::string Failure() {
        if (serverGone.load(std::memory_order_acquire)) {
            return "The JACK server has stopped.";
        }
        if (eventRefused.load(std::memory_order_acquire)) {
            return "JACK refused a MIDI event.";
        }
        const std::uint64_t now = cycles.load(std::memory_order_acquire);
        const bool advanced = now != seenCycles;
        if (advanced) {
            seenCycles = now;
            seenAt = Clock::now();
        } else if (Clock::now() - seenAt >= stallLimit) {
            return "The JACK server has stopped processing.";
        }
        // The connections are only asked about while the server runs: a frozen one can answer
        // that nothing is connected.
        if (advanced && connectionsChanged.exchange(false, std::memory_order_acq_rel) &&
            jack_port_connected_to(port, destination.c_str()) == 0) {
            connectionsChanged.store(true, std::memory_order_release); // stays gone
            return "The JACK MIDI port " + destination + " has gone.";
        }
        return {};
    }
};

JackMidiDriver::JackMidiDriver() = default;

JackMidiDriver::~JackMidiDriver() {
    Close();
}

std::vector<std::string> JackMidiDriver::PortNames() {
    listed = true;
    ports = JackMidiEndpoint::ListPorts(JackPortIsInput, [this] { Idle(); });
    // Our own MIDI In (and another Velomire's) would take the program, not a sampler.
    std::erase_if(ports, [](const std::string& name) { return IsOwnJackPort(name); });
    return ports;
}

MidiStatus JackMidiDriver::Open(unsigned index) {
    Close();
    missedCycles = 0;
    if (!listed) {
        PortNames();
    }
    if (index >= ports.size()) {
        return MidiStatus::Error("There is no JACK MIDI port number " + std::to_string(index) +
                                 ".");
    }
    const std::string destination = ports[index];
    auto opened = CallJackServer<std::pair<std::unique_ptr<Session>, std::string>>(
        [destination] { return Session::Start(destination); }, [this] { Idle(); });
    if (!opened) {
        return MidiStatus::Error("The JACK server does not answer.");
    }
    if (!opened->first) {
        return MidiStatus::Error(opened->second);
    }
    session = std::move(opened->first);
    return {};
}

template <typename Done>
std::string JackMidiDriver::WaitUntil(Done done, Clock::time_point deadline, const char* lateText) {
    for (;;) {
        if (std::string failure = session->Failure(); !failure.empty()) {
            return failure;
        }
        if (done()) {
            return {};
        }
        if (Clock::now() >= deadline) {
            return lateText;
        }
        Idle();
        std::this_thread::sleep_for(pollInterval);
    }
}

MidiStatus JackMidiDriver::Write(std::span<const std::uint8_t> bytes) {
    if (!session) {
        return MidiStatus::Error("The JACK MIDI output port is not open.");
    }
    if (bytes.size() >= ringBytes) {
        return MidiStatus::Error("A MIDI message of " + std::to_string(bytes.size()) +
                                 " bytes is too long for JACK output.");
    }
    const auto deadline = Clock::now() +
                          midiWireTimePerByte * static_cast<std::int64_t>(bytes.size()) +
                          midiWriteMargin;
    const std::string failure =
        WaitUntil([&] { return jack_ringbuffer_write_space(session->ring) >= bytes.size(); },
                  deadline, "The JACK server did not take the MIDI data in time.");
    if (!failure.empty()) {
        GiveUp();
        return MidiStatus::Error(failure);
    }
    jack_ringbuffer_write(session->ring, reinterpret_cast<const char*>(bytes.data()), bytes.size());
    return {};
}

MidiStatus JackMidiDriver::Close() {
    if (!session) {
        return {};
    }
    // Unregistering the port would drop what the ring still holds. The cycle that takes the last
    // bytes delivers them; one more cycle after that and they have surely left, and a few more
    // let the server tell of an xrun that cost them.
    const std::size_t waiting = jack_ringbuffer_read_space(session->ring);
    const auto deadline =
        Clock::now() + midiWireTimePerByte * static_cast<std::int64_t>(waiting) + midiWriteMargin;
    std::optional<std::uint64_t> emptyAt;
    const std::string failure = WaitUntil(
        [&] {
            const std::uint64_t cycles = session->cycles.load(std::memory_order_acquire);
            if (!emptyAt && jack_ringbuffer_read_space(session->ring) == 0) {
                emptyAt = cycles;
            }
            return emptyAt && cycles > *emptyAt + inFlightCycles;
        },
        deadline, "The JACK server did not take the last MIDI data in time.");
    if (!failure.empty()) {
        GiveUp();
        return MidiStatus::Error(failure);
    }
    missedCycles = session->missedCycles.load(std::memory_order_acquire);
    session.reset();
    return {};
}

std::string JackMidiDriver::OpenPortName() const {
    return session ? session->destination : std::string();
}

std::uint32_t JackMidiDriver::MissedCycles() const {
    return session ? session->missedCycles.load(std::memory_order_acquire) : missedCycles;
}

void JackMidiDriver::GiveUp() {
    missedCycles = session->missedCycles.load(std::memory_order_acquire);
    // libjack's close waits for the server's answer; see the class comment.
    std::thread([gone = std::move(session)]() mutable { gone.reset(); }).detach();
}

} // namespace velomire::transfer
