#pragma once

#include "program/Program.h"
#include "transfer/families/DiskFormat.h"
#include "transfer/families/s900/S900FloppyImage.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace velomire::disk {

// The S900/S950 sample file: the 60-byte sample header (the bytes of the SysEx sample header
// before they are split for the wire), then the words, 12-bit signed, packed three bytes to two
// words: for n words (n even), byte 2i holds the low 4 bits of word i in its top half and those
// of word n/2 + i in its bottom half, byte 2i + 1 the top 8 bits of word i, and the n/2 bytes
// after the first n the top 8 bits of the words from n/2 on. An odd count is packed as if a zero
// word followed.
inline constexpr std::size_t s900SampleHeaderBytes = 60;
// The program file: the 38-byte program header and a 70-byte keygroup per sample part.
inline constexpr std::size_t s900ProgramHeaderBytes = 38;
inline constexpr std::size_t s900KeygroupBytes = 70;

std::vector<std::uint8_t> PackS900Words(std::span<const std::int16_t> words);
// `count` words from packed bytes; nothing when the bytes are too few.
std::optional<std::vector<std::int16_t>> UnpackS900Words(std::span<const std::uint8_t> packed,
                                                         std::uint32_t count);
std::size_t S900PackedBytes(std::uint32_t words);

// What a sample file holds.
struct S900Sample {
    std::string name;
    std::uint32_t rate = 0;   // Hz
    std::uint16_t tuning = 0; // 16ths of a semitone: the root key * 16
    char loopMode = 'O';      // 'L' loops, 'O' one-shot, 'A' alternating
    // Where the sampler stops, or loops back from by the loop length; the first word it plays.
    std::uint32_t endPoint = 0;
    std::uint32_t firstReplayPoint = 0;
    std::uint32_t loopLength = 0;
    std::vector<std::int16_t> words; // signed 12-bit, -2048..2047
};

struct S900Keygroup {
    int lowKey = 0;
    int highKey = 0;
    std::string sampleName;
    // Byte 19: 255 plays on any voice, 0-7 on that one; 8 and 9 are the halves of a stereo entry,
    // sent as two keygroups one after the other.
    int output = 255;
};

struct S900ProgramInfo {
    std::string name;
    std::vector<S900Keygroup> keygroups;
};

// Read a sample or program file; nothing, with `error` saying why, when the bytes do not hold
// one (too short, a length past the file). The header alone leaves `words` empty.
std::optional<S900Sample> ReadS900SampleHeader(std::span<const std::uint8_t> file,
                                               std::string& error);
std::optional<S900Sample> ReadS900Sample(std::span<const std::uint8_t> file, std::string& error);
std::optional<S900ProgramInfo> ReadS900Program(std::span<const std::uint8_t> file,
                                               std::string& error);

// The files of a program as the S900 (`model` 1) or the S950 (2) keeps them on floppy: a sample
// file for each sample part the Send command sends (stereo entries as two ending "-L" and
// "-R"), then the program, their headers the blocks a send's messages carry (S900Blocks.h); the
// words come from `words` (the top 12 bits of each). Either the files, or one sentence saying which
// limit they pass (the model's sample memory, the header's 16-bit rate, a sample that cannot be
// read) and nothing else. `progress` (may be null) hears of every part and may cancel between them.
struct S900FilesResult {
    std::vector<S900DiskFile> files;
    std::string refusal;
};
S900FilesResult S900FilesOf(const program::Program& program, std::int32_t model, SampleWords& words,
                            ImageProgress* progress = nullptr);

// What the program's files take on a floppy, reckoned from the program alone (no file read):
// blocks of 1 KB and directory entries.
struct S900Needs {
    std::size_t blocks = 0;
    std::size_t files = 0;
};
S900Needs S900NeedsOf(const program::Program& program);

// The floppy image of a program for `model`: a new floppy of `density`, or, given `existing`
// bytes, that floppy with the program's files added in its free space. Either the image, or one
// sentence naming the limit it passes (the S900 reads double density only; a floppy that cannot
// be read, full, a name taken) and no image.
struct S900ImageResult {
    std::vector<std::uint8_t> image;
    std::string refusal;
    std::size_t files = 0;
    std::size_t freeBlocks = 0; // left on the floppy
};
S900ImageResult S900ImageOf(const program::Program& program, std::int32_t model,
                            FloppyDensity density, SampleWords& words,
                            std::optional<std::span<const std::uint8_t>> existing = std::nullopt,
                            ImageProgress* progress = nullptr);

// The S900/S950 floppies behind Family::Images (S900Floppy.cpp).
struct FamilyImages;
const FamilyImages& S900FamilyImages();

} // namespace velomire::disk
