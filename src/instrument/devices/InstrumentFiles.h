#pragma once

#include "instrument/Instrument.h"

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace velomire::instrument {

// The instrument files Velomire imports, told apart by their contents first and their extension
// second: SFZ (.sfz), SoundFont 2 (.sf2), DLS and GigaStudio (.dls, .gig), Decent Sampler
// (.dspreset), and the Akai disk and CD-ROM images `image --list` reads.
enum class InstrumentFormat { sfz, soundFont2, dls, korg, decentSampler, akaiImage };

std::optional<InstrumentFormat> DetectInstrumentFormat(const std::filesystem::path& file);

// The instruments `file` holds, in the order --instrument N numbers them. On failure, nothing,
// with the reason in `error` (one line, naming the file).
std::optional<std::vector<InstrumentEntry>> ListInstruments(const std::filesystem::path& file,
                                                            std::string& error);

// One instrument of `file`: by its number in ListInstruments, or by its name (letter case
// ignored); with neither, the first. Reading is bounded in time and memory whatever the file
// holds; a sound it carries inside (SoundFont, Akai image) comes back as words, one on disk beside
// the file as its absolute path, never outside the folder of `file` (for SFZ, or the folder above
// it: the Programs/../Samples layout of many libraries).
struct InstrumentChoice {
    std::optional<int> number;
    std::optional<std::string> name;
};
std::optional<Instrument> ReadInstrument(const std::filesystem::path& file,
                                         const InstrumentChoice& choice, std::string& error);

} // namespace velomire::instrument
