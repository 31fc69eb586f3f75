#pragma once

#include "instrument/Instrument.h"

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

// SoundFont 2 banks, read through libgig's sf2::File. A bank's presets are its instruments: each
// preset zone picks an instrument of the bank, whose zones pick samples; the two levels are
// combined here as a player combines them (ranges intersected, tunes, pan and attenuation added).
namespace velomire::instrument {

// The most 16-bit words one preset may bring in (all of its samples together): 64 Mi words,
// 128 MB, four times the largest sampler memory the programs go to.
inline constexpr std::uint64_t maxSoundFontWords = 64ull * 1024 * 1024;

// The bank's presets in file order, named with their bank and preset numbers.
std::optional<std::vector<InstrumentEntry>> ListSoundFont2Presets(const std::filesystem::path& file,
                                                                  std::string& error);

// Preset `index` (in the order of ListSoundFont2Presets) as an instrument: one sound per sample
// (mono, its words as 16-bit values; 24-bit banks rounded as Add Samples rounds), one zone per
// instrument zone the preset plays, the halves of a stereo pair in one zone. Zone tunes hold the
// whole correction (preset and instrument coarse and fine tune and the sample's pitch correction);
// a sound's own tuneCents stays 0 so that nothing is counted twice.
std::optional<Instrument> ReadSoundFont2Preset(const std::filesystem::path& file, int index,
                                               std::string& error);

} // namespace velomire::instrument
