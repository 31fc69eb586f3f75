// Importing a large SFZ instrument: parsing 100,000 regions (a whole orchestral library in one
// file, each region with a dozen opcodes) and fitting them onto an S3000 program, the part of an
// import that grows with the file rather than with the samples.

#include "instrument/ProgramMapping.h"
#include "instrument/SfzReader.h"

#include <benchmark/benchmark.h>

#include <string>

namespace {

using namespace velomire::instrument;

constexpr int regions = 100000;
constexpr int samples = 1000;

std::string BigSfz() {
    std::string text = "<control> default_path=../Samples/\n<global> ampeg_release=0.4\n";
    for (int i = 0; i < regions; ++i) {
        if (i % 100 == 0) {
            text += "<group> seq_length=1 lovel=" + std::to_string(1 + (i / 100) % 127) + "\n";
        }
        const int key = 24 + i % 100;
        text += "<region> sample=note" + std::to_string(i % samples) +
                ".wav lokey=" + std::to_string(key) + " hikey=" + std::to_string(key) +
                " pitch_keycenter=" + std::to_string(key) +
                " tune=-3 loop_mode=loop_continuous loop_start=1000 loop_end=8999 cutoff=800\n";
    }
    return text;
}

// Sounds as ProbeSounds leaves them, without files.
void Probed(Instrument& instrument) {
    for (Sound& sound : instrument.sounds) {
        sound.rate = 44100;
        sound.frames = 20000;
    }
}

void BM_ParseSfz100kRegions(benchmark::State& state) {
    const std::string text = BigSfz();
    for (auto _ : state) {
        std::string error;
        auto instrument = ParseSfz(text, "/library/Programs/big.sfz", {}, error);
        if (!instrument) {
            state.SkipWithError(error.c_str());
            return;
        }
        benchmark::DoNotOptimize(instrument->zones.data());
    }
    state.SetItemsProcessed(state.iterations() * regions);
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(text.size()));
}
BENCHMARK(BM_ParseSfz100kRegions)->Unit(benchmark::kMillisecond);

void BM_MapSfz100kRegionsOntoS3000(benchmark::State& state) {
    std::string error;
    auto instrument = ParseSfz(BigSfz(), "/library/Programs/big.sfz", {}, error);
    if (!instrument) {
        state.SkipWithError(error.c_str());
        return;
    }
    Probed(*instrument);
    for (auto _ : state) {
        const ProgramMapping mapping = MapInstrument(*instrument, 5);
        benchmark::DoNotOptimize(mapping.rows.data());
    }
    state.SetItemsProcessed(state.iterations() * regions);
}
BENCHMARK(BM_MapSfz100kRegionsOntoS3000)->Unit(benchmark::kMillisecond);

} // namespace
