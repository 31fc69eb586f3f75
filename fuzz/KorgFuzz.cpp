// Reads arbitrary bytes as a Korg multisample and its sample: the first two bytes give the length
// of the multisample (big-endian), written as M.KMP, and the rest is written beside it as A.KSF.
// The multisample is listed and read or refused, refused with one line that says why; one read
// has zones naming its sounds, keys in order, loops inside their sounds, and a word a frame.
// Seed it with a multisample whose regions name A.KSF.
#include "instrument/devices/KorgReader.h"

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

using namespace velomire::instrument;

bool OneLine(const std::string& error) {
    return !error.empty() && error.find('\n') == std::string::npos;
}

void Write(const std::filesystem::path& file, const std::uint8_t* data, std::size_t size) {
    std::ofstream(file, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::filesystem::path folder = [] {
        const auto made = std::filesystem::temp_directory_path() /
                          ("velomire-korg-fuzz-" + std::to_string(getpid()));
        std::filesystem::create_directories(made);
        return made;
    }();
    if (size < 2)
        return 0;
    const std::size_t kmpBytes = std::min<std::size_t>(size - 2, data[0] << 8 | data[1]);
    Write(folder / "M.KMP", data + 2, kmpBytes);
    Write(folder / "A.KSF", data + 2 + kmpBytes, size - 2 - kmpBytes);
    std::string error;
    if (!ListKorgInstruments(folder / "M.KMP", error)) {
        if (!OneLine(error))
            __builtin_trap();
        return 0;
    }
    const auto instrument = ReadKorgInstrument(folder / "M.KMP", 0, error);
    if (!instrument) {
        if (!OneLine(error))
            __builtin_trap();
        return 0;
    }
    for (const Sound& sound : instrument->sounds)
        if (sound.channels != 1 || sound.words.size() != sound.frames || sound.frames == 0)
            __builtin_trap();
    for (const Zone& zone : instrument->zones) {
        if (zone.sound >= instrument->sounds.size() || zone.lowKey > zone.highKey ||
            zone.highKey > 127 || zone.rootKey < 0 || zone.rootKey > 127)
            __builtin_trap();
        for (const Loop& loop : zone.loops)
            if (loop.start > loop.end || loop.end >= instrument->sounds[zone.sound].frames)
                __builtin_trap();
    }
    return 0;
}
