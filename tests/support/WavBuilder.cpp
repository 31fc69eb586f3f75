#include "support/WavBuilder.h"

#include "program/WavWriter.h"

#include <cstring>
#include <fstream>
#include <random>
#include <stdexcept>

namespace velomire::testing {
namespace {

void Put16(std::vector<std::uint8_t>& out, std::uint16_t v) {
    out.push_back(static_cast<std::uint8_t>(v & 0xFF));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}

void Put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    Put16(out, static_cast<std::uint16_t>(v & 0xFFFF));
    Put16(out, static_cast<std::uint16_t>(v >> 16));
}

void PutTag(std::vector<std::uint8_t>& out, const char* tag) {
    out.insert(out.end(), tag, tag + 4);
}

} // namespace

std::vector<std::uint8_t> WavBuilder::Canonical(std::uint16_t channels, std::uint32_t rate,
                                                std::uint16_t bits,
                                                const std::vector<std::int16_t>& samples) {
    if (bits == 16 && channels > 0 && samples.size() % channels == 0) {
        return program::WavWriter::Image(channels, rate, samples);
    }
    return WavBuilder().Riff().Fmt(channels, rate, bits).Data(samples).Bytes();
}

WavBuilder& WavBuilder::Riff(const char* tag, const char* form) {
    PutTag(bytes, tag);
    Put32(bytes, 0);
    PutTag(bytes, form);
    return *this;
}

WavBuilder& WavBuilder::Fmt(std::uint16_t channels, std::uint32_t rate, std::uint16_t bits,
                            std::uint32_t chunkSize, std::uint16_t formatTag) {
    PutTag(bytes, "fmt ");
    Put32(bytes, chunkSize);
    std::vector<std::uint8_t> body;
    Put16(body, formatTag);
    Put16(body, channels);
    Put32(body, rate);
    const std::uint16_t blockAlign = static_cast<std::uint16_t>(channels * bits / 8);
    Put32(body, rate * blockAlign);
    Put16(body, blockAlign);
    Put16(body, bits);
    body.resize(chunkSize, 0);
    bytes.insert(bytes.end(), body.begin(), body.end());
    if (chunkSize % 2 != 0) {
        bytes.push_back(0);
    }
    return *this;
}

WavBuilder& WavBuilder::Chunk(const char* id, const std::vector<std::uint8_t>& body) {
    PutTag(bytes, id);
    Put32(bytes, static_cast<std::uint32_t>(body.size()));
    bytes.insert(bytes.end(), body.begin(), body.end());
    if (body.size() % 2 != 0) {
        bytes.push_back(0);
    }
    return *this;
}

WavBuilder& WavBuilder::Data(const std::vector<std::int16_t>& samples, std::uint32_t sizeField) {
    PutTag(bytes, "data");
    Put32(bytes, sizeField != ~0u ? sizeField : static_cast<std::uint32_t>(samples.size() * 2));
    for (auto s : samples) {
        Put16(bytes, static_cast<std::uint16_t>(s));
    }
    return *this;
}

WavBuilder& WavBuilder::Raw(const std::vector<std::uint8_t>& raw) {
    bytes.insert(bytes.end(), raw.begin(), raw.end());
    return *this;
}

std::vector<std::uint8_t> WavBuilder::Bytes() const {
    std::vector<std::uint8_t> out = bytes;
    if (out.size() >= 8) {
        const auto riffSize = static_cast<std::uint32_t>(out.size() - 8);
        for (int i = 0; i < 4; ++i) {
            out[4 + i] = static_cast<std::uint8_t>(riffSize >> (8 * i));
        }
    }
    return out;
}

void WriteFile(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    if (!out) {
        throw std::runtime_error("cannot write " + path.string());
    }
}

std::vector<std::uint8_t> ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TempDir::TempDir() {
    std::random_device rd;
    for (;;) {
        path = std::filesystem::temp_directory_path() /
               ("velomire-test-" + std::to_string(rd()) + std::to_string(rd()));
        if (std::filesystem::create_directory(path)) {
            return;
        }
    }
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path, ec);
}

void WriteShortWav(const std::filesystem::path& path, std::uint16_t bits) {
    WriteFile(path, WavBuilder::Canonical(1, 22050, bits, std::vector<std::int16_t>(64, 5)));
}

void WriteKickAndPad(const std::filesystem::path& dir) {
    std::vector<std::int16_t> mono(333);
    std::vector<std::int16_t> stereo(2 * 250);
    for (std::size_t i = 0; i < mono.size(); ++i) {
        mono[i] = static_cast<std::int16_t>(i * 40503u);
    }
    for (std::size_t i = 0; i < stereo.size(); ++i) {
        stereo[i] = static_cast<std::int16_t>(i % 2 == 0 ? i * 7919u : 32767 - i * 131u);
    }
    WriteFile(dir / "kick.wav", WavBuilder::Canonical(1, 22050, 16, mono));
    WriteFile(dir / "pad.wav", WavBuilder::Canonical(2, 44100, 16, stereo));
}

} // namespace velomire::testing
