#pragma once

#include "transfer/MidiInDriver.h"
#include "transfer/SimulatedSampler.h"

#include "support/FakeWaitClock.h"
#include "support/RecordingMidiDriver.h"

#include <map>
#include <optional>
#include <vector>

namespace velomire::testing {

// A simulated sampler behind both cables, in process: what the MIDI Out port writes goes to the
// sampler, whose answers come back on the MIDI In port once their time has come on the fake
// clock. Every byte written is also recorded. A sampler left without an answer goes on after its
// wait, on the fake clock.
class SamplerLink : public RecordingMidiDriver, public transfer::MidiInDriver {
public:
    SamplerLink(FakeWaitClock& clock, transfer::SamplerScript script)
        : clock(clock), sampler(std::move(script)) {}

    std::vector<std::string> PortNames() override { return ports; }
    transfer::MidiStatus Open(unsigned index) override { return RecordingMidiDriver::Open(index); }
    transfer::MidiStatus Close() override { return RecordingMidiDriver::Close(); }
    transfer::MidiStatus Write(std::span<const std::uint8_t> bytes) override {
        lastTraffic = clock.now;
        if (lose == written++) {
            return RecordingMidiDriver::Write(
                bytes); // lost on the cable: the sampler never hears it
        }
        for (auto& reply : sampler.Feed(bytes)) {
            Answer(bytes, reply);
            pending.emplace(clock.now + reply.delay, std::move(reply.bytes));
        }
        return RecordingMidiDriver::Write(bytes);
    }
    transfer::MidiStatus Poll(std::vector<transfer::MidiInBytes>& out) override {
        if (pending.empty()) {
            const auto quiet =
                std::chrono::duration_cast<std::chrono::milliseconds>(clock.now - lastTraffic);
            for (auto& reply : sampler.Silence(quiet)) {
                pending.emplace(clock.now + reply.delay, std::move(reply.bytes));
            }
        }
        while (!pending.empty() && pending.begin()->first <= clock.now) {
            out.push_back({pending.begin()->second, pending.begin()->first});
            pending.erase(pending.begin());
            lastTraffic = clock.now;
        }
        return {};
    }

    FakeWaitClock& clock;
    transfer::SimulatedSampler sampler;
    std::multimap<transfer::WaitClock::TimePoint, std::vector<std::uint8_t>> pending;
    std::optional<int> lose; // the write, counted from 0, that never reaches the sampler
    int written = 0;         // writes so far
    transfer::WaitClock::TimePoint lastTraffic{};

protected:
    // A test's chance to change one of the sampler's answers to `written` before it is sent.
    virtual void Answer(std::span<const std::uint8_t> /*written*/,
                        transfer::TimedReply& /*reply*/) {}
};

} // namespace velomire::testing
