#pragma once

#include "program/Program.h"
#include "program/Status.h"
#include "transfer/families/DiskFormat.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// Disk images for the samplers' floppy drives and SCSI disks (and the emulators that stand in for
// them): a program written as the sampler saves it, and what an image holds read back. The
// families' own layouts live in their family folders (transfer/families/s900/S900Floppy,
// transfer/families/s1000/S1000Disk), which each family gives through Family::Images; callers use
// only what is declared here and in DiskFormat.h.
namespace velomire::transfer {
class Family;
} // namespace velomire::transfer

namespace velomire::disk {

// "dd", "hd" or "scsi" (letter case does not matter).
std::optional<Medium> ParseMedium(std::string_view text);
std::string_view MediumName(Medium medium);

// Reads an image: its volumes, programs and samples, never the sample words. Any bytes are safe to
// give it: what is not an image of a known layout is refused with the reason.
program::Status ReadImage(std::span<const std::uint8_t> image, ImageContents& contents);

// The family whose samplers read images of the format ReadImage found (ImageContents::format).
const transfer::Family* FamilyOfImage(ImageFormat format);

// The words of a sample ReadImage found in the same bytes, as signed 16-bit values (12-bit S900
// words in the top 12 bits). Refused when the file is shorter than its header says, or its rate is
// 0 Hz (no WAV file holds that).
program::Status ReadSampleWords(std::span<const std::uint8_t> image, const ImageSample& sample,
                                std::vector<std::int16_t>& words);

// Reads the words of a row (SampleWords) from its WAV file, named relative to the program's
// directory, as a send does.
class WavSampleWords : public SampleWords {
public:
    explicit WavSampleWords(std::filesystem::path programDirectory)
        : programDirectory(std::move(programDirectory)) {}
    program::Status Read(const program::SampleEntry& entry, int part,
                         std::vector<std::int16_t>& words) override;

private:
    std::filesystem::path programDirectory;
};

// The bytes an empty image of the medium holds for the model's family, and how many of them a
// program may fill (the blocks the directory and map leave free). Nothing for a model without disk
// images or a medium the model's drive cannot take (the S900 has no high-density drive).
std::optional<MediumSize> EmptyMediumSize(std::int32_t model, Medium medium);

// The bytes the program takes on the model's disks (its files rounded up to whole blocks), as
// the export dialog shows beside the free space.
std::uint64_t ProgramImageBytes(const program::Program& program, std::int32_t model, Medium medium);

// Writes the program and its samples as a new image of the medium into `image`. Everything that
// does not fit (medium, directory, names, rates) is refused before anything is written, with one
// message naming the limit; `image` is then as it was.
program::Status MakeImage(const program::Program& program, const ImageRequest& request,
                          SampleWords& words, std::vector<std::uint8_t>& image,
                          ImageProgress* progress = nullptr);

// Whether MakeImage would write the program: everything it refuses before it reads a sample word
// (the medium's room and directory, names, rates, sizes), with its message; no file is read.
program::Status CheckNewImage(const program::Program& program, const ImageRequest& request);

// Writes the program into an existing image, on the medium the image is (the request's medium is
// not used): a new volume on a hard disk, the free space of a floppy. Only blocks the image proves
// free are written: an image that ReadImage refuses or reads with a warning (a damaged chain, a
// shared block, a bad partition header), one that is full or of another family is refused, and
// `image` is then unchanged.
program::Status AddToImage(const program::Program& program, const ImageRequest& request,
                           SampleWords& words, std::vector<std::uint8_t>& image,
                           ImageProgress* progress = nullptr);

} // namespace velomire::disk
