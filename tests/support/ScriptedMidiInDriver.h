#pragma once

#include "transfer/MidiInDriver.h"

#include <deque>
#include <string>
#include <vector>

namespace velomire::testing {

// An input port that hands over, at each poll, the next batch of pieces it was given, stamped with
// the clock's time (when given one), and can report an overrun at a chosen poll.
class ScriptedMidiInDriver : public transfer::MidiInDriver {
public:
    explicit ScriptedMidiInDriver(transfer::WaitClock* clock = nullptr) : clock(clock) {}

    std::vector<std::string> PortNames() override { return ports; }
    transfer::MidiStatus Open(unsigned index) override {
        return index < ports.size() ? transfer::MidiStatus{}
                                    : transfer::MidiStatus::Error("no such port");
    }
    transfer::MidiStatus Poll(std::vector<transfer::MidiInBytes>& out) override {
        ++polls;
        if (batches.empty()) {
            return Gone() ? transfer::MidiStatus::Error("The MIDI device has gone.")
                          : transfer::MidiStatus{};
        }
        for (auto& piece : batches.front()) {
            out.push_back({std::move(piece),
                           clock != nullptr ? clock->Now() : transfer::WaitClock::TimePoint{}});
        }
        batches.pop_front();
        if (overrunAt == polls) {
            return transfer::MidiStatus::Error("overrun");
        }
        return {};
    }
    transfer::MidiStatus Close() override { return {}; }
    // Unplugged once the batches are out.
    bool Gone() const override { return unplugged && batches.empty(); }

    transfer::WaitClock* clock;
    std::vector<std::string> ports = {"Sampler out"};
    std::deque<std::vector<std::vector<std::uint8_t>>> batches;
    int polls = 0;
    int overrunAt = -1;
    bool unplugged = false;
};

} // namespace velomire::testing
