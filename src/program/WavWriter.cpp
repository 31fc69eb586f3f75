#include "program/WavWriter.h"

#include "program/ByteWriter.h"
#include "program/SampleChunks.h"

#include <algorithm>

#include <fstream>

namespace velomire::program {
namespace {

void PutTag(std::vector<std::uint8_t>& bytes, const char* tag) {
    bytes.insert(bytes.end(), tag, tag + 4);
}

void Put16(std::vector<std::uint8_t>& bytes, std::uint16_t value) {
    ByteWriter(bytes).U16(value);
}

void Put32(std::vector<std::uint8_t>& bytes, std::uint32_t value) {
    ByteWriter(bytes).U32(value);
}

} // namespace

std::vector<std::uint8_t> WavWriter::Header(std::uint16_t channels, std::uint32_t rate,
                                            std::uint32_t frames) {
    const std::uint32_t blockAlign = channels * 2u;
    const std::uint32_t dataBytes = frames * blockAlign;
    std::vector<std::uint8_t> bytes;
    bytes.reserve(headerBytes);
    PutTag(bytes, "RIFF");
    Put32(bytes, 36 + dataBytes);
    PutTag(bytes, "WAVE");
    PutTag(bytes, "fmt ");
    Put32(bytes, 16);
    Put16(bytes, 1); // PCM
    Put16(bytes, channels);
    Put32(bytes, rate);
    Put32(bytes, rate * blockAlign);
    Put16(bytes, static_cast<std::uint16_t>(blockAlign));
    Put16(bytes, 16);
    PutTag(bytes, "data");
    Put32(bytes, dataBytes);
    return bytes;
}

std::vector<std::uint8_t> WavWriter::Image(std::uint16_t channels, std::uint32_t rate,
                                           std::span<const std::int16_t> samples) {
    const auto frames = static_cast<std::uint32_t>(channels == 0 ? 0 : samples.size() / channels);
    auto bytes = Header(channels, rate, frames);
    for (std::size_t i = 0; i < std::size_t{frames} * channels; ++i) {
        Put16(bytes, static_cast<std::uint16_t>(samples[i]));
    }
    return bytes;
}

std::vector<std::uint8_t> WavWriter::Image(std::uint16_t channels, std::uint32_t rate,
                                           std::span<const std::int16_t> samples,
                                           const SampleChunks& chunks) {
    auto bytes = Image(channels, rate, samples);
    const auto append = [&bytes](const char* tag, const std::vector<std::uint8_t>& body) {
        PutTag(bytes, tag);
        Put32(bytes, static_cast<std::uint32_t>(body.size()));
        bytes.insert(bytes.end(), body.begin(), body.end());
        if (body.size() % 2 != 0) {
            bytes.push_back(0); // chunks start at even offsets
        }
    };
    append("smpl", SmplChunkBody(chunks, rate));
    if (chunks.lowKey || chunks.highKey) {
        append("inst", InstChunkBody(chunks));
    }
    // The RIFF size counts everything after its own field.
    std::vector<std::uint8_t> riffSize;
    Put32(riffSize, static_cast<std::uint32_t>(bytes.size() - 8));
    std::copy(riffSize.begin(), riffSize.end(), bytes.begin() + 4);
    return bytes;
}

bool WavWriter::Write(const std::filesystem::path& path, std::uint16_t channels, std::uint32_t rate,
                      std::uint32_t frames,
                      const std::function<std::int16_t(std::uint32_t, std::uint16_t)>& sample) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    auto bytes = Header(channels, rate, frames);
    constexpr std::size_t blockBytes = 1 << 20;
    for (std::uint32_t frame = 0; frame < frames && out; ++frame) {
        for (std::uint16_t channel = 0; channel < channels; ++channel) {
            Put16(bytes, static_cast<std::uint16_t>(sample(frame, channel)));
        }
        if (bytes.size() >= blockBytes) {
            out.write(reinterpret_cast<const char*>(bytes.data()),
                      static_cast<std::streamsize>(bytes.size()));
            bytes.clear();
        }
    }
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    out.close();
    return static_cast<bool>(out);
}

bool WavWriter::Write(const std::filesystem::path& path, std::uint16_t channels, std::uint32_t rate,
                      std::span<const std::int16_t> samples) {
    const auto bytes = Image(channels, rate, samples);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    out.close();
    return static_cast<bool>(out);
}

} // namespace velomire::program
