// ReadFrame throughput: the senders call it once per transmitted word and the waveform editor
// reads whole files through it, so frames per second is the figure that matters.

#include "BenchSupport.h"
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

using velomire::program::WavInfo;

using velomire::bench::SilentMessages;

// A canonical 16-bit file of a 440 Hz tone, 10 s at 44100 Hz, in the system's temporary
// directory; removed when the benchmark ends.
class ToneFile {
public:
    explicit ToneFile(std::uint16_t channels) {
        path = std::filesystem::temp_directory_path() /
               ("velomire-bench-" + std::to_string(std::random_device{}()) + ".wav");
        constexpr std::uint32_t rate = 44100;
        velomire::bench::WriteWav(path, channels, rate, rate * 10,
                                  [](std::uint32_t i, std::uint16_t) {
                                      return static_cast<std::int16_t>(
                                          20000 * std::sin(i * 2 * std::numbers::pi * 440 / rate));
                                  });
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
