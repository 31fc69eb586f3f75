#pragma once

#include "program/SampleConverter.h"
#include "program/WavInfo.h"

#include <array>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace velomire::program {

// True for a name ending in ".wav", or in that of another sound format converted when added
// (".aif", ".aiff", ".aifc", ".flac", ".ogg", ".oga"), in any letter case.
bool IsSoundFileName(std::string_view name);

// What the Select Samples dialog lists: the *.wav files of one directory whose names a sample
// entry can hold, and how many were left out for their length.
struct WavFileList {
    std::vector<std::string> names;
    int longNames = 0;
};

// The ordinary files of `directory` whose extension is ".wav", or that of another sound format
// converted when added (".aif", ".aiff", ".aifc", ".flac", ".ogg", ".oga"), in any letter case,
// sorted without
// regard to case. Directories and hidden files are not listed; names of 40 characters (bytes) or
// more are counted in longNames instead. A directory that cannot be read gives an empty list.
WavFileList ListWavFiles(const std::filesystem::path& directory);

// "2 files with names of 40 characters or more are not listed"; empty when there are none.
std::string LongNamesNote(int longNames);

// The six texts of the information line of `file`: name, "16 Bits", "Stereo" or "Mono",
// "44100 Hz", "110250 Words", "2.5 Seconds". A refused header still gives its values (the reader
// has shown its message); nothing when the file cannot be opened at all. The file is closed.
// With a probe, a file the reader refuses but the converter reads shows the values the probe
// gives ("24 Bits", "Compressed" for a lossy file) and no message.
using SoundProbe = std::function<std::optional<SoundFormat>(const std::string& file)>;
std::optional<std::array<std::string, 6>> InformationTexts(WavInfo& wav, const std::string& file,
                                                           const SoundProbe& probe = {});

} // namespace velomire::program
