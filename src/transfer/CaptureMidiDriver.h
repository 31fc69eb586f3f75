#pragma once

#include "transfer/MidiDriver.h"

#include <cstdint>
#include <ostream>
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

// One port that writes every byte to a stream as it comes, so that rendering a transfer of any
// length holds no more than one message in memory. A stream that fails refuses the write.
class StreamMidiDriver final : public MidiDriver {
public:
    explicit StreamMidiDriver(std::ostream& out) : out(out) {}
    std::vector<std::string> PortNames() override { return {"Stream"}; }
    MidiStatus Open(unsigned index) override {
        return index == 0 ? MidiStatus{} : MidiStatus::Error("No such port");
    }
    MidiStatus Write(std::span<const std::uint8_t> data) override {
        out.write(reinterpret_cast<const char*>(data.data()),
                  static_cast<std::streamsize>(data.size()));
        return out ? MidiStatus{} : MidiStatus::Error("Error: Can't write File !");
    }
    MidiStatus Close() override {
        out.flush();
        return out ? MidiStatus{} : MidiStatus::Error("Error: Can't write File !");
    }
    std::string OpenPortName() const override { return "Stream"; }

private:
    std::ostream& out;
};

} // namespace velomire::transfer
