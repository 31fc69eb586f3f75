#pragma once

#include "program/Program.h"
#include "program/SampleBlock.h"
#include "program/Status.h"
#include "transfer/SamplerModel.h"

#include <cstddef>
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
// families' own layouts live beside this file (S900Floppy, S1000Disk); callers use only what is
// declared here.
namespace velomire::disk {

// The medium an image stands for: an 800 KB double-density floppy (800 blocks of 1 KB), a 1.6 MB
// high-density one (1600 blocks), or a raw SCSI hard disk of 512-byte sectors.
enum class Medium { dd, hd, scsi };

// "dd", "hd" or "scsi" (letter case does not matter).
std::optional<Medium> ParseMedium(std::string_view text);
std::string_view MediumName(Medium medium);

// How an image is laid out, as the reader recognised it.
enum class ImageFormat {
    s900Floppy,  // S900/S950: 64 entries of 24 bytes, 12-bit packed sample data
    s1000Floppy, // S1000 family floppy: 64 entries, types 's'/'p'
    s3000Floppy, // S3000 family floppy: the long directory, types with bit 7 set
    akaiDisk,    // S1000/S3000 hard disk: partitions of volumes
};

// Where a file's bytes lie in the image: its blocks in order (absolute byte offsets of each
// block's start), the block size, and its length in bytes.
struct FileExtent {
    std::vector<std::uint64_t> blockOffsets;
    std::uint32_t blockBytes = 0;
    std::uint32_t fileBytes = 0;
};

// How a sample file stores its words after the header.
enum class WordCoding {
    pcm16le,    // signed 16-bit little-endian (S1000 family)
    s900Packed, // the S900 floppy's 12-bit packing
};

// A sample as its file holds it. Points and loops count words from the start of the data; a loop's
// `at` is its last word (as in the program), `length` its length in words, dwell in ms (9999 =
// hold).
struct ImageSample {
    std::string name; // the directory's name, trailing spaces removed
    std::uint8_t fileType = 0;
    std::uint32_t rate = 0; // Hz
    int rootKey = 0;        // note number
    std::uint32_t lengthWords = 0;
    std::uint32_t startPoint = 0;
    std::uint32_t endPoint = 0;
    int loopMode = 0; // program::LoopMode numbering
    // The header's tune: S1000 family in 1/256 semitone (bytes 20-21, signed); S900/S950 in 1/16
    // semitone above the root key (the low 4 bits of its tuning).
    std::int32_t tune = 0;
    std::vector<program::LoopSpec> loops; // the active loops, first to last
    // The name inside the header (the sampler's RAM name); equal to `name` in a well-made image.
    std::string headerName;
    FileExtent extent;
    std::uint32_t headerBytes = 0; // the words start this far into the file
    WordCoding coding = WordCoding::pcm16le;
};

struct ImageZone {
    std::string sampleName; // trailing spaces removed; empty when the zone plays nothing
    int velocityLow = 0;
    int velocityHigh = 127;
    std::int16_t tune = 0; // S1000 family: 1/256 semitone
    int pan = 0;           // S1000 family: -50 (left) to 50 (right)
};

struct ImageKeygroup {
    int lowKey = 0;
    int highKey = 127;
    std::int16_t tune = 0; // S1000 family: 1/256 semitone
    // S1000 family: the individual output, 0-7. S900/S950: the keygroup's output byte (255 any
    // voice, 0-7 that one, 8 and 9 the left and right halves of a stereo entry).
    int output = 0;
    std::vector<ImageZone> zones; // the zones that play a sample
};

struct ImageProgram {
    std::string name;
    std::uint8_t fileType = 0;
    std::vector<ImageKeygroup> keygroups;
};

// Every directory entry, whatever its type (multis, drum settings ... are listed but not read).
struct ImageFile {
    std::string name;
    std::uint8_t fileType = 0;
    std::uint32_t bytes = 0;
};

struct ImageVolume {
    std::string name;
    int partition = 0; // 0 on a floppy; A = 0, B = 1 ... on a hard disk
    std::vector<ImageFile> files;
    std::vector<ImageProgram> programs;
    std::vector<ImageSample> samples;
};

struct ImageContents {
    ImageFormat format = ImageFormat::s1000Floppy;
    Medium medium = Medium::hd;
    std::vector<ImageVolume> volumes;
    std::uint64_t freeBytes = 0; // in whole free blocks
    // What the reader passed over (a file whose header could not be read, a chain that ends
    // early); the rest was read.
    std::vector<std::string> warnings;
};

// Reads an image: its volumes, programs and samples, never the sample words. Any bytes are safe to
// give it: what is not an image of a known layout is refused with the reason.
program::Status ReadImage(std::span<const std::uint8_t> image, ImageContents& contents);

// The words of a sample ReadImage found in the same bytes, as signed 16-bit values (12-bit S900
// words in the top 12 bits). Refused when the file is shorter than its header says, or its rate is
// 0 Hz (no WAV file holds that).
program::Status ReadSampleWords(std::span<const std::uint8_t> image, const ImageSample& sample,
                                std::vector<std::int16_t>& words);

// Where the writer gets the words of one part of a program row (part 0 mono or the mix, 1 left,
// 2 right): lengthWords words from the row's soundStart.
class SampleWords {
public:
    virtual ~SampleWords() = default;
    virtual program::Status Read(const program::SampleEntry& entry, int part,
                                 std::vector<std::int16_t>& words) = 0;
};

// Reads them from the row's WAV file, named relative to the program's directory, as a send does.
class WavSampleWords : public SampleWords {
public:
    explicit WavSampleWords(std::filesystem::path programDirectory)
        : programDirectory(std::move(programDirectory)) {}
    program::Status Read(const program::SampleEntry& entry, int part,
                         std::vector<std::int16_t>& words) override;

private:
    std::filesystem::path programDirectory;
};

// What to write: for which sampler model, on which medium.
struct ImageRequest {
    std::int32_t model = transfer::SamplerModel::none;
    Medium medium = Medium::hd;
};

// Where a long write reports, and how the user stops it (checked between samples).
class ImageProgress {
public:
    virtual ~ImageProgress() = default;
    virtual void Progress(std::uint64_t done, std::uint64_t total) = 0; // in words
    virtual bool Cancelled() = 0;
};

// The bytes an empty image of the medium holds for the model's family, and how many of them a
// program may fill (the blocks the directory and map leave free). Nothing for a model without disk
// images or a medium the model's drive cannot take (the S900 has no high-density drive).
struct MediumSize {
    std::uint64_t imageBytes = 0;
    std::uint64_t freeBytes = 0;
};
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
