#pragma once

#include "editing/AudioOutput.h"

#include <algorithm>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace velomire::testing {

// An output that plays nothing: it keeps every block it was given and every call, and lets the
// test decide when blocks come back and how many samples have been played.
class FakeAudioOutput : public editing::AudioOutput {
public:
    struct Block {
        std::uint64_t tag = 0;
        std::vector<std::int16_t> frames;
        std::size_t Bytes() const { return frames.size() * 2; }
    };

    std::vector<std::string> DeviceNames() override { return names; }

    std::vector<std::string> names{"Fake: speakers"};

    editing::AudioStatus Open(int device, std::uint32_t rate) override {
        calls.push_back("Open " + std::to_string(device) + " " + std::to_string(rate));
        if (openResult) {
            open = true;
            played = 0;
        }
        return openResult;
    }
    bool IsOpen() const override { return open; }

    editing::AudioStatus Queue(std::uint64_t tag, std::span<const std::int16_t> frames) override {
        if (queueResult.code != editing::AudioError::None) {
            return queueResult;
        }
        blocks.push_back({tag, {frames.begin(), frames.end()}});
        inDevice.push_back(tag);
        return {};
    }

    // Like the device: every queued block is dropped and comes back; the count starts again.
    void Reset() override {
        calls.push_back("Reset");
        returnedByReset.insert(returnedByReset.end(), inDevice.begin(), inDevice.end());
        inDevice.clear();
        played = 0;
    }

    std::uint64_t SamplesPlayed() const override { return played; }

    void Close() override {
        calls.push_back("Close");
        open = false;
        inDevice.clear();
    }

    // The oldest block in the device, taken out as played (0 when there is none).
    std::uint64_t PlayOldest() {
        if (inDevice.empty()) {
            return 0;
        }
        const std::uint64_t tag = inDevice.front();
        inDevice.erase(inDevice.begin());
        return tag;
    }

    editing::AudioStatus openResult;
    editing::AudioStatus queueResult;
    bool open = false;
    std::uint64_t played = 0;
    std::vector<std::string> calls;
    std::vector<Block> blocks;
    std::vector<std::uint64_t> inDevice;
    std::vector<std::uint64_t> returnedByReset;
};

} // namespace velomire::testing
