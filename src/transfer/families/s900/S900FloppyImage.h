#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace velomire::disk {

// The two floppies of the S900 and S950: 800 blocks of 1 KB (double density, both models) or
// 1,600 (high density, the S950 only).
enum class FloppyDensity { dd, hd };

// One file to put on a floppy: its 10-character name as the directory shows it (trailing
// spaces are padding), its type ('S' sample, 'P' program) and its bytes.
struct S900DiskFile {
    std::string name;
    char type = 0;
    std::vector<std::uint8_t> bytes;
};

// One directory entry of a floppy that was read.
struct S900DirEntry {
    int slot = 0;     // 0..63
    std::string name; // trailing spaces removed
    char type = 0;
    std::uint32_t length = 0; // bytes
    std::uint16_t startBlock = 0;
};

// An S900/S950 floppy image: 64 directory entries of 24 bytes at 0 (name, 6 zero bytes, type,
// length in 3 bytes, first block in 2, 2 zero bytes), then at 0x600 the block map, 2 bytes a
// block: the next block of the file, 0x8000 on a file's last block, 0 on a free block. The
// directory and the map fill the first blocks (4 on a double-density floppy, 5 on a high-density
// one, whose map runs past 4 KB); files never go there. Everything is little-endian and every
// byte not written is 0, so an empty floppy is all zeros.
class S900FloppyImage {
public:
    static constexpr std::size_t blockBytes = 1024;
    static constexpr std::size_t entryCount = 64;
    static constexpr std::size_t entryBytes = 24;
    static constexpr std::size_t mapOffset = 0x600;
    static constexpr std::uint16_t endOfFile = 0x8000;
    static constexpr std::size_t nameChars = 10;
    static constexpr std::uint32_t maxFileBytes = 0xFFFFFF; // the length field's 3 bytes
    static_assert(entryCount * entryBytes == mapOffset);

    static std::size_t Blocks(FloppyDensity density) {
        return density == FloppyDensity::dd ? 800 : 1600;
    }
    static std::size_t ImageBytes(FloppyDensity density) { return Blocks(density) * blockBytes; }
    // Blocks taken by the directory and the map.
    static std::size_t ReservedBlocks(FloppyDensity density) {
        return (mapOffset + 2 * Blocks(density) + blockBytes - 1) / blockBytes;
    }
    static std::size_t BlocksFor(std::size_t bytes) {
        return (bytes + blockBytes - 1) / blockBytes;
    }

    // A formatted, empty floppy.
    explicit S900FloppyImage(FloppyDensity density);

    // Reads an image, checking its size, every directory entry and every file's chain of blocks
    // (in range, not free, no block used twice, as long as the file). Nothing, with `error`
    // saying why, when it is not a sound S900/S950 floppy.
    static std::optional<S900FloppyImage> Parse(std::span<const std::uint8_t> image,
                                                std::string& error);

    FloppyDensity Density() const { return density; }
    const std::vector<S900DirEntry>& Entries() const { return entries; }
    std::size_t FreeBlocks() const;
    std::size_t FreeEntries() const { return entryCount - entries.size(); }
    // The file's bytes, gathered along its chain, and the blocks of that chain.
    std::vector<std::uint8_t> FileBytes(const S900DirEntry& entry) const;
    std::vector<std::size_t> Chain(const S900DirEntry& entry) const;
    // Why files of these many blocks and entries do not fit in the free room, or nothing.
    std::optional<std::string> Fits(std::size_t blocks, std::size_t files) const;

    // Writes the files into free entries and free blocks, in order, touching no byte of the files
    // already there. Refused as a whole, with one sentence naming the limit and nothing changed,
    // when they do not fit (entries, blocks, a file too long) or a name is already taken by a
    // file of the same type (on the floppy or among them).
    std::optional<std::string> Add(const std::vector<S900DiskFile>& files);

    const std::vector<std::uint8_t>& Bytes() const { return image; }

private:
    S900FloppyImage(FloppyDensity density, std::vector<std::uint8_t> image);
    std::uint16_t MapEntry(std::size_t block) const;
    void SetMapEntry(std::size_t block, std::uint16_t value);
    std::optional<std::string> Check();

    FloppyDensity density;
    std::vector<std::uint8_t> image;
    std::vector<S900DirEntry> entries;
};

// A directory name as the floppy stores it: the first 10 characters, padded with spaces.
std::string S900FileName(std::string_view name);

} // namespace velomire::disk
