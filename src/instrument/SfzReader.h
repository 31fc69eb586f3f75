#pragma once

#include "instrument/Instrument.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace velomire::instrument {

// What an SFZ file may hold before it is refused as a whole: real instruments stay far below
// (the largest libraries have some ten thousand regions in a few megabytes of text), a hostile
// or broken file ends with one error in bounded time and memory.
struct SfzLimits {
    std::size_t fileBytes = std::size_t{16} << 20;  // one file, the main one or an #include
    std::size_t totalBytes = std::size_t{64} << 20; // every file read, an #include each time
    std::size_t lineBytes = std::size_t{1} << 20;   // one line, also after #define expansion
    int includeDepth = 16;
    std::size_t includes = 4096; // #include lines followed, over the whole instrument
    std::size_t regions = 131072;
    std::size_t defines = 4096;
};

// Reads the text of an #include'd file; false with the reason in `error`.
using SfzFileReader =
    std::function<bool(const std::filesystem::path& file, std::string& text, std::string& error)>;

// Parses the SFZ text of `sfzFile` (which names the instrument and whose folder sample paths and
// #include files are relative to) into an instrument: <control> (default_path), <global>,
// <master>, <group> and <region> with each level's opcodes inherited by the regions below it,
// #define and #include, opcode names in any letter case, notes by name (c4 = 60, c#4, db4) or
// number. Sample paths may not be absolute nor lead outside the folder of `sfzFile` or its
// parent folder (the Programs/../Samples layout); an #include neither, and never into itself.
// Each region becomes one zone; opcodes no zone field holds are listed in its notCarried. On
// refusal, nothing, with one line naming the file (and the region or line) in `error`.
std::optional<Instrument> ParseSfz(std::string_view text, const std::filesystem::path& sfzFile,
                                   const SfzFileReader& readInclude, std::string& error,
                                   const SfzLimits& limits = {});

// ParseSfz on the file `sfzFile`, its #include files read from disk.
std::optional<Instrument> ReadSfzFile(const std::filesystem::path& sfzFile, std::string& error,
                                      const SfzLimits& limits = {});

// A note as SFZ writes it: a number from 0 to 127, or a name with an optional sharp or flat and
// an octave from -1 to 9 (c4 = 60, C#4 = 61, db4 = 61, c-1 = 0).
std::optional<int> SfzNote(std::string_view text);

} // namespace velomire::instrument
