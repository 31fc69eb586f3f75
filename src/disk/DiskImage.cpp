#include "disk/DiskImage.h"

#include "program/MessageList.h"
#include "program/WavInfo.h"
#include "transfer/families/Family.h"
#include "transfer/families/FamilyImages.h"

#include <algorithm>
#include <array>

namespace velomire::disk {

namespace {

// The disk layout of the model's family; null when it has none (or the model is none).
const FamilyImages* ImagesOf(std::int32_t model) {
    const transfer::Family* family = transfer::FamilyOf(model);
    return family == nullptr ? nullptr : family->Images();
}

// The layout of the first family (in the order of Family::All) whose layout `fits`; null when
// none.
template <typename Fits> const FamilyImages* LayoutWhere(Fits fits) {
    for (const transfer::Family* family : transfer::Family::All()) {
        const FamilyImages* images = family->Images();
        if (images != nullptr && fits(*images)) {
            return images;
        }
    }
    return nullptr;
}

program::Status NoImages(std::int32_t model) {
    const auto info = transfer::SamplerModel::Find(model);
    if (!info) {
        return program::Status::Error("Choose an Akai sampler model for the disk image.");
    }
    return program::Status::Error("The " + std::string(info->longName) +
                                  " has no disk drive Velomire writes for.");
}

program::Status Write(const program::Program& program, const ImageRequest& request,
                      SampleWords& words, std::vector<std::uint8_t>& image, bool add,
                      ImageProgress* progress) {
    const FamilyImages* family = ImagesOf(request.model);
    if (family == nullptr) {
        return NoImages(request.model);
    }
    return family->Write(program, request, words, image, add, progress);
}

} // namespace

std::optional<Medium> ParseMedium(std::string_view text) {
    std::string folded;
    for (char c : text) {
        folded += c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
    }
    for (Medium medium : {Medium::dd, Medium::hd, Medium::scsi}) {
        if (folded == MediumName(medium)) {
            return medium;
        }
    }
    return std::nullopt;
}

std::string_view MediumName(Medium medium) {
    switch (medium) {
    case Medium::dd:
        return "dd";
    case Medium::hd:
        return "hd";
    case Medium::scsi:
        return "scsi";
    }
    return "";
}

program::Status ReadImage(std::span<const std::uint8_t> image, ImageContents& contents) {
    const FamilyImages* family =
        LayoutWhere([&](const FamilyImages& layout) { return layout.Recognises(image); });
    if (family == nullptr) {
        return program::Status::Error("This is not a disk image of an Akai sampler.");
    }
    ImageContents read;
    program::Status status = family->Read(image, read);
    if (status) {
        contents = std::move(read);
    }
    return status;
}

program::Status ReadSampleWords(std::span<const std::uint8_t> image, const ImageSample& sample,
                                std::vector<std::int16_t>& words) {
    if (sample.rate == 0) {
        // A WAV file of 0 Hz is no sound file: no reader, this program's included, opens it.
        return program::Status::Error(
            "The sample " + sample.name +
            " has a rate of 0 Hz in its header, which no WAV file holds.");
    }
    const FileExtent& extent = sample.extent;
    // The file's bytes in order, from its blocks; never past the image or the file's length.
    std::vector<std::uint8_t> file;
    file.reserve(extent.fileBytes);
    for (std::uint64_t offset : extent.blockOffsets) {
        if (file.size() >= extent.fileBytes) {
            break;
        }
        if (offset >= image.size()) {
            break;
        }
        const std::uint64_t take = std::min<std::uint64_t>(
            {extent.blockBytes, extent.fileBytes - file.size(), image.size() - offset});
        file.insert(file.end(), image.begin() + static_cast<std::ptrdiff_t>(offset),
                    image.begin() + static_cast<std::ptrdiff_t>(offset + take));
    }
    if (file.size() < extent.fileBytes) {
        return program::Status::Error("The file of " + sample.name +
                                      " ends before its last block.");
    }
    const FamilyImages* packing =
        sample.coding == WordCoding::pcm16le
            ? nullptr
            : LayoutWhere([&](const FamilyImages& layout) {
                  return layout.UnpackWords != nullptr && layout.packing == sample.coding;
              });
    if (sample.coding != WordCoding::pcm16le && packing == nullptr) {
        return program::Status::Error("The words of " + sample.name +
                                      " are packed in a way Velomire does not read.");
    }
    const std::uint64_t needed =
        std::uint64_t{sample.headerBytes} +
        (packing == nullptr ? 2ull * sample.lengthWords : packing->PackedBytes(sample.lengthWords));
    if (file.size() < needed) {
        return program::Status::Error(
            "The file of " + sample.name + " holds fewer words (" +
            std::to_string((file.size() - std::min<std::size_t>(file.size(), sample.headerBytes)) /
                           2) +
            ") than its header says (" + std::to_string(sample.lengthWords) + ").");
    }
    std::vector<std::int16_t> read;
    if (packing == nullptr) {
        const std::uint8_t* data = file.data() + sample.headerBytes;
        read.resize(sample.lengthWords);
        for (std::size_t i = 0; i < read.size(); ++i) {
            read[i] = static_cast<std::int16_t>(data[2 * i] | data[2 * i + 1] << 8);
        }
    } else {
        auto unpacked = packing->UnpackWords(
            std::span<const std::uint8_t>(file).subspan(sample.headerBytes), sample.lengthWords);
        if (!unpacked) {
            return program::Status::Error("The file of " + sample.name +
                                          " holds fewer words than its header says (" +
                                          std::to_string(sample.lengthWords) + ").");
        }
        read = std::move(*unpacked);
    }
    words = std::move(read);
    return {};
}

program::Status WavSampleWords::Read(const program::SampleEntry& entry, int part,
                                     std::vector<std::int16_t>& words) {
    const program::SampleBlock& sample = entry.sample;
    program::MessageList messages;
    program::WavInfo wav(messages);
    const std::string fileName = program::FieldText(sample.fileName);
    if (!wav.Open(programDirectory / fileName, fileName)) {
        return program::Status::Error("Cannot read " + fileName + ": " + messages.Reasons());
    }
    if (std::uint64_t{sample.soundStart} + sample.lengthWords > wav.FrameCount()) {
        // Past its end the reader gives silence; a send refuses such a row, and so does an image.
        return program::Status::Error("The sound of " + program::FieldText(sample.sampleName) +
                                      " lies outside its file " + fileName + ".");
    }
    wav.Seek(sample.soundStart);
    std::vector<std::int16_t> read(sample.lengthWords);
    for (std::int16_t& word : read) {
        word = static_cast<std::int16_t>(wav.ReadFrame(part));
    }
    words = std::move(read);
    return {};
}

std::optional<MediumSize> EmptyMediumSize(std::int32_t model, Medium medium) {
    const FamilyImages* family = ImagesOf(model);
    return family == nullptr ? std::nullopt : family->EmptySize(model, medium);
}

std::uint64_t ProgramImageBytes(const program::Program& program, std::int32_t model,
                                Medium medium) {
    const FamilyImages* family = ImagesOf(model);
    return family == nullptr ? 0 : family->ProgramBytes(program, model, medium);
}

program::Status MakeImage(const program::Program& program, const ImageRequest& request,
                          SampleWords& words, std::vector<std::uint8_t>& image,
                          ImageProgress* progress) {
    return Write(program, request, words, image, false, progress);
}

program::Status CheckNewImage(const program::Program& program, const ImageRequest& request) {
    // The writers check everything before the first word is read; reaching it means it fits.
    class FirstWordStops final : public SampleWords {
    public:
        program::Status Read(const program::SampleEntry&, int,
                             std::vector<std::int16_t>&) override {
            reached = true;
            return program::Status::Error("Checked.");
        }
        bool reached = false;
    } words;
    std::vector<std::uint8_t> image;
    const program::Status made = MakeImage(program, request, words, image);
    return words.reached ? program::Status{} : made;
}

program::Status AddToImage(const program::Program& program, const ImageRequest& request,
                           SampleWords& words, std::vector<std::uint8_t>& image,
                           ImageProgress* progress) {
    // The reader that lists an image decides what may be added to it: what it cannot read or
    // reads with a fault is refused, naming the fault, since a block it could not account for may
    // still hold someone's file.
    ImageContents contents;
    if (const program::Status read = ReadImage(image, contents); !read) {
        return program::Status::Error("The image cannot be added to: " + read.text);
    }
    if (!contents.warnings.empty()) {
        return program::Status::Error("The image is damaged, and adding to it could overwrite what "
                                      "is left: " +
                                      contents.warnings.front());
    }
    const FamilyImages* own =
        LayoutWhere([&](const FamilyImages& layout) { return layout.Reads(contents.format); });
    const FamilyImages* requested = ImagesOf(request.model);
    if (requested != nullptr && own != nullptr && requested != own) {
        return program::Status::Error("The image is " + std::string(own->addWith) +
                                      " to add to it.");
    }
    // The image's own medium, whatever the request says.
    return Write(program, {request.model, contents.medium}, words, image, true, progress);
}

const transfer::Family* FamilyOfImage(ImageFormat format) {
    for (const transfer::Family* family : transfer::Family::All()) {
        const FamilyImages* images = family->Images();
        if (images != nullptr && images->Reads(format)) {
            return family;
        }
    }
    return nullptr;
}

} // namespace velomire::disk
