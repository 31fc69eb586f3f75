// Feeds arbitrary bytes to `decode`: the stream is decoded and everything it carries is written
// twice into an empty directory, as a dump that repeats its sample and program numbers would be.
// Nothing may be lost: every sample gives two WAV and two JSON files, every program two JSON
// files, all under names of their own, and no write fails.

#include "cli/DecodedFiles.h"
#include "transfer/SysExDecoder.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

#include <unistd.h>

namespace {

namespace fs = std::filesystem;

void Check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // Keeps one input's files few: the decoder's own limits are fuzzed by sysex_decoder_fuzz.
    if (size > 20000) {
        return 0;
    }
    static const fs::path directory =
        fs::temp_directory_path() / ("velomire-decode-fuzz-" + std::to_string(getpid()));
    fs::remove_all(directory);
    fs::create_directories(directory);
    const auto decoded = velomire::transfer::DecodeSysExStream({data, size});
    velomire::cli::DecodedFiles files(directory, false);
    for (int copy = 0; copy < 2; ++copy) {
        for (const auto& sample : decoded.samples) {
            Check(files.WriteSample(files.NewSampleName(sample.number), sample).empty());
        }
        for (const auto& program : decoded.programs) {
            Check(files.WriteProgram(files.NewProgramName(program.number), program).empty());
        }
    }
    std::size_t entries = 0;
    for (const auto& entry : fs::directory_iterator(directory)) {
        Check(entry.is_regular_file());
        ++entries;
    }
    Check(entries == 4 * decoded.samples.size() + 2 * decoded.programs.size());
    return 0;
}
