#include "transfer/families/s900/S900FloppyImage.h"

#include "program/ByteReader.h"

#include <algorithm>
#include <cctype>
#include <set>
#include <utility>

namespace velomire::disk {

namespace {

// The bytes of one directory entry.
constexpr std::size_t nameAt = 0;
constexpr std::size_t typeAt = 16;
constexpr std::size_t lengthAt = 17;
constexpr std::size_t startAt = 20;

void Put(std::vector<std::uint8_t>& image, std::size_t at, std::uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) {
        image[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(value >> (8 * i));
    }
}

// The name as compared for clashes: without its padding, letter case folded (the sampler's
// display shows no difference worth two files).
std::string NameKey(std::string_view name) {
    std::string key(name.substr(0, S900FloppyImage::nameChars));
    while (!key.empty() && key.back() == ' ') {
        key.pop_back();
    }
    std::transform(key.begin(), key.end(), key.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return key;
}

std::string TypeWord(char type) {
    return type == 'S' ? "sample" : type == 'P' ? "program" : "file";
}

} // namespace

std::string S900FileName(std::string_view name) {
    std::string field(name.substr(0, S900FloppyImage::nameChars));
    field.resize(S900FloppyImage::nameChars, ' ');
    return field;
}

S900FloppyImage::S900FloppyImage(FloppyDensity density)
    : density(density), image(ImageBytes(density), 0) {}

S900FloppyImage::S900FloppyImage(FloppyDensity density, std::vector<std::uint8_t> image)
    : density(density), image(std::move(image)) {}

std::uint16_t S900FloppyImage::MapEntry(std::size_t block) const {
    const std::size_t at = mapOffset + 2 * block;
    return static_cast<std::uint16_t>(image[at] | (image[at + 1] << 8));
}

void S900FloppyImage::SetMapEntry(std::size_t block, std::uint16_t value) {
    Put(image, mapOffset + 2 * block, value, 2);
}

std::optional<S900FloppyImage> S900FloppyImage::Parse(std::span<const std::uint8_t> bytes,
                                                      std::string& error) {
    std::optional<FloppyDensity> found;
    for (FloppyDensity d : {FloppyDensity::dd, FloppyDensity::hd}) {
        if (bytes.size() == ImageBytes(d)) {
            found = d;
        }
    }
    if (!found) {
        error = "not an S900/S950 floppy image (" + std::to_string(bytes.size()) +
                " bytes; a floppy has 819,200 or 1,638,400)";
        return std::nullopt;
    }
    S900FloppyImage floppy(*found, std::vector<std::uint8_t>(bytes.begin(), bytes.end()));
    if (auto problem = floppy.Check()) {
        error = *problem;
        return std::nullopt;
    }
    return floppy;
}

std::optional<std::string> S900FloppyImage::Check() {
    entries.clear();
    const std::size_t blocks = Blocks(density);
    const std::size_t reserved = ReservedBlocks(density);
    std::vector<bool> used(blocks, false);
    for (std::size_t slot = 0; slot < entryCount; ++slot) {
        const auto raw =
            std::span<const std::uint8_t>(image).subspan(slot * entryBytes, entryBytes);
        if (std::all_of(raw.begin(), raw.end(), [](std::uint8_t b) { return b == 0; })) {
            continue; // a free entry
        }
        program::ByteReader in(raw);
        S900DirEntry entry;
        entry.slot = static_cast<int>(slot);
        for (std::size_t i = 0; i < nameChars; ++i) {
            entry.name.push_back(static_cast<char>(in.U8()));
        }
        entry.name = entry.name.substr(0, entry.name.find_last_not_of(' ') + 1);
        in.Skip(typeAt - nameChars);
        entry.type = static_cast<char>(in.U8());
        entry.length = in.U16();
        entry.length |= std::uint32_t{in.U8()} << 16;
        entry.startBlock = in.U16();
        const std::string where = "directory entry " + std::to_string(slot + 1);
        // A file takes at least one block, even when empty.
        const std::size_t chain = std::max<std::size_t>(1, BlocksFor(entry.length));
        std::size_t block = entry.startBlock;
        for (std::size_t k = 0; k < chain; ++k) {
            if (block < reserved || block >= blocks) {
                return where + " leads to block " + std::to_string(block) + ", outside the files";
            }
            if (used[block]) {
                return where + " leads to block " + std::to_string(block) +
                       ", which another file or this one already uses";
            }
            used[block] = true;
            const std::uint16_t next = MapEntry(block);
            if (k + 1 == chain) {
                if (next != endOfFile) {
                    return where + " does not end in the block map where its length ends";
                }
            } else if (next == 0 || next == endOfFile) {
                return where + " ends in the block map before its length of " +
                       std::to_string(entry.length) + " bytes";
            } else {
                block = next;
            }
        }
        entries.push_back(std::move(entry));
    }
    return std::nullopt;
}

std::size_t S900FloppyImage::FreeBlocks() const {
    std::size_t free = 0;
    for (std::size_t b = ReservedBlocks(density); b < Blocks(density); ++b) {
        free += MapEntry(b) == 0 ? 1 : 0;
    }
    return free;
}

std::vector<std::uint8_t> S900FloppyImage::FileBytes(const S900DirEntry& entry) const {
    std::vector<std::uint8_t> bytes;
    bytes.reserve(entry.length);
    std::size_t block = entry.startBlock;
    while (bytes.size() < entry.length) {
        const std::size_t take = std::min<std::size_t>(blockBytes, entry.length - bytes.size());
        const auto from = image.begin() + static_cast<std::ptrdiff_t>(block * blockBytes);
        bytes.insert(bytes.end(), from, from + static_cast<std::ptrdiff_t>(take));
        block = MapEntry(block); // the chain was checked when the floppy was read or written
    }
    return bytes;
}

std::optional<std::string> S900FloppyImage::Fits(std::size_t blocks, std::size_t files) const {
    if (files > FreeEntries()) {
        return "The files need " + std::to_string(files) +
               " directory entries; the floppy holds 64 files and has " +
               std::to_string(FreeEntries()) + " free.";
    }
    if (blocks > FreeBlocks()) {
        return "The files need " + std::to_string(blocks) + " KB; the floppy holds " +
               std::to_string(Blocks(density) - ReservedBlocks(density)) + " KB and has " +
               std::to_string(FreeBlocks()) + " KB free.";
    }
    return std::nullopt;
}

std::vector<std::size_t> S900FloppyImage::Chain(const S900DirEntry& entry) const {
    std::vector<std::size_t> chain;
    std::size_t block = entry.startBlock;
    const std::size_t count = std::max<std::size_t>(1, BlocksFor(entry.length));
    for (std::size_t k = 0; k < count; ++k) {
        chain.push_back(block);
        block = MapEntry(block); // the chain was checked when the floppy was read or written
    }
    return chain;
}

std::optional<std::string> S900FloppyImage::Add(const std::vector<S900DiskFile>& files) {
    // Every check first: a refusal leaves the image as it was.
    std::size_t needed = 0;
    std::set<std::pair<char, std::string>> names;
    for (const S900DirEntry& entry : entries) {
        names.insert({entry.type, NameKey(entry.name)});
    }
    for (const S900DiskFile& file : files) {
        if (file.bytes.size() > maxFileBytes) {
            return "The " + TypeWord(file.type) + " " + NameKey(file.name) +
                   " is longer than a file on the floppy can be (16 MB).";
        }
        if (!names.insert({file.type, NameKey(file.name)}).second) {
            return "Two " + TypeWord(file.type) + "s would be named " + NameKey(file.name) +
                   " on the floppy; names must be unique (10 characters).";
        }
        needed += std::max<std::size_t>(1, BlocksFor(file.bytes.size()));
    }
    if (auto refused = Fits(needed, files.size())) {
        return refused;
    }

    std::size_t nextFree = ReservedBlocks(density);
    const auto takeBlock = [&] {
        while (MapEntry(nextFree) != 0) {
            ++nextFree;
        }
        return nextFree++;
    };
    std::size_t slot = 0;
    for (const S900DiskFile& file : files) {
        while (std::any_of(image.begin() + static_cast<std::ptrdiff_t>(slot * entryBytes),
                           image.begin() + static_cast<std::ptrdiff_t>((slot + 1) * entryBytes),
                           [](std::uint8_t b) { return b != 0; })) {
            ++slot;
        }
        const std::size_t chain = std::max<std::size_t>(1, BlocksFor(file.bytes.size()));
        std::vector<std::size_t> blocks;
        for (std::size_t k = 0; k < chain; ++k) {
            blocks.push_back(takeBlock());
            SetMapEntry(blocks.back(), endOfFile); // taken, linked below
        }
        for (std::size_t k = 0; k < chain; ++k) {
            const std::size_t at = blocks[k] * blockBytes;
            std::fill_n(image.begin() + static_cast<std::ptrdiff_t>(at), blockBytes, 0);
            const std::size_t from = k * blockBytes;
            const std::size_t take =
                std::min(blockBytes, file.bytes.size() - std::min(from, file.bytes.size()));
            std::copy_n(file.bytes.begin() + static_cast<std::ptrdiff_t>(from), take,
                        image.begin() + static_cast<std::ptrdiff_t>(at));
            SetMapEntry(blocks[k],
                        k + 1 == chain ? endOfFile : static_cast<std::uint16_t>(blocks[k + 1]));
        }
        const std::size_t at = slot * entryBytes;
        std::fill_n(image.begin() + static_cast<std::ptrdiff_t>(at), entryBytes, 0);
        const std::string name = S900FileName(file.name);
        std::copy(name.begin(), name.end(),
                  image.begin() + static_cast<std::ptrdiff_t>(at + nameAt));
        image[at + typeAt] = static_cast<std::uint8_t>(file.type);
        Put(image, at + lengthAt, static_cast<std::uint32_t>(file.bytes.size()), 3);
        Put(image, at + startAt, static_cast<std::uint32_t>(blocks.front()), 2);
        ++slot;
    }
    Check(); // the entries as they now stand
    return std::nullopt;
}

} // namespace velomire::disk
