#include "transfer/devices/JackMidiEndpoint.h"

#include "transfer/devices/JackServerCall.h"
#include "transfer/devices/QuietSystemLibraries.h"

#include <jack/jack.h>
#include <jack/midiport.h>
#include <jack/ringbuffer.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <future>
#include <memory>
#include <thread>

namespace velomire::transfer {

namespace {

// What precedes each input event in the ring: its size, its arrival on the steady clock, and
// whether input was lost before it and whether the responder answered it.
struct EventHeader {
    std::uint32_t size;
    std::uint32_t flags;
    std::int64_t nanoseconds;
};
constexpr std::uint32_t lostBeforeFlag = 1;
constexpr std::uint32_t answeredFlag = 2;
// How often, and how far apart, a running server is asked for a client.
constexpr int clientAttempts = 3;
constexpr std::chrono::milliseconds clientRetryPause{100};

} // namespace

std::unique_ptr<JackMidiEndpoint> JackMidiEndpoint::Open(const std::string& clientName,
                                                         bool withInput, bool withOutput,
                                                         std::string& error) {
    std::unique_ptr<JackMidiEndpoint> endpoint(new JackMidiEndpoint);
    endpoint->client = OpenClient(clientName.c_str());
    if (endpoint->client == nullptr) {
        error = "No JACK server is running.";
        return nullptr;
    }
    if (withInput) {
        endpoint->inRing = jack_ringbuffer_create(inputRingBytes);
        endpoint->input =
            jack_port_register(endpoint->client, "in", JACK_DEFAULT_MIDI_TYPE, JackPortIsInput, 0);
    }
    if (withOutput) {
        endpoint->outRing = jack_ringbuffer_create(outputRingBytes);
        endpoint->output = jack_port_register(endpoint->client, "out", JACK_DEFAULT_MIDI_TYPE,
                                              JackPortIsOutput, 0);
    }
    if ((withInput && (endpoint->input == nullptr || endpoint->inRing == nullptr)) ||
        (withOutput && (endpoint->output == nullptr || endpoint->outRing == nullptr))) {
        error = "The JACK server refused a MIDI port.";
        return nullptr;
    }
    jack_set_process_callback(endpoint->client, &JackMidiEndpoint::Process, endpoint.get());
    jack_set_xrun_callback(endpoint->client, &JackMidiEndpoint::Xrun, endpoint.get());
    jack_on_shutdown(endpoint->client, &JackMidiEndpoint::ShutDown, endpoint.get());
    if (jack_activate(endpoint->client) != 0) {
        error = "The JACK server refused a client.";
        return nullptr;
    }
    return endpoint;
}

jack_client_t* JackMidiEndpoint::OpenClient(const char* name) {
    QuietSystemLibraries();
    jack_client_t* client = nullptr;
    for (int attempt = 0; client == nullptr && attempt < clientAttempts; ++attempt) {
        if (attempt > 0) {
            std::this_thread::sleep_for(clientRetryPause);
        }
        jack_status_t status{};
        client = jack_client_open(name, JackNoStartServer, &status);
        if (client == nullptr && (status & JackServerFailed) != 0) {
            break;
        }
    }
    return client;
}

JackMidiEndpoint::~JackMidiEndpoint() {
    if (client != nullptr) {
        jack_client_close(client); // stops the process thread before the rings go
    }
    if (inRing != nullptr) {
        jack_ringbuffer_free(inRing);
    }
    if (outRing != nullptr) {
        jack_ringbuffer_free(outRing);
    }
}

std::string JackMidiEndpoint::InputName() const {
    return input != nullptr ? jack_port_name(input) : "";
}

std::string JackMidiEndpoint::OutputName() const {
    return output != nullptr ? jack_port_name(output) : "";
}

MidiStatus JackMidiEndpoint::ConnectFrom(const std::string& source) {
    const int err = jack_connect(client, source.c_str(), jack_port_name(input));
    if (err != 0 && err != EEXIST) {
        return MidiStatus::Error("Cannot connect the JACK MIDI port " + source + ".");
    }
    return {};
}

int JackMidiEndpoint::Process(std::uint32_t frames, void* arg) {
    // Bounded work only: the events are copied into the ring, and the responder (if any) answers
    // from fixed buffers. Decoding happens on the thread that polls.
    auto* self = static_cast<JackMidiEndpoint*>(arg);
    MidiResponder* responder =
        self->output != nullptr ? self->responder.load(std::memory_order_acquire) : nullptr;
    std::size_t replyBytes = 0;
    if (self->input != nullptr) {
        void* buffer = jack_port_get_buffer(self->input, frames);
        const std::uint32_t count = jack_midi_get_event_count(buffer);
        const std::int64_t now = std::chrono::duration_cast<std::chrono::nanoseconds>(
                                     std::chrono::steady_clock::now().time_since_epoch())
                                     .count();
        for (std::uint32_t i = 0; i < count; ++i) {
            jack_midi_event_t event;
            if (jack_midi_event_get(&event, buffer, i) != 0) {
                continue;
            }
            if (jack_ringbuffer_write_space(self->inRing) < sizeof(EventHeader) + event.size) {
                self->inputLost.store(true, std::memory_order_release);
                self->lostBefore = true;
                continue;
            }
            EventHeader header{static_cast<std::uint32_t>(event.size),
                               self->lostBefore ? lostBeforeFlag : 0, now};
            if (responder != nullptr) {
                // Before the event reaches the ring, so that Poll cannot hand it out unanswered.
                std::array<std::uint8_t, MidiResponder::maxReplyBytes> reply{};
                const std::size_t length = std::min(
                    responder->Respond({event.buffer, event.size}, self->lostBefore, reply),
                    reply.size());
                if (length > 0 && replyBytes + length <= self->replies.size() &&
                    self->replyCount < self->replyLengths.size()) {
                    std::copy_n(reply.begin(), length, self->replies.begin() + replyBytes);
                    self->replyLengths[self->replyCount++] = length;
                    replyBytes += length;
                    header.flags |= answeredFlag;
                }
            }
            self->lostBefore = false;
            jack_ringbuffer_write(self->inRing, reinterpret_cast<const char*>(&header),
                                  sizeof header);
            jack_ringbuffer_write(self->inRing, reinterpret_cast<const char*>(event.buffer),
                                  event.size);
        }
    }
    if (self->output != nullptr) {
        void* buffer = jack_port_get_buffer(self->output, frames);
        jack_midi_clear_buffer(buffer);
        std::uint32_t size = 0;
        // Whole events only; one that does not fit in this cycle's buffer waits for the next.
        while (jack_ringbuffer_read_space(self->outRing) >= sizeof size) {
            jack_ringbuffer_peek(self->outRing, reinterpret_cast<char*>(&size), sizeof size);
            if (jack_ringbuffer_read_space(self->outRing) < sizeof size + size) {
                break;
            }
            jack_midi_data_t* slot = jack_midi_event_reserve(buffer, 0, size);
            if (slot == nullptr) {
                break;
            }
            jack_ringbuffer_read_advance(self->outRing, sizeof size);
            jack_ringbuffer_read(self->outRing, reinterpret_cast<char*>(slot), size);
        }
        std::size_t at = 0;
        for (std::size_t r = 0; r < self->replyCount; ++r) {
            const std::size_t length = self->replyLengths[r];
            jack_midi_data_t* slot = jack_midi_event_reserve(buffer, 0, length);
            if (slot == nullptr) {
                self->replyLost.store(true, std::memory_order_release);
            } else {
                std::memcpy(slot, self->replies.data() + at, length);
            }
            at += length;
        }
    }
    self->replyCount = 0;
    self->cycles.fetch_add(1, std::memory_order_release);
    return 0;
}

int JackMidiEndpoint::Xrun(void* arg) {
    static_cast<JackMidiEndpoint*>(arg)->xruns.fetch_add(1, std::memory_order_acq_rel);
    return 0;
}

bool JackMidiEndpoint::Stalled() const {
    // A dummy or sound-card driver runs a cycle every few milliseconds.
    constexpr std::chrono::milliseconds stallLimit{1000};
    if (ServerGone()) {
        return true;
    }
    const auto now = std::chrono::steady_clock::now();
    if (const std::uint64_t count = cycles.load(std::memory_order_acquire); count != seenCycles) {
        seenCycles = count;
        seenAt = now;
    }
    return now - seenAt >= stallLimit;
}

void JackMidiEndpoint::Release(std::unique_ptr<JackMidiEndpoint> endpoint,
                               std::chrono::milliseconds limit) {
    if (!endpoint) {
        return;
    }
    auto closed = std::make_shared<std::promise<void>>();
    std::future<void> done = closed->get_future();
    std::thread([gone = std::move(endpoint), closed]() mutable {
        gone.reset();
        closed->set_value();
    }).detach();
    done.wait_for(limit);
}

void JackMidiEndpoint::ShutDown(void* arg) {
    static_cast<JackMidiEndpoint*>(arg)->serverGone.store(true, std::memory_order_release);
}

MidiStatus JackMidiEndpoint::Poll(std::vector<MidiInBytes>& out) {
    EventHeader header{};
    // The process thread writes an event's header before its bytes: take only whole events.
    while (jack_ringbuffer_read_space(inRing) >= sizeof header) {
        jack_ringbuffer_peek(inRing, reinterpret_cast<char*>(&header), sizeof header);
        if (jack_ringbuffer_read_space(inRing) < sizeof header + header.size) {
            break;
        }
        jack_ringbuffer_read_advance(inRing, sizeof header);
        MidiInBytes piece;
        piece.bytes.resize(header.size);
        jack_ringbuffer_read(inRing, reinterpret_cast<char*>(piece.bytes.data()), header.size);
        piece.time = WaitClock::TimePoint(std::chrono::nanoseconds(header.nanoseconds));
        piece.lostBefore = (header.flags & lostBeforeFlag) != 0;
        piece.answered = (header.flags & answeredFlag) != 0;
        out.push_back(std::move(piece));
    }
    if (inputLost.exchange(false, std::memory_order_acq_rel)) {
        return MidiStatus::Error("MIDI input was lost: JACK delivered more than was read.");
    }
    if (const unsigned count = xruns.exchange(0, std::memory_order_acq_rel); count > 0) {
        return MidiStatus::Error(
            "JACK reported " +
            (count == 1 ? std::string("an xrun") : std::to_string(count) + " xruns") +
            ": MIDI input in it may have been lost.");
    }
    if (replyLost.exchange(false, std::memory_order_acq_rel)) {
        return MidiStatus::Error("A reply was lost: the JACK cycle had no room for it.");
    }
    if (ServerGone()) {
        return MidiStatus::Error("The JACK server has stopped.");
    }
    return {};
}

MidiStatus JackMidiEndpoint::Write(std::span<const std::uint8_t> bytes) {
    if (ServerGone()) {
        return MidiStatus::Error("The JACK server has stopped.");
    }
    const auto size = static_cast<std::uint32_t>(bytes.size());
    if (jack_ringbuffer_write_space(outRing) < sizeof size + size) {
        return MidiStatus::Error("The JACK MIDI output is full.");
    }
    jack_ringbuffer_write(outRing, reinterpret_cast<const char*>(&size), sizeof size);
    jack_ringbuffer_write(outRing, reinterpret_cast<const char*>(bytes.data()), size);
    return {};
}

std::vector<std::string> JackMidiEndpoint::ListPorts(unsigned long flags,
                                                     const std::function<void()>& idle) {
    QuietSystemLibraries();
    const auto listed = CallJackServer<std::vector<std::string>>(
        [flags] {
            std::vector<std::string> names;
            jack_client_t* lister = OpenClient("Velomire");
            if (lister == nullptr) {
                return names;
            }
            const char** ports = jack_get_ports(lister, nullptr, JACK_DEFAULT_MIDI_TYPE, flags);
            for (const char** name = ports; name != nullptr && *name != nullptr; ++name) {
                names.emplace_back(*name);
            }
            jack_free(static_cast<void*>(ports));
            jack_client_close(lister);
            return names;
        },
        idle);
    return listed.value_or(std::vector<std::string>{});
}

} // namespace velomire::transfer
