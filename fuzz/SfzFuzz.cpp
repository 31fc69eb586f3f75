// Reads arbitrary text as an SFZ file whose #include files hold arbitrary text too, then fits
// what it gives onto a sampler model. The input is the main file, and after its first NUL byte
// the text every #include reads; the last two bytes choose the model and the sounds' lengths.
// Parsing ends, refused or not, within its limits and without reading outside a buffer; a
// refusal says why; an instrument names only sounds inside the instrument's folders; and the
// program it becomes holds rows a sampler takes: at most 40, keys 24-127 in order, velocities
// 0-127 in order, at most four loops, each inside its sound.
#include "instrument/ProgramMapping.h"
#include "instrument/SfzReader.h"
#include "transfer/SamplerModel.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace {

using namespace velomire::instrument;

bool Under(const std::filesystem::path& file, const std::filesystem::path& folder) {
    const auto relative = file.lexically_normal().lexically_relative(folder);
    return !relative.empty() && *relative.begin() != "..";
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) {
        return 0;
    }
    const std::uint8_t modelByte = data[size - 2];
    const std::uint8_t lengthByte = data[size - 1];
    const std::string_view all(reinterpret_cast<const char*>(data), size - 2);
    const std::size_t split = all.find('\0');
    const std::string_view text = all.substr(0, split);
    const std::string included(split == std::string_view::npos ? std::string_view{}
                                                               : all.substr(split + 1));

    // Limits a fuzzer reaches within a run: the reader's own are the same checks, larger.
    SfzLimits limits;
    limits.fileBytes = 1 << 16;
    limits.totalBytes = 1 << 20;
    limits.lineBytes = 1 << 14;
    limits.includeDepth = 4;
    limits.includes = 64;
    limits.regions = 512;
    limits.defines = 64;
    const std::filesystem::path folder = "/fuzz";
    const SfzFileReader readInclude = [&included](const std::filesystem::path&, std::string& read,
                                                  std::string&) {
        read = included;
        return true;
    };
    std::string error;
    auto instrument =
        ParseSfz(text, folder / "programs" / "instrument.sfz", readInclude, error, limits);
    if (!instrument) {
        if (error.empty()) {
            __builtin_trap();
        }
        return 0;
    }
    for (Sound& sound : instrument->sounds) {
        if (!Under(sound.file, folder)) {
            __builtin_trap();
        }
        // Probed as the import probes a file: a rate, a length, mono.
        sound.rate = 44100;
        sound.frames = 1 + std::uint64_t{lengthByte} * 997;
        sound.channels = 1;
    }

    const std::int32_t model =
        static_cast<std::int32_t>(modelByte % (velomire::transfer::SamplerModel::count + 1)) - 1;
    const ProgramMapping mapping = MapInstrument(*instrument, model);
    if (mapping.rows.size() > 40) {
        __builtin_trap();
    }
    for (const ImportRow& row : mapping.rows) {
        if (row.plan >= mapping.sounds.size() || row.lowKey < 24 || row.highKey > 127 ||
            row.lowKey > row.highKey || row.lowVelocity < 0 || row.highVelocity > 127 ||
            row.lowVelocity > row.highVelocity || row.loops.size() > 4) {
            __builtin_trap();
        }
        const std::uint64_t frames = mapping.sounds[row.plan].frames;
        for (const Loop& loop : row.loops) {
            if (loop.start > loop.end || loop.end >= frames) {
                __builtin_trap();
            }
        }
    }
    return 0;
}
