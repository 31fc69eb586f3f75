#include "transfer/families/s1000/S1000Layout.h"

#include "transfer/DumpText.h"
#include "transfer/SysExBuffer.h"

#include <algorithm>
#include <string>

namespace velomire::disk {

namespace {

using Bytes = std::span<const std::uint8_t>;

void Put16(std::vector<std::uint8_t>& image, std::uint64_t at, std::uint32_t value) {
    image[at] = static_cast<std::uint8_t>(value & 0xFF);
    image[at + 1] = static_cast<std::uint8_t>((value >> 8) & 0xFF);
}

std::vector<std::uint8_t> Codes(std::string_view text) {
    std::vector<std::uint8_t> codes(nameChars, transfer::AkaiCharCode(' '));
    for (std::size_t i = 0; i < std::min(text.size(), nameChars); ++i) {
        codes[i] = transfer::AkaiCharCode(text[i]);
    }
    return codes;
}

std::string Text(Bytes codes) {
    std::string text;
    for (std::uint8_t code : codes) {
        text += transfer::AkaiChar(code);
    }
    while (!text.empty() && text.back() == ' ') {
        text.pop_back();
    }
    return text;
}

// The header blocks of a floppy: the 64 entries, the map, the label and what follows it.
std::uint32_t FloppyHeaderBlocks(Medium medium) {
    return medium == Medium::dd ? 4 : 5;
}

std::uint32_t FloppyBlocks(Medium medium) {
    return medium == Medium::dd ? 800 : 1600;
}

// The checksum: the 32-bit sum of the size and the magic words.
std::uint32_t Checksum(Bytes image, std::uint64_t base) {
    std::uint32_t sum = 0;
    for (std::size_t word = 0; word <= magicWords; ++word) {
        sum += Word16(image, base + 2 * word);
    }
    return sum;
}

} // namespace

std::uint16_t Word16(std::span<const std::uint8_t> image, std::uint64_t at) {
    return static_cast<std::uint16_t>(image[at] | image[at + 1] << 8);
}

std::uint16_t Area::MapEntry(Bytes image, std::uint32_t block) const {
    const std::uint64_t at = base + mapAt + 2ull * block;
    return at + 2 <= image.size() ? Word16(image, at) : systemBlock;
}

void Area::SetMapEntry(std::vector<std::uint8_t>& image, std::uint32_t block,
                       std::uint16_t value) const {
    Put16(image, base + mapAt + 2ull * block, value);
}

void WriteEntry(std::vector<std::uint8_t>& image, std::uint64_t at,
                const std::vector<std::uint8_t>& name, std::uint8_t type, std::uint32_t bytes,
                std::uint16_t start, bool later) {
    std::copy_n(name.begin(), nameChars, image.begin() + static_cast<std::ptrdiff_t>(at));
    std::fill_n(image.begin() + static_cast<std::ptrdiff_t>(at + nameChars), 4,
                later ? 0x00 : 0x20);
    image[at + 16] = type;
    image[at + 17] = static_cast<std::uint8_t>(bytes & 0xFF);
    image[at + 18] = static_cast<std::uint8_t>((bytes >> 8) & 0xFF);
    image[at + 19] = static_cast<std::uint8_t>((bytes >> 16) & 0xFF);
    Put16(image, at + 20, start);
    image[at + 22] = 0;
    image[at + 23] = later ? 0x11 : 0x03;
}

std::vector<std::uint64_t> FloppyLayout::Slots() const {
    std::vector<std::uint64_t> slots;
    if (later) {
        const std::uint64_t first = std::uint64_t{FloppyHeaderBlocks(medium)} * floppyBlockBytes;
        for (std::size_t i = 0; i < longDirectoryEntries; ++i) {
            slots.push_back(first + entryBytes * i);
        }
    } else {
        for (std::size_t i = 0; i < floppyEntries; ++i) {
            slots.push_back(entryBytes * i);
        }
    }
    return slots;
}

std::optional<FloppyLayout> FloppyLayout::Of(Bytes image) {
    FloppyLayout layout;
    if (image.size() == std::uint64_t{FloppyBlocks(Medium::dd)} * floppyBlockBytes) {
        layout.medium = Medium::dd;
    } else if (image.size() == std::uint64_t{FloppyBlocks(Medium::hd)} * floppyBlockBytes) {
        layout.medium = Medium::hd;
    } else {
        return std::nullopt;
    }
    const std::uint32_t blocks = FloppyBlocks(layout.medium);
    const std::uint32_t header = FloppyHeaderBlocks(layout.medium);
    layout.area = {0, floppyBlockBytes, blocks, floppyMapAt, header};
    for (std::uint32_t block = 0; block < header; ++block) {
        if (layout.area.MapEntry(image, block) != systemBlock) {
            return std::nullopt;
        }
    }
    // The S3000 family marks entry 0; its 12 directory blocks after the header are the system's
    // as well, which also tells a floppy whose mark is missing.
    bool longDirectory = true;
    for (std::uint32_t block = header; block < header + longDirectoryBlocks; ++block) {
        longDirectory = longDirectory && layout.area.MapEntry(image, block) == systemBlock;
    }
    layout.later = image[16] == longDirectoryMark || longDirectory;
    if (layout.later) {
        layout.area.firstFileBlock += longDirectoryBlocks;
    }
    // More system blocks than the medium's header: a high-density floppy cut to the size of a
    // double-density one, whose directory lies elsewhere.
    if (layout.area.MapEntry(image, layout.area.firstFileBlock) == systemBlock) {
        return std::nullopt;
    }
    layout.labelAt = floppyMapAt + 2ull * blocks;
    return layout;
}

std::vector<std::uint8_t> FloppyLayout::Format(Medium medium, bool later,
                                               const std::vector<std::uint8_t>& label) {
    const std::uint32_t blocks = FloppyBlocks(medium);
    std::vector<std::uint8_t> image(std::uint64_t{blocks} * floppyBlockBytes, 0);
    const std::uint32_t system = FloppyHeaderBlocks(medium) + (later ? longDirectoryBlocks : 0);
    const Area area{0, floppyBlockBytes, blocks, floppyMapAt, system};
    for (std::uint32_t block = 0; block < system; ++block) {
        area.SetMapEntry(image, block, systemBlock);
    }
    const std::vector<std::uint8_t> name = label.size() == nameChars ? label : Codes("");
    const std::uint64_t labelAt = floppyMapAt + 2ull * blocks;
    std::copy(name.begin(), name.end(), image.begin() + static_cast<std::ptrdiff_t>(labelAt));
    Put16(image, labelAt + floppyVersionAfterLabel,
          later ? laterFloppyVersion : s1000FloppyVersion);
    if (later) {
        // Entry 0 says the directory lies in the blocks after the label.
        std::copy(name.begin(), name.end(), image.begin());
        image[16] = longDirectoryMark;
        constexpr std::uint8_t settings[] = {0x01, 0x00, 0x00, 0x00, 0x32, 0x09, 0x0C, 0xFF};
        std::copy(std::begin(settings), std::end(settings),
                  image.begin() + static_cast<std::ptrdiff_t>(labelAt + floppySettingsAfterLabel));
    }
    return image;
}

std::optional<Partition> Partition::At(Bytes image, std::uint64_t base) {
    const std::uint64_t headerBytes = std::uint64_t{partitionHeaderBlocks} * diskBlockBytes;
    if (base + headerBytes > image.size()) {
        return std::nullopt;
    }
    const std::uint16_t blocks = Word16(image, base);
    if (blocks <= partitionHeaderBlocks || blocks > largestPartition ||
        diskMapAt + 2ull * blocks > headerBytes) {
        return std::nullopt;
    }
    for (std::size_t k = 0; k < magicWords; ++k) {
        if (Word16(image, base + magicAt + 2 * k) != static_cast<std::uint16_t>(magicStep * k)) {
            return std::nullopt;
        }
    }
    return Partition{{base, diskBlockBytes, blocks, diskMapAt, partitionHeaderBlocks}};
}

std::vector<Partition> Partition::Chain(Bytes image) {
    std::vector<Partition> chain;
    std::uint64_t base = 0;
    while (chain.size() < 4 * maxPartitions) {
        const auto partition = At(image, base);
        if (!partition) {
            break;
        }
        chain.push_back(*partition);
        base = partition->End();
    }
    return chain;
}

std::vector<std::uint8_t> Partition::Format(std::uint32_t blocks) {
    std::vector<std::uint8_t> image(std::uint64_t{blocks} * diskBlockBytes, 0);
    Put16(image, 0, blocks);
    for (std::size_t k = 0; k < magicWords; ++k) {
        Put16(image, magicAt + 2 * k, static_cast<std::uint16_t>(magicStep * k));
    }
    for (std::size_t slot = 0; slot < volumeSlots; ++slot) {
        std::string number = std::to_string(slot + 1);
        number.insert(0, 3 - number.size(), '0');
        const std::vector<std::uint8_t> name = Codes("VOLUME " + number);
        std::copy(name.begin(), name.end(),
                  image.begin() +
                      static_cast<std::ptrdiff_t>(volumeTableAt + volumeEntryBytes * slot));
    }
    const Partition partition{{0, diskBlockBytes, blocks, diskMapAt, partitionHeaderBlocks}};
    for (std::uint32_t block = 0; block < partitionHeaderBlocks; ++block) {
        partition.area.SetMapEntry(image, block, systemBlock);
    }
    partition.UpdateChecksum(image);
    return image;
}

bool Partition::ChecksumMatches(Bytes image) const {
    const std::uint64_t at = area.base + checksumAt;
    const std::uint32_t stored =
        Word16(image, at) | static_cast<std::uint32_t>(Word16(image, at + 2)) << 16;
    return stored == Checksum(image, area.base);
}

void Partition::UpdateChecksum(std::vector<std::uint8_t>& image) const {
    const std::uint32_t sum = Checksum(image, area.base);
    Put16(image, area.base + checksumAt, sum & 0xFFFF);
    Put16(image, area.base + checksumAt + 2, sum >> 16);
}

std::vector<VolumeSlot> Partition::Volumes(Bytes image) const {
    std::vector<VolumeSlot> volumes;
    for (std::size_t slot = 0; slot < volumeSlots; ++slot) {
        const std::uint64_t at = area.base + volumeTableAt + volumeEntryBytes * slot;
        const std::uint16_t type = Word16(image, at + nameChars);
        if (type != s1000VolumeType && type != s3000VolumeType) {
            continue;
        }
        const Bytes codes = image.subspan(at, nameChars);
        volumes.push_back({at,
                           {codes.begin(), codes.end()},
                           Text(codes),
                           type,
                           Word16(image, at + nameChars + 2)});
    }
    return volumes;
}

std::optional<VolumeSlot> Partition::VolumeAt(Bytes image, std::uint16_t directory) const {
    for (const VolumeSlot& volume : Volumes(image)) {
        if (volume.start == directory) {
            return volume;
        }
    }
    return std::nullopt;
}

std::optional<std::uint64_t> Partition::FreeVolumeSlot(Bytes image) const {
    for (std::size_t slot = 0; slot < volumeSlots; ++slot) {
        const std::uint64_t at = area.base + volumeTableAt + volumeEntryBytes * slot;
        if (Word16(image, at + nameChars) == 0) {
            return at;
        }
    }
    return std::nullopt;
}

std::vector<std::uint32_t> Partition::FreeBlocks(Bytes image) const {
    std::vector<std::uint32_t> free;
    for (std::uint32_t block = area.firstFileBlock; block < area.blocks; ++block) {
        if (area.MapEntry(image, block) == freeBlock) {
            free.push_back(block);
        }
    }
    return free;
}

std::vector<std::uint64_t> Partition::DirectorySlots(Bytes image, const VolumeSlot& volume) const {
    std::vector<std::uint64_t> slots;
    const std::size_t entries =
        volume.type == s3000VolumeType ? s3000VolumeEntries : s1000VolumeEntries;
    const auto inArea = [&](std::uint32_t block) {
        return block >= area.firstFileBlock && block < area.blocks;
    };
    if (!inArea(volume.start)) {
        return slots;
    }
    for (std::size_t i = 0; i < entries; ++i) {
        std::uint32_t block = volume.start;
        std::size_t index = i;
        if (i >= entriesPerDiskBlock) {
            block = area.MapEntry(image, volume.start);
            index = i - entriesPerDiskBlock;
            if (!inArea(block)) {
                break;
            }
        }
        const std::uint64_t at =
            area.base + std::uint64_t{block} * area.blockBytes + entryBytes * index;
        if (at + entryBytes > image.size()) {
            break;
        }
        slots.push_back(at);
    }
    return slots;
}

void Partition::AddVolume(std::vector<std::uint8_t>& image, std::uint64_t slot,
                          const std::vector<std::uint8_t>& name, std::uint16_t type,
                          std::uint32_t directory, std::uint32_t second) const {
    std::copy_n(name.begin(), nameChars, image.begin() + static_cast<std::ptrdiff_t>(slot));
    Put16(image, slot + nameChars, type);
    Put16(image, slot + nameChars + 2, directory);
    if (type == s3000VolumeType) {
        area.SetMapEntry(image, directory, static_cast<std::uint16_t>(second));
        area.SetMapEntry(image, second, systemBlock);
    } else {
        area.SetMapEntry(image, directory, systemBlock);
    }
}

} // namespace velomire::disk
