#pragma once

#include "instrument/Instrument.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

// DLS collections (Level 1 and 2, .dls), read through libgig's DLS::File. A collection's
// instruments are its instruments; each region of one is a zone playing a wave of the wave pool.
// GigaStudio files (.gig) are DLS collections too and are read as such: of a region's dimension
// regions (velocity layers, crossfades, switches) only the first is taken, and the others are named
// as not carried; waves in GigaStudio's compression or in extension files are not read.
namespace velomire::instrument {

// The most 16-bit words one instrument may bring in (all of its waves together): 64 Mi words,
// as for a SoundFont preset.
inline constexpr std::uint64_t maxDlsWords = 64ull * 1024 * 1024;

// The collection's instruments in file order, named with their bank and program numbers.
std::optional<std::vector<InstrumentEntry>> ListDlsInstruments(const std::filesystem::path& file,
                                                               std::string& error);

// Instrument `index` (in the order of ListDlsInstruments): one sound per wave its regions play
// (8, 16 or 24-bit PCM, mono or stereo, as interleaved 16-bit words; 24-bit rounded as Add Samples
// rounds), one zone per region. A region's own wsmp chunk (unity note, fine tune, attenuation,
// loop) replaces its wave's; the zone holds the whole of it, the sound none of it.
std::optional<Instrument> ReadDlsInstrument(const std::filesystem::path& file, int index,
                                            std::string& error);

} // namespace velomire::instrument
