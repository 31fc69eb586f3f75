#pragma once

// What the benchmark programs share: a message sink that shows nothing, and a writer of canonical
// 16-bit PCM WAV files.

#include "program/UserMessages.h"
#include "program/WavWriter.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <vector>

namespace velomire::bench {

class SilentMessages : public program::UserMessages {
public:
    void Show(std::string_view, std::string_view) override { ++count; }
    int count = 0;
};

// Writes a canonical 16-bit file; `sample(frame, channel)` gives each value.
inline void WriteWav(const std::filesystem::path& path, std::uint16_t channels, std::uint32_t rate,
                     std::uint32_t frames,
                     const std::function<std::int16_t(std::uint32_t, std::uint16_t)>& sample) {
    program::WavWriter::Write(path, channels, rate, frames, sample);
}

} // namespace velomire::bench
