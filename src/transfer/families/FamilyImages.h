#pragma once

#include "transfer/families/DiskFormat.h"

// What each family's disk layout provides to DiskImage.cpp, which picks the family from the model
// (writing) or from the bytes (reading). s1000/S1000Disk.cpp holds the S1000/S3000 family's
// floppies and hard disks, s900/S900Floppy.cpp the S900/S950 floppies.
namespace velomire::disk {

struct FamilyImages {
    // True when the bytes are laid out as this family's images are (only the layout, not whether
    // every file in it can be read).
    bool (*Recognises)(std::span<const std::uint8_t> image);
    program::Status (*Read)(std::span<const std::uint8_t> image, ImageContents& contents);
    std::optional<MediumSize> (*EmptySize)(std::int32_t model, Medium medium);
    std::uint64_t (*ProgramBytes)(const program::Program& program, std::int32_t model,
                                  Medium medium);
    // `add`: into the existing bytes of `image`; otherwise a new image replaces them. `image`
    // changes only when the result is ok.
    program::Status (*Write)(const program::Program& program, const ImageRequest& request,
                             SampleWords& words, std::vector<std::uint8_t>& image, bool add,
                             ImageProgress* progress);
};

const FamilyImages& S1000FamilyImages();
const FamilyImages& S900FamilyImages();

} // namespace velomire::disk
