#pragma once

// What the benchmark programs share: a message sink that shows nothing, and a writer of canonical
// 16-bit PCM WAV files.

#include "program/UserMessages.h"

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <vector>

namespace velomire::bench {

class SilentMessages : public program::UserMessages {
public:
    void Show(std::string_view, std::string_view) override { ++count; }
    int count = 0;
};

// Writes a 44-byte header and `frames` frames; `sample(frame, channel)` gives each value, asked
// frame by frame, channel by channel.
inline void WriteWav(const std::filesystem::path& path, std::uint16_t channels, std::uint32_t rate,
                     std::uint32_t frames,
                     const std::function<std::int16_t(std::uint32_t, std::uint16_t)>& sample) {
    std::vector<char> bytes;
    const auto put = [&bytes](std::uint32_t value, int size) {
        for (int i = 0; i < size; ++i) {
            bytes.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
        }
    };
    const auto tag = [&bytes](const char* text) { bytes.insert(bytes.end(), text, text + 4); };
    const std::uint32_t dataBytes = frames * channels * 2u;
    tag("RIFF");
    put(36 + dataBytes, 4);
    tag("WAVE");
    tag("fmt ");
    put(16, 4);
    put(1, 2);
    put(channels, 2);
    put(rate, 4);
    put(rate * channels * 2u, 4);
    put(channels * 2u, 2);
    put(16, 2);
    tag("data");
    put(dataBytes, 4);

    std::ofstream out(path, std::ios::binary);
    constexpr std::size_t flushBytes = 1 << 20;
    for (std::uint32_t frame = 0; frame < frames; ++frame) {
        for (std::uint16_t channel = 0; channel < channels; ++channel) {
            put(static_cast<std::uint16_t>(sample(frame, channel)), 2);
        }
        if (bytes.size() >= flushBytes) {
            out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
            bytes.clear();
        }
    }
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

} // namespace velomire::bench
