#include "transfer/devices/JackMidiDriver.h"

#include "transfer/devices/QuietSystemLibraries.h"

#include <jack/jack.h>
#include <rtmidi/RtMidi.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <exception>
#include <thread>
#include <utility>

namespace velomire::transfer {

namespace {

using Clock = std::chrono::steady_clock;

// Added to a buffer's wire time before we give up on JACK taking it.
constexpr std::chrono::milliseconds writeMargin{1000};
// The longest Close waits for queued bytes to leave.
constexpr std::chrono::milliseconds drainLimit{1000};
constexpr std::chrono::milliseconds pollInterval{1};
// Bytes RtMidi's ring holds per buffer on top of the buffer itself (its int length field).
constexpr std::size_t ringOverheadBytes = 4;
// How much we let wait in RtMidi's 16384-byte ring: half of it, to stay clear of its edge.
constexpr std::size_t ringBudgetBytes = 8192;
// Cycles our counter must advance after a write before we count RtMidi's ring as empty: RtMidi's
// client runs beside ours in each cycle, not necessarily before it, and may have been inside the
// cycle that was running when we wrote.
constexpr std::uint64_t drainCycles = 3;

struct JackClientCloser {
    void operator()(jack_client_t* client) const { jack_client_close(client); }
};
using JackClient = std::unique_ptr<jack_client_t, JackClientCloser>;

JackClient OpenClient(const char* name) {
    QuietSystemLibraries();
    jack_status_t status{};
    return JackClient(jack_client_open(name, JackNoStartServer, &status));
}

const std::string noServer = "No JACK server is running.";

} // namespace

struct JackMidiDriver::Session {
    // Written on JACK's threads, read on ours.
    std::atomic<std::uint64_t> cycles{0};
    std::atomic<bool> serverGone{false};

    JackClient watch;
    std::unique_ptr<RtMidiOut> out;
    // What RtMidi reported during the call in progress (its error callback runs on our thread).
    std::string rtMidiError;

    // Bytes possibly still in RtMidi's ring, and our cycle count when the last of them went in.
    std::size_t queuedBytes = 0;
    std::uint64_t lastWriteCycle = 0;

    ~Session() {
        // RtMidi's client goes before ours, so the port is unregistered by a live client.
        out.reset();
        watch.reset();
    }

    static int CountCycle(jack_nframes_t, void* arg) {
        static_cast<Session*>(arg)->cycles.fetch_add(1, std::memory_order_release);
        return 0;
    }
    static void ServerShutDown(void* arg) {
        static_cast<Session*>(arg)->serverGone.store(true, std::memory_order_release);
    }
    static void RtMidiFailed(RtMidiError::Type type, const std::string& text, void* arg) {
        if (type != RtMidiError::DEBUG_WARNING) {
            static_cast<Session*>(arg)->rtMidiError = text;
        }
    }

    // Forgets the bytes the server has surely taken since they were written.
    void ForgetDrained() {
        if (cycles.load(std::memory_order_acquire) >= lastWriteCycle + drainCycles) {
            queuedBytes = 0;
        }
    }

