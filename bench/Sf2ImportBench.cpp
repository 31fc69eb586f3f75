// Importing one preset of a 100 MB SoundFont bank: 40 zones over 50 million 16-bit words, all of
// them read into the instrument (libgig opens the bank, the reader checks its chunks, combines
// the zones and reads the words). The goal is seconds, not minutes.
#include "instrument/Sf2Builder.h"
#include "instrument/devices/InstrumentFiles.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>

namespace {

namespace fs = std::filesystem;
using velomire::test::Sf2Gen;

fs::path Bank() {
    static const fs::path path = [] {
        constexpr int zones = 40;
        constexpr int frames = 1250000; // 40 x 1.25 M words: 100 MB of sample data
        std::vector<velomire::test::Sf2Sample> samples;
        velomire::test::Sf2Instrument own{"Big", {}};
        for (int z = 0; z < zones; ++z) {
            std::vector<std::int16_t> words(frames);
            for (int i = 0; i < frames; ++i)
                words[static_cast<std::size_t>(i)] = static_cast<std::int16_t>(i * 7 + z);
            samples.emplace_back("s" + std::to_string(z), std::move(words));
            samples.back().loopStart = 1000;
            samples.back().loopEnd = frames - 10;
            own.zones.push_back({{{43, velomire::test::Sf2Range(z * 3, z * 3 + 2)},
                                  {54, 1},
                                  {53, static_cast<std::uint16_t>(z)}},
                                 {}});
        }
        const auto bytes =
            velomire::test::BuildSf2({{"Big", 0, 0, {{{{41, 0}}, {}}}}}, {own}, samples);
        const fs::path file = fs::temp_directory_path() / "velomire-bench-100mb.sf2";
        std::ofstream(file, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
        return file;
    }();
    return path;
}

void ImportSf2Preset100Mb(benchmark::State& state) {
    const fs::path bank = Bank();
    for (auto _ : state) {
        std::string error;
        auto read = velomire::instrument::ReadInstrument(bank, {}, error);
        if (!read)
            state.SkipWithError(error.c_str());
        benchmark::DoNotOptimize(read);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(fs::file_size(bank)));
}
BENCHMARK(ImportSf2Preset100Mb)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace
