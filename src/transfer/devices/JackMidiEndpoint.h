#pragma once

#include "transfer/MidiEndpoint.h"

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include <jack/ringbuffer.h>
#include <jack/types.h>

namespace velomire::transfer {

// A JACK client with MIDI ports of its own: an input whose events are kept for Poll (and may be
// answered in the cycle by a responder) and an output that sends what Write queues. The process
// thread and the caller meet only in two lock-free ring buffers, the responder (which never
// waits or allocates) and atomic flags, so the process callback does bounded work and nothing
// waits inside a JACK cycle. Input lost to a full ring or to an xrun is reported by Poll, and
// the piece after a full ring is marked. Never starts a JACK server.
class JackMidiEndpoint final : public MidiEndpoint {
public:
    // Holds this many bytes of input between two polls (events and their 12-byte headers).
    static constexpr std::size_t inputRingBytes = 1 << 20;
    static constexpr std::size_t outputRingBytes = 1 << 18;

    // A client named `clientName` (JACK may make it unique) with an input port "in" and/or an
    // output port "out"; null with the reason in `error` when that cannot be had.
    static std::unique_ptr<JackMidiEndpoint> Open(const std::string& clientName, bool withInput,
                                                  bool withOutput, std::string& error);
    ~JackMidiEndpoint() override;
    JackMidiEndpoint(const JackMidiEndpoint&) = delete;
    JackMidiEndpoint& operator=(const JackMidiEndpoint&) = delete;

    // "client:in" and "client:out", as other clients see them.
    std::string InputName() const override;
    std::string OutputName() const override;

    MidiStatus ConnectFrom(const std::string& source);
    // Everything that arrived since the last call; an error when input was lost to a full ring
    // or may have been lost to an xrun, or the server has stopped.
    MidiStatus Poll(std::vector<MidiInBytes>& out) override;
    // Queues one event for the next cycles; an error when the ring is full or the server stopped.
    MidiStatus Write(std::span<const std::uint8_t> bytes) override;
    bool ServerGone() const override { return serverGone.load(std::memory_order_acquire); }
    // True once the server has stopped, or has run no cycle for a second (frozen).
    bool Stalled() const;
    // Closes the endpoint on a thread of its own and waits for that at most `limit`: libjack's
    // close waits for the server, and a frozen one would hold the caller until it recovers. The
    // thread ends (freeing the client) if the server ever answers.
    static void Release(std::unique_ptr<JackMidiEndpoint> endpoint,
                        std::chrono::milliseconds limit = std::chrono::milliseconds(250));
    // The responder's replies leave on the output in the cycle the input arrived in, after what
    // Write queued before them.
    void SetResponder(MidiResponder* responder) override {
        this->responder.store(responder, std::memory_order_release);
    }

    // A client of the running server, or null. A server that runs but turns the client away
    // (busy with another client coming or going, as happens under load) is asked again a few
    // times; one that does not run is not. Waits for the server: call it through CallJackServer.
    static jack_client_t* OpenClient(const char* name);

    // The names of the JACK MIDI ports with these flags (JackPortIsInput or JackPortIsOutput);
    // empty when no server runs or it does not answer in time (see CallJackServer), `idle`
    // running meanwhile.
    static std::vector<std::string> ListPorts(unsigned long flags,
                                              const std::function<void()>& idle = {});

private:
    JackMidiEndpoint() = default;
    static int Process(std::uint32_t frames, void* arg);
    static int Xrun(void* arg);
    static void ShutDown(void* arg);

    jack_client_t* client = nullptr;
    jack_port_t* input = nullptr;
    jack_port_t* output = nullptr;
    jack_ringbuffer_t* inRing = nullptr;
    jack_ringbuffer_t* outRing = nullptr;
    std::atomic<bool> serverGone{false};
    std::atomic<bool> inputLost{false};
    std::atomic<bool> replyLost{false};
    std::atomic<unsigned> xruns{0};
    // Cycles run, counted by the process thread, and (caller's side) when the count last moved.
    std::atomic<std::uint64_t> cycles{0};
    mutable std::uint64_t seenCycles = 0;
    mutable std::chrono::steady_clock::time_point seenAt = std::chrono::steady_clock::now();
    std::atomic<MidiResponder*> responder{nullptr};
    // Process thread only: the responder's replies of the current cycle, one after another, and
    // whether the last event was lost to a full ring.
    std::array<std::uint8_t, 64 * MidiResponder::maxReplyBytes> replies{};
    std::array<std::size_t, 64> replyLengths{};
    std::size_t replyCount = 0;
    bool lostBefore = false;
};

} // namespace velomire::transfer
