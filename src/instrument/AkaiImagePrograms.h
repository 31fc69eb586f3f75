#pragma once

#include "disk/DiskImage.h"
#include "instrument/Instrument.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

// The programs on the disk images `velomire-cli image` reads (S1000/S3000 floppies and hard disks,
// and the CD-ROMs that hold the same partitions; S900/S950 floppies) as instruments: every
// keygroup's velocity zones that play a sample become zones, the samples sounds with their words.
namespace velomire::instrument {

// The largest image read, in bytes: the hard disks and CD-ROMs of these samplers stay below.
inline constexpr std::uintmax_t largestAkaiImage = std::uintmax_t{1} << 30;

// Every program of the image, in the order of its volumes, numbered 0, 1, 2 ...
std::vector<InstrumentEntry> AkaiImageEntries(const disk::ImageContents& contents);

// Program `index` (of AkaiImageEntries) of the image ReadImage read into `contents`. A zone whose
// sample is missing from its volume is left out with a note; a sample whose words cannot be read
// refuses the program. Tunes are in each zone (keygroup, zone and the sample header's own tune),
// a sound's own tuneCents stays 0. A stereo keygroup (zones playing "NAME-L" and "NAME-R" over
// the same velocities; on an S900/S950 floppy the two keygroups of the halves, on outputs 8 and
// 9 one after the other) becomes one zone with both sounds.
std::optional<Instrument> AkaiImageProgram(std::span<const std::uint8_t> image,
                                           const disk::ImageContents& contents, int index,
                                           std::string& error);

// The same from the image's file: whether the file is an image ReadImage takes, its programs, and
// one of them.
bool LooksLikeAkaiImage(const std::filesystem::path& file);
std::optional<std::vector<InstrumentEntry>> ListAkaiImagePrograms(const std::filesystem::path& file,
                                                                  std::string& error);
std::optional<Instrument> ReadAkaiImageProgram(const std::filesystem::path& file, int index,
                                               std::string& error);

} // namespace velomire::instrument
