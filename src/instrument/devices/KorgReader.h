#pragma once

#include "instrument/Instrument.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

// Korg multisamples (.kmp) and the samples they name (.ksf), read through libgig's Korg classes.
// A multisample maps its samples onto consecutive key ranges: each region is a zone from the key
// after the previous region's top key up to its own, playing the .ksf file it names, which lies in
// the multisample's own folder (found whatever the letter case of its name: these files come from
// FAT disks). Compressed samples, samples whose data lie in another file, the instrument's internal
// samples ("INTERNALnnnn") and samples skipped when the set was saved ("SKIPPEDSAMPL") are not
// read; their regions are left out with a note.
namespace velomire::instrument {

// The most 16-bit words one multisample may bring in (all of its samples together), as for DLS.
inline constexpr std::uint64_t maxKorgWords = 64ull * 1024 * 1024;

// The multisample: one entry, named as the file names it.
std::optional<std::vector<InstrumentEntry>> ListKorgInstruments(const std::filesystem::path& file,
                                                                std::string& error);

// The multisample (index 0): one sound per .ksf file (8 or 16-bit mono, as 16-bit words), one zone
// per region with its keys, original key, tune and the sample's loop.
std::optional<Instrument> ReadKorgInstrument(const std::filesystem::path& file, int index,
                                             std::string& error);

} // namespace velomire::instrument
