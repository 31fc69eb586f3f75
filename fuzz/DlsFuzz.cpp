// Reads arbitrary bytes as a DLS collection (written to a file, as libgig reads files): the list
// and every instrument in it (the first eight) are read or refused, refused with one line that
// says why; an instrument read has zones naming its sounds, ranges in order, loops inside their
// sounds, and as many words as its sounds' frames and channels make. Seed it with the files the
// DLS reader's tests write (regions.dls, bits.dls, good.dls, layers.gig in the tests' temporary
// folder).
#include "instrument/devices/DlsReader.h"

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

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::filesystem::path file =
        std::filesystem::temp_directory_path() /
        ("velomire-dls-fuzz-" + std::to_string(getpid()) + ".dls");
    std::ofstream(file, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    std::string error;
    const auto entries = ListDlsInstruments(file, error);
    if (!entries) {
        if (!OneLine(error))
            __builtin_trap();
        return 0;
    }
    for (std::size_t i = 0; i < entries->size() && i < 8; ++i) {
        const auto instrument = ReadDlsInstrument(file, static_cast<int>(i), error);
        if (!instrument) {
            if (!OneLine(error))
                __builtin_trap();
            continue;
        }
        for (const Sound& sound : instrument->sounds)
            if (sound.channels < 1 || sound.channels > 2 ||
                sound.words.size() != sound.frames * sound.channels)
                __builtin_trap();
        for (const Zone& zone : instrument->zones) {
            if (zone.sound >= instrument->sounds.size() || zone.lowKey > zone.highKey ||
                zone.highKey > 127 || zone.lowVelocity < 1 ||
                zone.lowVelocity > zone.highVelocity || zone.highVelocity > 127 ||
                zone.rootKey < 0 || zone.rootKey > 127)
                __builtin_trap();
            for (const Loop& loop : zone.loops)
                if (loop.start > loop.end || loop.end >= instrument->sounds[zone.sound].frames)
                    __builtin_trap();
        }
    }
    return 0;
}
