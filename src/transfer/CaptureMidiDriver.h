#pragma once

#include "transfer/MidiDriver.h"

#include <cstdint>
#include <vector>

namespace velomire::transfer {

// One port that keeps every byte written to it, in order: what a transfer would put on the wire.
class CaptureMidiDriver final : public MidiDriver {
public:
    std::vector<std::string> PortNames() override { return {"Capture"}; }
    MidiStatus Open(unsigned index) override {
        return index == 0 ? MidiStatus{} : MidiStatus::Error("No such port");
    }
    MidiStatus Write(std::span<const std::uint8_t> data) override {
        bytes.insert(bytes.end(), data.begin(), data.end());
        return {};
    }
    MidiStatus Close() override { return {}; }

    std::vector<std::uint8_t> bytes;
};

} // namespace velomire::transfer
