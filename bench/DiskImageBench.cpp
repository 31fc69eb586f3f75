// Exporting a program of 40 mono samples, 10 MB of words in all, as a hard disk image: the words
// read from the WAV files, the headers built, the 60 MB image laid out. Goal: well under 1 s
// (sending the same program over MIDI takes about an hour).

#include "BenchSupport.h"
#include "disk/DiskImage.h"
#include "program/WavInfo.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;
using namespace velomire;

constexpr int rows = 40;
constexpr std::uint32_t frames = 10u * 1024 * 1024 / 2 / rows; // 131,072 words each

void ExportToHardDisk(benchmark::State& state) {
    const fs::path directory =
        fs::temp_directory_path() / ("velomire-disk-bench-" + std::to_string(getpid()));
    fs::create_directories(directory);
    const fs::path previous = fs::current_path();
    fs::current_path(directory);

    program::Program program;
    program::SetFieldText(program.header.programName, "Bench");
    program.header.ResetForNewProgram(0);
    bench::SilentMessages messages;
    for (int row = 0; row < rows; ++row) {
        const std::string name = "s" + std::to_string(row) + ".wav";
        bench::WriteWav(directory / name, 1, 44100, frames,
                        [row](std::uint32_t frame, std::uint16_t) {
                            return static_cast<std::int16_t>(frame * 7 + row);
                        });
        program::WavInfo wav(messages);
        wav.Open(name);
        program.InitSampleEntry(row, name, wav);
        program::SetFieldText(program.samples[static_cast<std::size_t>(row)].sample.sampleName,
                              "sample " + std::to_string(row));
        ++program.sampleCount;
    }

    disk::WavSampleWords words;
    std::size_t bytes = 0;
    for (auto _ : state) {
        std::vector<std::uint8_t> image;
        const program::Status status =
            disk::MakeImage(program, {8, disk::Medium::scsi}, words, image);
        if (!status) {
            state.SkipWithError(status.text.c_str());
            break;
        }
        bytes = image.size();
        benchmark::DoNotOptimize(image.data());
    }
    state.counters["image MB"] = static_cast<double>(bytes) / (1024.0 * 1024.0);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * rows * frames * 2);
    fs::current_path(previous);
    fs::remove_all(directory);
}
BENCHMARK(ExportToHardDisk)->Unit(benchmark::kMillisecond);

} // namespace
