#pragma once

#include "program/Program.h"
#include "program/SampleBlock.h"
#include "program/Status.h"
#include "transfer/SamplerModel.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// What the families' disk layouts (s900/S900Floppy, s1000/S1000Disk) share with disk/DiskImage.h,
// which dispatches to them: the medium, what an image holds read back, what to write and where the
// words and the progress come from.
namespace velomire::disk {

// The medium an image stands for: an 800 KB double-density floppy (800 blocks of 1 KB), a 1.6 MB
// high-density one (1600 blocks), or a raw SCSI hard disk of 512-byte sectors.
enum class Medium { dd, hd, scsi };

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

// Where the writer gets the words of one part of a program row (part 0 mono or the mix, 1 left,
// 2 right): lengthWords words from the row's soundStart.
class SampleWords {
public:
    virtual ~SampleWords() = default;
    virtual program::Status Read(const program::SampleEntry& entry, int part,
                                 std::vector<std::int16_t>& words) = 0;
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

// The bytes an empty image of a medium holds, and how many of them a program may fill (the
// blocks the directory and map leave free).
struct MediumSize {
    std::uint64_t imageBytes = 0;
    std::uint64_t freeBytes = 0;
};

} // namespace velomire::disk