    // The error RtMidi reported since the last call, if any.
    MidiStatus TakeRtMidiStatus() {
        if (rtMidiError.empty()) {
            return {};
        }
        return MidiStatus::Error(std::exchange(rtMidiError, {}));
    }
};

JackMidiDriver::JackMidiDriver() = default;

JackMidiDriver::~JackMidiDriver() {
    Close();
}

std::vector<std::string> JackMidiDriver::PortNames() {
    ports.clear();
    listed = true;
    // The same list, in the same order, as RtMidi's getPortName gives for its output.
    JackClient client = OpenClient("Velomire");
    if (!client) {
        return ports;
    }
    const char** names =
        jack_get_ports(client.get(), nullptr, JACK_DEFAULT_MIDI_TYPE, JackPortIsInput);
    for (const char** name = names; name != nullptr && *name != nullptr; ++name) {
        ports.emplace_back(*name);
    }
    jack_free(static_cast<void*>(names));
    return ports;
}

MidiStatus JackMidiDriver::Open(unsigned index) {
    Close();
    if (!listed) {
        PortNames();
    }
    if (index >= ports.size()) {
        return MidiStatus::Error("There is no JACK MIDI port number " + std::to_string(index) +
                                 ".");
    }
    const std::string& wanted = ports[index];
    try {
        auto opened = std::make_unique<Session>();
        // Our client first: it also tells us whether a server runs before RtMidi tries (and
        // writes its complaint to the console).
        opened->watch = OpenClient("Velomire-watch");
        if (!opened->watch) {
            return MidiStatus::Error(noServer);
        }
        jack_set_process_callback(opened->watch.get(), &Session::CountCycle, opened.get());
        jack_on_shutdown(opened->watch.get(), &Session::ServerShutDown, opened.get());
        if (jack_activate(opened->watch.get()) != 0) {
            return MidiStatus::Error("The JACK server refused a client.");
        }

        opened->out = std::make_unique<RtMidiOut>(RtMidi::UNIX_JACK, "Velomire");
        opened->out->setErrorCallback(&Session::RtMidiFailed, opened.get());
        if (opened->out->getCurrentApi() != RtMidi::UNIX_JACK) {
            return MidiStatus::Error("This RtMidi has no JACK support.");
        }
        const unsigned count = opened->out->getPortCount();
        unsigned found = count;
        for (unsigned i = 0; i < count && found == count; ++i) {
            if (opened->out->getPortName(i) == wanted) {
                found = i;
            }
        }
        opened->TakeRtMidiStatus();
        if (found == count) {
            return MidiStatus::Error("The JACK MIDI port " + wanted + " has gone.");
        }
        opened->out->openPort(found, "out");
        if (MidiStatus status = opened->TakeRtMidiStatus(); !status) {
            return status;
        }
        opened->lastWriteCycle = opened->cycles.load(std::memory_order_acquire);
        session = std::move(opened);
        return {};
    } catch (const std::exception& e) {
        return MidiStatus::Error(e.what());
    }
}

MidiStatus JackMidiDriver::Write(std::span<const std::uint8_t> bytes) {
    if (!session) {
        return MidiStatus::Error("The JACK MIDI output port is not open.");
    }
    if (bytes.empty()) {
        return {};
    }
    if (bytes.size() > maxWriteBytes) {
        return MidiStatus::Error("A MIDI message of " + std::to_string(bytes.size()) +
                                 " bytes is too long for JACK output (at most " +
                                 std::to_string(maxWriteBytes) + ").");
    }
    const std::size_t needed = bytes.size() + ringOverheadBytes;
    const auto deadline =
        Clock::now() + midiWireTimePerByte * static_cast<std::int64_t>(bytes.size()) + writeMargin;
    for (;;) {
        if (session->serverGone.load(std::memory_order_acquire)) {
            return MidiStatus::Error("The JACK server has stopped.");
        }
        session->ForgetDrained();
        // A buffer bigger than the budget goes alone into an empty ring, which holds it.
        if (session->queuedBytes == 0 || session->queuedBytes + needed <= ringBudgetBytes) {
            break;
        }
        if (Clock::now() >= deadline) {
            return MidiStatus::Error(
                "The JACK server did not take the MIDI data in time; the message was abandoned.");
        }
        std::this_thread::sleep_for(pollInterval);
    }
    try {
        session->out->sendMessage(bytes.data(), bytes.size());
    } catch (const std::exception& e) {
        return MidiStatus::Error(e.what());
    }
    session->queuedBytes += needed;
    session->lastWriteCycle = session->cycles.load(std::memory_order_acquire);
    return session->TakeRtMidiStatus();
}

MidiStatus JackMidiDriver::Close() {
    if (!session) {
        return {};
    }
    // Unregistering the port would drop what RtMidi has not yet passed to the server.
    const auto deadline = Clock::now() + drainLimit;
    while (!session->serverGone.load(std::memory_order_acquire) &&
           session->cycles.load(std::memory_order_acquire) <
               session->lastWriteCycle + drainCycles &&
           Clock::now() < deadline) {
        std::this_thread::sleep_for(pollInterval);
    }
    MidiStatus status;
    try {
        session->out->closePort();
        status = session->TakeRtMidiStatus();
    } catch (const std::exception& e) {
        status = MidiStatus::Error(e.what());
    }
    session.reset();
    return status;
}

} // namespace velomire::transfer
