#pragma once

#include "transfer/families/DiskFormat.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

// What each family's disk layout provides to DiskImage.cpp, which finds the family through
// Family::Images: from the model (writing), from the bytes (reading), from the format an image was
// read as or the coding of a sample's words. s1000/S1000Disk.cpp holds the S1000/S3000 family's
// floppies and hard disks, s900/S900Floppy.cpp the S900/S950 floppies.
namespace velomire::disk {

struct FamilyImages {
    // True when the bytes are laid out as this family's images are (only the layout, not whether
    // every file in it can be read). No two families' layouts recognise the same bytes.
    bool (*Recognises)(std::span<const std::uint8_t> image);
    program::Status (*Read)(std::span<const std::uint8_t> image, ImageContents& contents);
    // Whether Read gives images of this format.
    bool (*Reads)(ImageFormat format);
    std::optional<MediumSize> (*EmptySize)(std::int32_t model, Medium medium);
    std::uint64_t (*ProgramBytes)(const program::Program& program, std::int32_t model,
                                  Medium medium);
    // `add`: into the existing bytes of `image`; otherwise a new image replaces them. `image`
    // changes only when the result is ok.
    program::Status (*Write)(const program::Program& program, const ImageRequest& request,
                             SampleWords& words, std::vector<std::uint8_t>& image, bool add,
                             ImageProgress* progress);
    // What an image of the family is and which models add to it, for a request to add with a
    // model of another family: "an S900/S950 floppy; choose the S900 or S950".
    std::string_view addWith;
    // The family's own packing of a sample's words (a coding other than pcm16le), or null
    // functions when its samples hold 16-bit words: the fewest bytes `count` packed words fill,
    // and the words unpacked, each in the top bits of 16; nothing when the bytes are too few.
    WordCoding packing;
    std::uint64_t (*PackedBytes)(std::uint32_t count);
    std::optional<std::vector<std::int16_t>> (*UnpackWords)(std::span<const std::uint8_t> packed,
                                                            std::uint32_t count);
};

} // namespace velomire::disk
