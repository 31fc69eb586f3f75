// Feeds arbitrary bytes to the disk image reader, as `image --list` and the extraction take an
// image, and adds a small program to them, as `image --add` does. Whatever the bytes, nothing is
// read or written past the image, and the blocks the reader finds in files never add up to more
// than the image holds (each is claimed once); an addition either succeeds, and then every sample
// that was there reads back word for word, or is refused and leaves every byte as it was.

#include "disk/DiskImage.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

namespace {

using namespace velomire;

void Check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

class SilenceWords : public disk::SampleWords {
public:
    program::Status Read(const program::SampleEntry& entry, int,
                         std::vector<std::int16_t>& words) override {
        words.assign(entry.sample.lengthWords, 0);
        return {};
    }
};

program::Program SmallProgram() {
    program::Program program;
    program::SetFieldText(program.header.programName, "fuzz");
    program.header.ResetForNewProgram(0);
    program::SampleEntry& entry = program.samples[0];
    program::SetFieldText(entry.sample.sampleName, "noise");
    entry.sample.lengthWords = 600;
    entry.sample.headerRate = 44100;
    entry.sample.sendMode = program::sendStereo;
    program.sampleCount = 1;
    return program;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::uint8_t> bytes(data, size);
    disk::ImageContents contents;
    if (disk::ReadImage(bytes, contents)) {
        std::uint64_t claimed = 0;
        for (const disk::ImageVolume& volume : contents.volumes) {
            for (const disk::ImageSample& sample : volume.samples) {
                claimed +=
                    std::uint64_t{sample.extent.blockBytes} * sample.extent.blockOffsets.size();
                std::vector<std::int16_t> words;
                if (disk::ReadSampleWords(bytes, sample, words)) {
                    Check(words.size() == sample.lengthWords);
                }
            }
        }
        Check(claimed <= size);
    }
    // The floppy sizes come up rarely by chance: the input also fills an HD floppy's first bytes.
    std::vector<std::uint8_t> floppy(1600 * 1024, 0);
    std::copy_n(data, std::min<std::size_t>(size, floppy.size()), floppy.begin());
    const program::Program program = SmallProgram();
    SilenceWords words;
    for (std::vector<std::uint8_t> image : {std::vector<std::uint8_t>(data, data + size), floppy}) {
        const std::vector<std::uint8_t> before = image;
        for (std::int32_t model : {3, 8}) {
            const disk::Medium medium =
                image.size() == floppy.size() ? disk::Medium::hd : disk::Medium::scsi;
            if (disk::AddToImage(program, {model, medium}, words, image)) {
                disk::ImageContents was;
                disk::ImageContents after;
                Check(static_cast<bool>(disk::ReadImage(before, was)));
                Check(static_cast<bool>(disk::ReadImage(image, after)));
                Check(after.warnings.empty());
                // Each sample that was there is still there, in the same blocks (each block
                // belongs to one file), with the same words.
                std::vector<const disk::ImageSample*> now;
                for (const disk::ImageVolume& volume : after.volumes) {
                    for (const disk::ImageSample& sample : volume.samples) {
                        now.push_back(&sample);
                    }
                }
                for (const disk::ImageVolume& volume : was.volumes) {
                    for (const disk::ImageSample& sample : volume.samples) {
                        const auto same =
                            std::find_if(now.begin(), now.end(), [&](const disk::ImageSample* s) {
                                return s->name == sample.name &&
                                       s->extent.blockOffsets == sample.extent.blockOffsets;
                            });
                        Check(same != now.end());
                        std::vector<std::int16_t> old;
                        std::vector<std::int16_t> kept;
                        Check(disk::ReadSampleWords(before, sample, old).ok ==
                              disk::ReadSampleWords(image, **same, kept).ok);
                        Check(old == kept);
                    }
                }
                break;
            }
            Check(image == before);
        }
    }
    return 0;
}
