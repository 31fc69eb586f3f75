#pragma once

#include "instrument/Instrument.h"

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

// Decent Sampler presets (.dspreset): an XML file whose <groups> hold <group>s of <sample>s, each
// sample a file beside the preset with its key, velocity, tune and loop attributes; what <groups>
// and <group> set, the samples below them inherit. Read with Qt's XML stream reader.
namespace velomire::instrument {

// The largest preset read, in bytes, and the most samples taken from it.
inline constexpr std::uintmax_t largestDecentSamplerPreset = std::uintmax_t{16} * 1024 * 1024;
inline constexpr std::size_t maxDecentSamplerZones = 100000;

// A preset is one instrument: the list holds one entry, named after the file.
std::optional<std::vector<InstrumentEntry>>
ListDecentSamplerPresets(const std::filesystem::path& file, std::string& error);

// The preset's samples as zones, their files as absolute paths. A path that leads outside the
// preset's folder and its parent is refused.
std::optional<Instrument> ReadDecentSamplerPreset(const std::filesystem::path& file,
                                                  std::string& error);

} // namespace velomire::instrument
