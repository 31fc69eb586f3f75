#pragma once

#include "transfer/MidiDriver.h"

#include <cstdint>
#include <string>
#include <vector>

namespace velomire::testing {

// A MIDI driver that keeps every buffer it is given, in order, and can be told to fail.
class RecordingMidiDriver : public transfer::MidiDriver {
public:
    std::vector<std::string> PortNames() override { return ports; }

    transfer::MidiStatus Open(unsigned index) override {
        if (failOpen || index >= ports.size()) {
            return transfer::MidiStatus::Error("The device is busy");
        }
        open = true;
        openedIndex = index;
        missedCycles = 0;
        ++openCount;
        return {};
    }

    transfer::MidiStatus Write(std::span<const std::uint8_t> bytes) override {
        ++writeCalls;
        if (writeCalls == missAtWrite) {
            ++missedCycles;
        }
        if (writeCalls == failAtWrite) {
            failWritesLeft = 1000;
        }
        if (failWritesLeft > 0) {
            --failWritesLeft;
            return transfer::MidiStatus::Error("The device refused the message");
        }
        writes.emplace_back(bytes.begin(), bytes.end());
        return {};
    }

    transfer::MidiStatus Close() override {
        open = false;
        ++closeCount;
        if (failClose) {
            return transfer::MidiStatus::Error("The device cannot be closed");
        }
        return {};
    }

    std::string OpenPortName() const override { return open ? ports[openedIndex] : ""; }
    std::uint32_t MissedCycles() const override { return missedCycles; }

    // Every byte written, as one stream.
    std::vector<std::uint8_t> AllBytes() const {
        std::vector<std::uint8_t> all;
        for (const auto& w : writes) {
            all.insert(all.end(), w.begin(), w.end());
        }
        return all;
    }

    std::vector<std::string> ports = {"Test Port A", "Test Port B"};
    std::vector<std::vector<std::uint8_t>> writes;
    bool open = false;
    unsigned openedIndex = 0;
    int openCount = 0;
    int closeCount = 0;
    int writeCalls = 0;
    bool failOpen = false;
    bool failClose = false;
    int failWritesLeft = 0;
    int failAtWrite = 0; // from this write (1-based) on, every write fails
    int missAtWrite = 0; // the system misses a cycle during this write (1-based)
    std::uint32_t missedCycles = 0;
};

} // namespace velomire::testing
