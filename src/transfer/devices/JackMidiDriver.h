#pragma once

#include "transfer/MidiDriver.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace velomire::transfer {

// Output to a JACK MIDI input port, written directly on libjack. Never starts a JACK server.
//
// While open we keep a client ("Velomire") with one MIDI output port connected to the chosen
// input. Write puts the bytes into a lock-free ring; our process callback takes them out at the
// MIDI wire's pace (31250 baud, about 18 bytes per 256-frame period at 44.1 kHz) and writes each
// cycle's share as one JACK MIDI event sized to what the cycle's port buffer holds. A System
// Exclusive message larger than one cycle's buffer (an S900 program of 11,285 bytes) therefore
// arrives complete and in order, spread over several events, as JACK MIDI allows.
//
// Write fails, and the transfer with it, when the server has shut down, when it has not run a
// cycle for 1 s (frozen), when the destination port is no longer connected (unregistered), or when
// the ring has not made room within the bytes' wire time plus 1 s. A receiver that misses a cycle
// (an xrun) loses that cycle's events and nobody else tells: JACK's xrun notice does not say whose
// cycle was missed, so every xrun the server tells of while our bytes are on their way counts as
// one of them lost (MissedCycles); the send then warns. Close lets the ring drain first (bounded
// the same way) and fails when the destination has gone meanwhile. After any such
// failure the client is closed on a detached thread: libjack's close waits on the server, and a
// frozen server would otherwise hold the application until it recovers; the process stays free
// to go on or to exit, and the thread ends (freeing the client) if the server ever answers.
// Listing and Open wait for the server's answers at most 2 s each (CallJackServer).
class JackMidiDriver final : public MidiDriver {
public:
    // What the ring holds: more than the largest buffer the senders build.
    static constexpr std::size_t ringBytes = 32768;

    JackMidiDriver();
    ~JackMidiDriver() override;
    JackMidiDriver(const JackMidiDriver&) = delete;
    JackMidiDriver& operator=(const JackMidiDriver&) = delete;

    // The full names ("client:port") of the JACK MIDI input ports; empty when no server runs.
    std::vector<std::string> PortNames() override;
    // The index refers to the last PortNames() list (taken now if there was none); the port is
    // found again by its name.
    MidiStatus Open(unsigned index) override;
    MidiStatus Write(std::span<const std::uint8_t> bytes) override;
    MidiStatus Close() override;
    std::string OpenPortName() const override;
    std::uint32_t MissedCycles() const override;

private:
    struct Session;
    // Waits with the idle hook until `done` or a failure; the failure's text, or empty.
    template <typename Done>
    std::string WaitUntil(Done done, std::chrono::steady_clock::time_point deadline,
                          const char* lateText);
    void GiveUp();

    std::unique_ptr<Session> session;
    std::vector<std::string> ports;
    bool listed = false;
    // The last opening's count, once its session has gone.
    std::uint32_t missedCycles = 0;
};

} // namespace velomire::transfer
