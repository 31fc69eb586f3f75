// ReadFrame throughput: the senders call it once per transmitted word and the waveform editor
// reads whole files through it, so frames per second is the figure that matters.

#include "program/WavInfo.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <numbers>
#include <random>
#include <string>
#include <vector>

namespace {

using velomire::program::UserMessages;
using velomire::program::WavInfo;

class SilentMessages : public UserMessages {
public:
    void Show(std::string_view, std::string_view) override {}
};

void Put16(std::vector<char>& out, std::uint16_t value) {
    out.push_back(static_cast<char>(value & 0xFF));
    out.push_back(static_cast<char>(value >> 8));
}

void Put32(std::vector<char>& out, std::uint32_t value) {
    Put16(out, static_cast<std::uint16_t>(value & 0xFFFF));
    Put16(out, static_cast<std::uint16_t>(value >> 16));
}

void PutTag(std::vector<char>& out, const char* tag) {
    out.insert(out.end(), tag, tag + 4);
}

// A canonical 16-bit file of a 440 Hz tone, 10 s at 44100 Hz, in the system's temporary
// directory; removed when the benchmark ends.
class ToneFile {
public:
    explicit ToneFile(std::uint16_t channels) {
        constexpr std::uint32_t rate = 44100;
        constexpr std::uint32_t tenSecondFrames = rate * 10;
        const std::uint32_t dataBytes = tenSecondFrames * channels * 2;
        std::vector<char> bytes;
        PutTag(bytes, "RIFF");
        Put32(bytes, 36 + dataBytes);
        PutTag(bytes, "WAVE");
        PutTag(bytes, "fmt ");
        Put32(bytes, 16);
        Put16(bytes, 1);
        Put16(bytes, channels);
        Put32(bytes, rate);
        Put32(bytes, rate * channels * 2);
        Put16(bytes, static_cast<std::uint16_t>(channels * 2));
        Put16(bytes, 16);
        PutTag(bytes, "data");
        Put32(bytes, dataBytes);
        for (std::uint32_t i = 0; i < tenSecondFrames; ++i) {
            const auto value =
                static_cast<std::int16_t>(20000 * std::sin(i * 2 * std::numbers::pi * 440 / rate));
            for (std::uint16_t c = 0; c < channels; ++c) {
                Put16(bytes, static_cast<std::uint16_t>(value));
            }
        }
        path = std::filesystem::temp_directory_path() /
               ("velomire-bench-" + std::to_string(std::random_device{}()) + ".wav");
        std::ofstream(path, std::ios::binary).write(bytes.data(), std::ssize(bytes));
    }
    ~ToneFile() {
        std::error_code error;
        std::filesystem::remove(path, error);
    }
    ToneFile(const ToneFile&) = delete;
    ToneFile& operator=(const ToneFile&) = delete;

    std::string Path() const { return path.string(); }

private:
    std::filesystem::path path;
};

void ReadFrames(benchmark::State& state, std::uint16_t channels) {
    const ToneFile file(channels);
    SilentMessages messages;
    WavInfo wav(messages);
    if (!wav.Open(file.Path())) {
        state.SkipWithError("cannot open the tone file");
        return;
    }
    const std::uint32_t frames = wav.FrameCount();
    std::uint32_t left = frames;
    for (auto _ : state) {
        if (left == 0) {
            wav.Seek(0);
            left = frames;
        }
        --left;
        benchmark::DoNotOptimize(wav.ReadFrame(0));
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_ReadFrameMono(benchmark::State& state) {
    ReadFrames(state, 1);
}
void BM_ReadFrameStereo(benchmark::State& state) {
    ReadFrames(state, 2);
}

BENCHMARK(BM_ReadFrameMono);
BENCHMARK(BM_ReadFrameStereo);

} // namespace
