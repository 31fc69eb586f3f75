#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <span>
#include <vector>

namespace velomire::program {

struct SampleChunks;

// Writes canonical 16-bit PCM WAV files: "RIFF", "WAVE", a 16-byte "fmt " chunk and a "data"
// chunk, little-endian, 44 bytes before the first frame. The demo tool, the benchmarks and the
// tests make their files with it.
class WavWriter {
public:
    static constexpr std::size_t headerBytes = 44;

    // The 44-byte header of a file of `frames` frames.
    static std::vector<std::uint8_t> Header(std::uint16_t channels, std::uint32_t rate,
                                            std::uint32_t frames);

    // The whole image of interleaved samples (a trailing partial frame is dropped).
    static std::vector<std::uint8_t> Image(std::uint16_t channels, std::uint32_t rate,
                                           std::span<const std::int16_t> samples);

    // The same, followed by a "smpl" chunk for the chunks' unity note and loops and, when they
    // hold a key range, an "inst" chunk.
    static std::vector<std::uint8_t> Image(std::uint16_t channels, std::uint32_t rate,
                                           std::span<const std::int16_t> samples,
                                           const SampleChunks& chunks);

    // Writes `frames` frames, asking `sample(frame, channel)` frame by frame, channel by channel,
    // in blocks of 1 MB (a 10-minute stereo file never sits in memory). False when the file cannot
    // be written.
    static bool Write(const std::filesystem::path& path, std::uint16_t channels, std::uint32_t rate,
                      std::uint32_t frames,
                      const std::function<std::int16_t(std::uint32_t, std::uint16_t)>& sample);
    static bool Write(const std::filesystem::path& path, std::uint16_t channels, std::uint32_t rate,
                      std::span<const std::int16_t> samples);
};

} // namespace velomire::program
