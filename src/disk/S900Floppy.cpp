#include "disk/FamilyImages.h"

// The S900/S950 disk layouts. Not written yet: nothing is recognised, and writing is refused.
namespace velomire::disk {

namespace {

bool Recognises(std::span<const std::uint8_t>) {
    return false;
}

program::Status Read(std::span<const std::uint8_t>, ImageContents&) {
    return program::Status::Error("S900/S950 disk images cannot be read yet.");
}

std::optional<MediumSize> EmptySize(std::int32_t, Medium) {
    return std::nullopt;
}

std::uint64_t ProgramBytes(const program::Program&, std::int32_t, Medium) {
    return 0;
}

program::Status Write(const program::Program&, const ImageRequest&, SampleWords&,
                      std::vector<std::uint8_t>&, bool, ImageProgress*) {
    return program::Status::Error("S900/S950 disk images cannot be written yet.");
}

} // namespace

const FamilyImages& S900FamilyImages() {
    static const FamilyImages images{Recognises, Read, EmptySize, ProgramBytes, Write};
    return images;
}

} // namespace velomire::disk
