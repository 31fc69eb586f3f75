#pragma once

#include "transfer/MidiInDriver.h"
#include "transfer/SimulatedSampler.h"

#include "support/FakeWaitClock.h"
#include "support/RecordingMidiDriver.h"

#include <map>
#include <vector>

namespace velomire::testing {

// A simulated sampler behind both cables, in process: what the MIDI Out port writes goes to the
// sampler, whose answers come back on the MIDI In port once their time has come on the fake
// clock. Every byte written is also recorded.
class SamplerLink : public RecordingMidiDriver, public transfer::MidiInDriver {
public:
    SamplerLink(FakeWaitClock& clock, transfer::SamplerScript script)
        : clock(clock), sampler(std::move(script)) {}

    std::vector<std::string> PortNames() override { return ports; }
    transfer::MidiStatus Open(unsigned index) override { return RecordingMidiDriver::Open(index); }
    transfer::MidiStatus Close() override { return RecordingMidiDriver::Close(); }
    transfer::MidiStatus Write(std::span<const std::uint8_t> bytes) override {
        for (auto& reply : sampler.Feed(bytes)) {
            Answer(bytes, reply);
            pending.emplace(clock.now + reply.delay, std::move(reply.bytes));
        }
        return RecordingMidiDriver::Write(bytes);
    }
    transfer::MidiStatus Poll(std::vector<transfer::MidiInBytes>& out) override {
        while (!pending.empty() && pending.begin()->first <= clock.now) {
            out.push_back({pending.begin()->second, pending.begin()->first});
            pending.erase(pending.begin());
        }
        return {};
    }

    FakeWaitClock& clock;
    transfer::SimulatedSampler sampler;
    std::multimap<transfer::WaitClock::TimePoint, std::vector<std::uint8_t>> pending;

protected:
    // A test's chance to change one of the sampler's answers to `written` before it is sent.
    virtual void Answer(std::span<const std::uint8_t> /*written*/,
                        transfer::TimedReply& /*reply*/) {}
};

} // namespace velomire::testing
