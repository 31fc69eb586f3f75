// Feeds arbitrary directories and block maps to the S900/S950 floppy reader: the bytes overwrite
// the start of an empty double-density floppy (the directory and the map, then the first files),
// or stand alone as a whole image. Whatever the floppy holds, reading it, its files and its
// samples and programs never crashes; a floppy it reads takes a new file in its free room, and the
// files it held come back unchanged.

#include "transfer/families/s900/S900DiskFiles.h"
#include "transfer/families/s900/S900FloppyImage.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <span>
#include <string>
#include <vector>

namespace {

using velomire::disk::S900FloppyImage;

void Check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

void ReadAll(const S900FloppyImage& floppy) {
    std::string error;
    for (const auto& entry : floppy.Entries()) {
        const std::vector<std::uint8_t> file = floppy.FileBytes(entry);
        Check(file.size() == entry.length);
        velomire::disk::ReadS900Sample(file, error);
        velomire::disk::ReadS900Program(file, error);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string error;
    if (auto whole = S900FloppyImage::Parse(std::span<const std::uint8_t>(data, size), error)) {
        ReadAll(*whole);
    }
    std::vector<std::uint8_t> image = S900FloppyImage(velomire::disk::FloppyDensity::dd).Bytes();
    std::copy_n(data, std::min(size, image.size()), image.begin());
    auto floppy = S900FloppyImage::Parse(image, error);
    if (!floppy) {
        return 0;
    }
    ReadAll(*floppy);
    std::map<int, std::vector<std::uint8_t>> before; // by directory slot
    for (const auto& entry : floppy->Entries()) {
        before[entry.slot] = floppy->FileBytes(entry);
    }
    if (floppy->Add({{"FUZZ", 'X', std::vector<std::uint8_t>(1500, 0x5A)}})) {
        return 0; // refused: full, or the name is taken
    }
    auto again = S900FloppyImage::Parse(floppy->Bytes(), error);
    Check(again.has_value() && again->Entries().size() == before.size() + 1);
    for (const auto& entry : again->Entries()) {
        const auto was = before.find(entry.slot);
        Check(was == before.end() ? entry.name == "FUZZ" : again->FileBytes(entry) == was->second);
    }
    return 0;
}
