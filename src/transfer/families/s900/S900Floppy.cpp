#include "transfer/families/FamilyImages.h"
#include "transfer/families/s900/S900DiskFiles.h"
#include "transfer/families/s900/S900FloppyImage.h"
#include "transfer/families/s900/S900Wire.h"

// The S900/S950 floppies behind the shared entries of DiskImage.h: the S900 and the S950 on
// double-density floppies, the S950 also on high-density ones.
namespace velomire::disk {

namespace {

std::optional<FloppyDensity> DensityOf(Medium medium) {
    switch (medium) {
    case Medium::dd:
        return FloppyDensity::dd;
    case Medium::hd:
        return FloppyDensity::hd;
    case Medium::scsi:
        break;
    }
    return std::nullopt;
}

// The size of a floppy, its first block not marked as the system's (the S900 leaves the map of
// its directory blocks 0, the S1000 family marks them 0x4000: an S1000-family floppy cut short
// with an empty directory is no S900 floppy), and every used directory entry ending in the S900's
// ID (two zero bytes; the S1000 family writes its own there).
bool Recognises(std::span<const std::uint8_t> image) {
    if (image.size() != S900FloppyImage::ImageBytes(FloppyDensity::dd) &&
        image.size() != S900FloppyImage::ImageBytes(FloppyDensity::hd)) {
        return false;
    }
    constexpr std::uint16_t s1000SystemBlock = 0x4000;
    const std::size_t map = S900FloppyImage::mapOffset;
    if ((image[map] | image[map + 1] << 8) == s1000SystemBlock) {
        return false;
    }
    for (std::size_t slot = 0; slot < S900FloppyImage::entryCount; ++slot) {
        const auto entry =
            image.subspan(slot * S900FloppyImage::entryBytes, S900FloppyImage::entryBytes);
        const bool used = std::any_of(entry.begin(), entry.end(), [](auto b) { return b != 0; });
        if (used && (entry[22] != 0 || entry[23] != 0)) {
            return false;
        }
    }
    return true;
}

int LoopModeOf(char mode) {
    return mode == 'O' ? program::loopNone : program::loopNormal;
}

ImageSample SampleOf(const S900FloppyImage& floppy, const S900DirEntry& entry,
                     const S900Sample& header) {
    ImageSample sample;
    sample.name = entry.name;
    sample.fileType = static_cast<std::uint8_t>(entry.type);
    sample.rate = header.rate;
    sample.rootKey = header.tuning / 16;
    sample.tune = header.tuning % 16;
    sample.lengthWords = static_cast<std::uint32_t>(header.words.size());
    sample.startPoint = header.firstReplayPoint;
    sample.endPoint = header.endPoint;
    sample.loopMode = LoopModeOf(header.loopMode);
    // The sampler loops back from the end point by the loop length; a loop that does not lie
    // inside the words is left out.
    const auto loop = transfer::s900::LoopOf(
        {header.endPoint, header.firstReplayPoint, header.loopLength}, sample.lengthWords);
    if (header.loopMode != 'O' && loop) {
        sample.loops.push_back({loop->last, header.loopLength, 0});
    }
    sample.headerName = header.name;
    for (const std::size_t block : floppy.Chain(entry)) {
        sample.extent.blockOffsets.push_back(std::uint64_t{block} * S900FloppyImage::blockBytes);
    }
    sample.extent.blockBytes = S900FloppyImage::blockBytes;
    sample.extent.fileBytes = entry.length;
    sample.headerBytes = s900SampleHeaderBytes;
    sample.coding = WordCoding::s900Packed;
    return sample;
}

ImageProgram ProgramOf(const S900DirEntry& entry, const S900ProgramInfo& info) {
    ImageProgram program;
    program.name = entry.name;
    program.fileType = static_cast<std::uint8_t>(entry.type);
    for (const S900Keygroup& keygroup : info.keygroups) {
        program.keygroups.push_back(
            {keygroup.lowKey, keygroup.highKey, 0, keygroup.output, {{keygroup.sampleName}}});
    }
    return program;
}

program::Status Read(std::span<const std::uint8_t> image, ImageContents& contents) {
    std::string error;
    const auto floppy = S900FloppyImage::Parse(image, error);
    if (!floppy) {
        return program::Status::Error("This S900/S950 floppy cannot be read: " + error + ".");
    }
    contents = {};
    contents.format = ImageFormat::s900Floppy;
    contents.medium = floppy->Density() == FloppyDensity::dd ? Medium::dd : Medium::hd;
    contents.freeBytes = std::uint64_t{floppy->FreeBlocks()} * S900FloppyImage::blockBytes;
    ImageVolume& volume = contents.volumes.emplace_back();
    for (const S900DirEntry& entry : floppy->Entries()) {
        volume.files.push_back({entry.name, static_cast<std::uint8_t>(entry.type), entry.length});
        if (entry.type != 'S' && entry.type != 'P') {
            continue; // drum settings, overall settings: listed, not read
        }
        const std::vector<std::uint8_t> file = floppy->FileBytes(entry);
        if (entry.type == 'S') {
            if (const auto header = ReadS900SampleHeader(file, error)) {
                volume.samples.push_back(SampleOf(*floppy, entry, *header));
                continue;
            }
        } else if (const auto program = ReadS900Program(file, error)) {
            volume.programs.push_back(ProgramOf(entry, *program));
            continue;
        }
        contents.warnings.push_back(entry.name + ": " + error);
    }
    return {};
}

std::optional<MediumSize> EmptySize(std::int32_t model, Medium medium) {
    const auto density = DensityOf(medium);
    const auto info = transfer::SamplerModel::Find(model);
    if (!density || !info || (!info->readsHdFloppies && density == FloppyDensity::hd)) {
        return std::nullopt;
    }
    const std::size_t room =
        S900FloppyImage::Blocks(*density) - S900FloppyImage::ReservedBlocks(*density);
    return MediumSize{S900FloppyImage::ImageBytes(*density),
                      std::uint64_t{room} * S900FloppyImage::blockBytes};
}

std::uint64_t ProgramBytes(const program::Program& program, std::int32_t, Medium) {
    return std::uint64_t{S900NeedsOf(program).blocks} * S900FloppyImage::blockBytes;
}

program::Status Write(const program::Program& program, const ImageRequest& request,
                      SampleWords& words, std::vector<std::uint8_t>& image, bool add,
                      ImageProgress* progress) {
    const auto density = DensityOf(request.medium);
    if (!add && !density) {
        return program::Status::Error("The S900 and S950 use floppies: choose dd or hd.");
    }
    const S900ImageResult result =
        add ? S900ImageOf(program, request.model, FloppyDensity::dd, words,
                          std::span<const std::uint8_t>(image), progress)
            : S900ImageOf(program, request.model, *density, words, std::nullopt, progress);
    if (!result.refusal.empty()) {
        return program::Status::Error(result.refusal);
    }
    image = result.image;
    return {};
}

bool Reads(ImageFormat format) {
    return format == ImageFormat::s900Floppy;
}

// The fewest bytes `count` words of 12 bits fill.
std::uint64_t PackedBytes(std::uint32_t count) {
    return (3ull * count + 1) / 2;
}

std::optional<std::vector<std::int16_t>> UnpackWords(std::span<const std::uint8_t> packed,
                                                     std::uint32_t count) {
    auto words = UnpackS900Words(packed, count);
    if (words) {
        for (std::int16_t& word : *words) {
            word = static_cast<std::int16_t>(static_cast<std::uint16_t>(word) << 4);
        }
    }
    return words;
}

} // namespace

const FamilyImages& S900FamilyImages() {
    static const FamilyImages images{
        .Recognises = Recognises,
        .Read = Read,
        .Reads = Reads,
        .EmptySize = EmptySize,
        .ProgramBytes = ProgramBytes,
        .Write = Write,
        .addWith = "an S900/S950 floppy; choose the S900 or S950",
        .packing = WordCoding::s900Packed,
        .PackedBytes = PackedBytes,
        .UnpackWords = UnpackWords,
    };
    return images;
}

} // namespace velomire::disk
