#pragma once

#include "transfer/families/DiskFormat.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

// Where things lie on the S1000/S3000 family's floppies and hard disks. Little-endian throughout;
// a block map holds 2 bytes a block: 0 free, 0x4000 the system's, 0xC000 a file's last block,
// otherwise the number of the file's next block.
namespace velomire::disk {

// The little-endian 16-bit word of an image at `at` (the caller has checked that it lies inside).
std::uint16_t Word16(std::span<const std::uint8_t> image, std::uint64_t at);

inline constexpr std::size_t nameChars = 12;
inline constexpr std::size_t entryBytes = 24; // a directory entry
inline constexpr std::uint16_t freeBlock = 0;
inline constexpr std::uint16_t systemBlock = 0x4000;
inline constexpr std::uint16_t endOfFile = 0xC000;

// Floppies: 1 KB blocks; 64 entries at 0, the map at 0x600, the label right after the map. The
// S3000 family marks entry 0 with type FF and keeps 510 entries in the 12 blocks after the label.
inline constexpr std::uint32_t floppyBlockBytes = 1024;
inline constexpr std::size_t floppyEntries = 64;
inline constexpr std::size_t floppyMapAt = 0x600;
inline constexpr std::size_t longDirectoryEntries = 510;
inline constexpr std::uint32_t longDirectoryBlocks = 12;
inline constexpr std::uint8_t longDirectoryMark = 0xFF;
// The operating system version the label carries 14 bytes after its name (minor, then major): a
// reader takes a floppy without it (00 00) for an S900 one. The S1000's floppies carry its last
// version, 4.40 (28 04); the later models' carry 00 11, as they mark each file they save (disk
// structures as akaiutil, a public disk tool, documents them).
inline constexpr std::size_t floppyVersionAfterLabel = 14;
inline constexpr std::uint16_t s1000FloppyVersion = 0x0428;
inline constexpr std::uint16_t laterFloppyVersion = 0x1100;
// What the S3000 family keeps 18 bytes after a floppy's label (its transpose and other global
// settings); zeros there upset the sampler's transpose.
inline constexpr std::size_t floppySettingsAfterLabel = 0x12;

// Hard disks: 8 KB blocks in partitions of at most 7680 blocks (60 MB). A partition starts with
// its size in blocks, a series of 98 magic words (3333 k, k = 0..97), a 32-bit checksum (the sum
// of the 99 words before it), 100 volume entries of 16 bytes (name, type, first block of the
// volume's directory) and the block map; these take its first 3 blocks.
inline constexpr std::uint32_t diskBlockBytes = 8192;
inline constexpr std::uint32_t partitionBlocks = 7680;
inline constexpr std::uint32_t partitionHeaderBlocks = 3;
inline constexpr std::size_t magicAt = 2;
inline constexpr std::size_t magicWords = 98;
inline constexpr std::uint16_t magicStep = 3333;
inline constexpr std::size_t checksumAt = 0xC6;
inline constexpr std::size_t volumeTableAt = 0xCA;
inline constexpr std::size_t volumeSlots = 100;
inline constexpr std::size_t volumeEntryBytes = 16;
inline constexpr std::size_t diskMapAt = 0x70A;
inline constexpr std::uint32_t largestPartition = 30720; // blocks; a larger size is no partition
inline constexpr std::size_t maxPartitions = 9;
// Volume types, and their directories: one block of 125 entries (S1000), or 510 entries in two
// blocks, the second named by the first one's map entry (S3000 family).
inline constexpr std::uint16_t s1000VolumeType = 1;
inline constexpr std::uint16_t s3000VolumeType = 3;
inline constexpr std::size_t s1000VolumeEntries = 125;
inline constexpr std::size_t s3000VolumeEntries = 510;
inline constexpr std::size_t entriesPerDiskBlock = 341;

// One file system: a floppy, or one partition of a hard disk.
struct Area {
    std::uint64_t base = 0; // its first byte in the image
    std::uint32_t blockBytes = 0;
    std::uint32_t blocks = 0;
    std::uint64_t mapAt = 0;          // from base
    std::uint32_t firstFileBlock = 0; // the blocks before it are the system's

    std::uint16_t MapEntry(std::span<const std::uint8_t> image, std::uint32_t block) const;
    void SetMapEntry(std::vector<std::uint8_t>& image, std::uint32_t block,
                     std::uint16_t value) const;
};

// A directory entry: the name's 12 codes, 4 tag bytes (spaces on the S1000, zeros on the later
// models), the type, the length (24 bits), the first block and the system's version.
void WriteEntry(std::vector<std::uint8_t>& image, std::uint64_t at,
                const std::vector<std::uint8_t>& name, std::uint8_t type, std::uint32_t bytes,
                std::uint16_t start, bool later);

struct FloppyLayout {
    Medium medium = Medium::hd;
    bool later = false; // formatted by an S3000-family sampler
    Area area;
    std::uint64_t labelAt = 0;

    // The directory's entry slots (byte offsets).
    std::vector<std::uint64_t> Slots() const;

    // The layout of an S1000-family floppy image: 800 or 1600 KB, its header blocks marked as
    // the system's. Nothing for any other bytes.
    static std::optional<FloppyLayout> Of(std::span<const std::uint8_t> image);
    // An empty floppy with the given label (12 codes; none: spaces).
    static std::vector<std::uint8_t> Format(Medium medium, bool later,
                                            const std::vector<std::uint8_t>& label);
};

struct VolumeSlot {
    std::uint64_t at = 0; // the entry's offset
    std::vector<std::uint8_t> codes;
    std::string name;
    std::uint16_t type = 0;
    std::uint16_t start = 0;
};

struct Partition {
    Area area;

    std::uint64_t End() const { return area.base + std::uint64_t{area.blocks} * area.blockBytes; }

    // The partitions from the start of the image, as long as each header is whole and carries
    // the magic series.
    static std::vector<Partition> Chain(std::span<const std::uint8_t> image);
    static std::optional<Partition> At(std::span<const std::uint8_t> image, std::uint64_t base);
    // An empty partition of `blocks` blocks (its unused volume entries named "VOLUME 001" ...).
    static std::vector<std::uint8_t> Format(std::uint32_t blocks);

    bool ChecksumMatches(std::span<const std::uint8_t> image) const;
    void UpdateChecksum(std::vector<std::uint8_t>& image) const;
    // The volumes in use, in table order.
    std::vector<VolumeSlot> Volumes(std::span<const std::uint8_t> image) const;
    std::optional<VolumeSlot> VolumeAt(std::span<const std::uint8_t> image,
                                       std::uint16_t directory) const;
    std::optional<std::uint64_t> FreeVolumeSlot(std::span<const std::uint8_t> image) const;
    std::vector<std::uint32_t> FreeBlocks(std::span<const std::uint8_t> image) const;
    // The entry slots of a volume's directory that lie in the image.
    std::vector<std::uint64_t> DirectorySlots(std::span<const std::uint8_t> image,
                                              const VolumeSlot& volume) const;
    // Enters a volume whose directory takes block `directory` (and `second` for the S3000
    // family's long directory).
    void AddVolume(std::vector<std::uint8_t>& image, std::uint64_t slot,
                   const std::vector<std::uint8_t>& name, std::uint16_t type,
                   std::uint32_t directory, std::uint32_t second) const;
};

// The S1000/S3000 family's floppies and hard disks behind Family::Images (S1000Disk.cpp).
struct FamilyImages;
const FamilyImages& S1000FamilyImages();

} // namespace velomire::disk
