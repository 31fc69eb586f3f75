#include "transfer/families/s1000/S1000Layout.h"

#include "program/StereoNames.h"
#include "transfer/DumpText.h"
#include "transfer/SysExBuffer.h"
#include "transfer/SysExDecoder.h"
#include "transfer/families/FamilyImages.h"
#include "transfer/families/s1000/S1000Blocks.h"

#include <algorithm>
#include <set>
#include <string>

// The S1000/S3000 family's floppies and hard disks. A floppy is one volume: its directory, the
// block map and the label. A hard disk is a chain of partitions, each with its header (size, magic
// series, checksum), a table of 100 volumes and a block map; each volume's directory has a block of
// its own. Files are the same on both: a sample is its header block then its words, a program its
// header block then one block per keygroup.
namespace velomire::disk {

namespace {

using Bytes = std::span<const std::uint8_t>;
using transfer::s1000::BlockBytes;

constexpr std::uint8_t sampleType = 's';
constexpr std::uint8_t programType = 'p';
constexpr std::uint8_t laterModelsBit = 0x80;
constexpr std::uint32_t highestRate = 65535;    // the header's 16-bit field
constexpr std::uint64_t largestFile = 0xFFFFFF; // the directory's 24-bit length

constexpr std::size_t sampleNameAt = 3;
constexpr std::size_t keygroupCountAt = 42;
constexpr std::size_t zoneAt = 34;
constexpr std::size_t zoneBytes = 24;
constexpr std::size_t zoneCount = 4;
// A keygroup's individual output, after its zones and six bytes more.
constexpr std::size_t outputAt = zoneAt + zoneBytes * zoneCount + 6;

std::uint32_t Get32(Bytes bytes, std::uint64_t at) {
    return Word16(bytes, at) | static_cast<std::uint32_t>(Word16(bytes, at + 2)) << 16;
}

// Twelve character codes as text, trailing spaces removed.
std::string NameText(Bytes codes) {
    std::string name;
    for (std::uint8_t code : codes.first(std::min<std::size_t>(codes.size(), nameChars))) {
        name += transfer::AkaiChar(code);
    }
    while (!name.empty() && name.back() == ' ') {
        name.pop_back();
    }
    return name;
}

std::uint32_t BlocksFor(std::uint64_t bytes, std::uint32_t blockBytes) {
    return static_cast<std::uint32_t>((bytes + blockBytes - 1) / blockBytes);
}

// ---------------------------------------------------------------------------------------------
// Reading

// What the reader passed over, up to a hundred lines and then their count: a damaged directory
// may hold thousands of refused entries.
constexpr std::size_t warningLines = 100;

void Warn(std::vector<std::string>& warnings, std::string text) {
    if (warnings.size() < warningLines) {
        warnings.push_back(std::move(text));
    } else if (warnings.size() == warningLines) {
        warnings.emplace_back("There are more problems; the first " + std::to_string(warningLines) +
                              " are shown.");
    }
}

// The first `count` bytes of a file (fewer when its blocks end first).
std::vector<std::uint8_t> FileHead(Bytes image, const FileExtent& extent, std::size_t count) {
    std::vector<std::uint8_t> head;
    count = std::min<std::size_t>(count, extent.fileBytes);
    for (std::uint64_t offset : extent.blockOffsets) {
        if (head.size() >= count || offset >= image.size()) {
            break;
        }
        const std::uint64_t take = std::min<std::uint64_t>(
            {extent.blockBytes, count - head.size(), image.size() - offset});
        head.insert(head.end(), image.begin() + static_cast<std::ptrdiff_t>(offset),
                    image.begin() + static_cast<std::ptrdiff_t>(offset + take));
    }
    return head;
}

// The blocks of one file system a reading has found in use: the system's, each volume's
// directory and each file's chain. A block claimed twice is a damaged image (two volumes sharing
// a directory, a chain that comes back on itself or runs into another file's): refused, so that
// nothing is read twice and the extents never hold more blocks than the image has.
class UsedBlocks {
public:
    explicit UsedBlocks(const Area& area) : used(area.blocks, false) {
        std::fill_n(used.begin(), std::min(area.firstFileBlock, area.blocks), true);
    }
    // True when the block was free to claim (and now is claimed).
    bool Claim(std::uint32_t block) {
        if (block >= used.size() || used[block]) {
            return false;
        }
        used[block] = true;
        return true;
    }

private:
    std::vector<bool> used;
};

bool EndsFile(std::uint16_t entry) {
    // 0xC000 as the S1000 family writes it; 0x8000, the S900's mark, which other tools may have
    // written, is taken as well.
    return entry == endOfFile || entry == 0x8000;
}

// The blocks of a file from its first block along the map, exactly as many as its length needs,
// the last one marked as the file's end. Nothing, with the reason, when the chain leaves the area
// or the image, stops early, runs on past the length, or meets a block already claimed.
std::optional<FileExtent> Extent(Bytes image, const Area& area, std::uint16_t start,
                                 std::uint32_t fileBytes, UsedBlocks& used, std::string& problem) {
    FileExtent extent;
    extent.blockBytes = area.blockBytes;
    extent.fileBytes = fileBytes;
    const std::uint32_t needed = BlocksFor(fileBytes, area.blockBytes);
    std::uint32_t block = start;
    for (std::uint32_t i = 0; i < needed; ++i) {
        const auto where = [&] { return " (block " + std::to_string(block) + ")"; };
        if (block < area.firstFileBlock || block >= area.blocks) {
            problem = "runs outside its disk" + where();
            return std::nullopt;
        }
        const std::uint64_t offset = area.base + std::uint64_t{block} * area.blockBytes;
        if (offset + area.blockBytes > image.size()) {
            problem = "runs past the end of the image" + where();
            return std::nullopt;
        }
        if (!used.Claim(block)) {
            problem =
                "uses a block another file or directory uses, or comes back on itself" + where();
            return std::nullopt;
        }
        extent.blockOffsets.push_back(offset);
        const std::uint16_t next = area.MapEntry(image, block);
        if (i + 1 == needed && !EndsFile(next)) {
            problem = "does not end in the block map where its length ends" + where();
            return std::nullopt;
        }
        if (i + 1 < needed && (next == freeBlock || next == systemBlock || EndsFile(next))) {
            problem = "ends in the block map before its length of " + std::to_string(fileBytes) +
                      " bytes" + where();
            return std::nullopt;
        }
        block = next;
    }
    return extent;
}

void ReadSample(Bytes image, const ImageFile& file, const FileExtent& extent, ImageVolume& volume,
                std::vector<std::string>& warnings) {
    const std::size_t headerBytes = (file.fileType & laterModelsBit) != 0
                                        ? transfer::s1000::longBlockBytes
                                        : transfer::s1000::shortBlockBytes;
    const std::vector<std::uint8_t> head = FileHead(image, extent, headerBytes);
    if (head.size() < headerBytes || head[0] != 3) {
        Warn(warnings, "The sample " + file.name + " has no sample header.");
        return;
    }
    ImageSample sample;
    sample.name = file.name;
    sample.fileType = file.fileType;
    sample.rootKey = head[2];
    sample.headerName = NameText(Bytes(head).subspan(sampleNameAt, nameChars));
    sample.loopMode = head[19];
    sample.tune = static_cast<std::int16_t>(Word16(head, 20));
    sample.lengthWords = Get32(head, 26);
    sample.startPoint = Get32(head, 30);
    sample.endPoint = Get32(head, 34);
    const std::size_t loops = std::min<std::size_t>(head[16], 8);
    for (std::size_t loop = 0; loop < loops; ++loop) {
        const std::size_t at = 38 + 12 * loop;
        sample.loops.push_back({Get32(head, at), Get32(head, at + 6), Word16(head, at + 10)});
    }
    sample.rate = Word16(head, 138);
    sample.extent = extent;
    sample.headerBytes = static_cast<std::uint32_t>(headerBytes);
    sample.coding = WordCoding::pcm16le;
    volume.samples.push_back(std::move(sample));
}

void ReadProgram(Bytes image, const ImageFile& file, const FileExtent& extent, ImageVolume& volume,
                 std::vector<std::string>& warnings) {
    const std::size_t blockBytes = (file.fileType & laterModelsBit) != 0
                                       ? transfer::s1000::longBlockBytes
                                       : transfer::s1000::shortBlockBytes;
    const std::vector<std::uint8_t> head = FileHead(image, extent, blockBytes);
    if (head.size() < blockBytes || head[0] != 1) {
        Warn(warnings, "The program " + file.name + " has no program header.");
        return;
    }
    ImageProgram program;
    program.name = file.name;
    program.fileType = file.fileType;
    const std::size_t count = head[keygroupCountAt];
    const std::vector<std::uint8_t> all = FileHead(image, extent, blockBytes * (count + 1));
    for (std::size_t k = 0; k < count; ++k) {
        const std::size_t at = blockBytes * (k + 1);
        if (all.size() < at + blockBytes || all[at] != 2) {
            Warn(warnings, "The program " + file.name + " ends after " + std::to_string(k) +
                               " of its " + std::to_string(count) + " keygroups.");
            break;
        }
        const Bytes keygroup = Bytes(all).subspan(at, blockBytes);
        ImageKeygroup read;
        read.lowKey = keygroup[3];
        read.highKey = keygroup[4];
        read.tune = static_cast<std::int16_t>(keygroup[5] | keygroup[6] << 8);
        read.output = keygroup[outputAt];
        for (std::size_t zone = 0; zone < zoneCount; ++zone) {
            const Bytes z = keygroup.subspan(zoneAt + zoneBytes * zone, zoneBytes);
            ImageZone played{NameText(z.first(nameChars)), z[12], z[13],
                             static_cast<std::int16_t>(z[14] | z[15] << 8),
                             static_cast<std::int8_t>(z[18])};
            if (!played.sampleName.empty()) {
                read.zones.push_back(std::move(played));
            }
        }
        program.keygroups.push_back(std::move(read));
    }
    volume.programs.push_back(std::move(program));
}

// One volume from its directory's entry slots. Every file's chain is claimed, whatever its type,
// so that a damaged one is told and no two files share a block.
ImageVolume ReadVolume(Bytes image, const Area& area, const std::vector<std::uint64_t>& slots,
                       std::string name, int partition, UsedBlocks& used,
                       std::vector<std::string>& warnings) {
    ImageVolume volume;
    volume.name = std::move(name);
    volume.partition = partition;
    for (std::uint64_t slot : slots) {
        if (slot + entryBytes > image.size()) {
            break;
        }
        const Bytes entry = image.subspan(slot, entryBytes);
        const std::uint8_t type = entry[16];
        if (type == 0) {
            continue;
        }
        ImageFile file{NameText(entry.first(nameChars)), type,
                       static_cast<std::uint32_t>(entry[17] | entry[18] << 8 | entry[19] << 16)};
        std::string problem;
        const auto extent = Extent(image, area, Word16(entry, 20), file.bytes, used, problem);
        if (!extent) {
            Warn(warnings, "The file " + file.name + (volume.name.empty() ? "" : " of volume ") +
                               volume.name + " " + problem + "; it was left out.");
            continue;
        }
        volume.files.push_back(file);
        const std::uint8_t kind = type & ~laterModelsBit;
        if (kind == sampleType) {
            ReadSample(image, file, *extent, volume, warnings);
        } else if (kind == programType) {
            ReadProgram(image, file, *extent, volume, warnings);
        }
    }
    return volume;
}

std::uint64_t FreeBytes(Bytes image, const Area& area) {
    std::uint64_t free = 0;
    for (std::uint32_t block = area.firstFileBlock; block < area.blocks; ++block) {
        free += area.MapEntry(image, block) == freeBlock ? area.blockBytes : 0;
    }
    return free;
}

program::Status ReadFloppy(Bytes image, ImageContents& contents) {
    const auto layout = FloppyLayout::Of(image);
    if (!layout) {
        return program::Status::Error("This is not an S1000 or S3000 floppy image.");
    }
    contents.format = layout->later ? ImageFormat::s3000Floppy : ImageFormat::s1000Floppy;
    contents.medium = layout->medium;
    UsedBlocks used(layout->area);
    contents.volumes.push_back(ReadVolume(image, layout->area, layout->Slots(),
                                          NameText(image.subspan(layout->labelAt, nameChars)), 0,
                                          used, contents.warnings));
    contents.freeBytes = FreeBytes(image, layout->area);
    return {};
}

// Claims the blocks of a volume's directory: its own block, and for the S3000 family's long
// directory the one its map entry names. The map must not call them free, or a program added to
// the disk would be written over the directory.
std::optional<std::string> ClaimDirectory(Bytes image, const Area& area, const VolumeSlot& volume,
                                          UsedBlocks& used) {
    const std::uint16_t entry = area.MapEntry(image, volume.start);
    std::vector<std::uint32_t> blocks{volume.start};
    if (volume.type == s3000VolumeType && entry != systemBlock && !EndsFile(entry)) {
        blocks.push_back(entry);
    }
    for (const std::uint32_t block : blocks) {
        const std::string where = " (block " + std::to_string(block) + ")";
        if (block < area.firstFileBlock || block >= area.blocks) {
            return "lies outside its partition" + where;
        }
        if (area.MapEntry(image, block) == freeBlock) {
            return "lies in a block the block map calls free" + where;
        }
        if (!used.Claim(block)) {
            return "lies in a block another volume or file uses" + where;
        }
    }
    return std::nullopt;
}

program::Status ReadHardDisk(Bytes image, ImageContents& contents) {
    const std::vector<Partition> partitions = Partition::Chain(image);
    if (partitions.empty()) {
        return program::Status::Error("This is not an S1000 or S3000 hard disk image.");
    }
    contents.format = ImageFormat::akaiDisk;
    contents.medium = Medium::scsi;
    for (std::size_t p = 0; p < partitions.size(); ++p) {
        const Partition& partition = partitions[p];
        const std::string letter(1, static_cast<char>('A' + p));
        if (!partition.ChecksumMatches(image)) {
            Warn(contents.warnings, "The header of partition " + letter + " has a wrong checksum.");
        }
        UsedBlocks used(partition.area);
        for (const VolumeSlot& slot : partition.Volumes(image)) {
            if (const auto problem = ClaimDirectory(image, partition.area, slot, used)) {
                Warn(contents.warnings, "The directory of volume " + slot.name + " in partition " +
                                            letter + " " + *problem + "; the volume was left out.");
                continue;
            }
            contents.volumes.push_back(ReadVolume(image, partition.area,
                                                  partition.DirectorySlots(image, slot), slot.name,
                                                  static_cast<int>(p), used, contents.warnings));
        }
        contents.freeBytes += FreeBytes(image, partition.area);
    }
    return {};
}

bool Recognises(Bytes image) {
    return FloppyLayout::Of(image).has_value() || !Partition::Chain(image).empty();
}

program::Status Read(Bytes image, ImageContents& contents) {
    return FloppyLayout::Of(image) ? ReadFloppy(image, contents) : ReadHardDisk(image, contents);
}

// ---------------------------------------------------------------------------------------------
// Writing

// One file the program becomes: its directory name and type, and its bytes (the header block,
// then the words or the keygroups).
struct NewFile {
    std::vector<std::uint8_t> name; // 12 character codes
    std::uint8_t type = 0;
    std::string shown;              // the name as the user reads it
    std::string what;               // "sample 3", "the program"
    std::uint64_t bytes = 0;        // the file's length
    std::vector<std::uint8_t> head; // the header block(s)
    const program::SampleEntry* entry = nullptr;
    int part = 0;
};

bool IsLater(std::int32_t model) {
    return BlockBytes(model) == transfer::s1000::longBlockBytes;
}

std::string ShownName(const std::vector<std::uint8_t>& codes) {
    return NameText(codes);
}

// The disk's block as the sampler saves it: a keygroup's bytes 32-33 and every zone's bytes
// 20-21 are FF (none), and a zone that plays nothing is named with spaces and holds nothing else:
// velocities, tune, level and pan 0, bytes 20-23 FF.
void AsSaved(std::vector<std::uint8_t>& keygroup, std::size_t zonesUsed) {
    keygroup[32] = 0xFF;
    keygroup[33] = 0xFF;
    for (std::size_t zone = 0; zone < zoneCount; ++zone) {
        const auto at = keygroup.begin() + static_cast<std::ptrdiff_t>(zoneAt + zoneBytes * zone);
        if (zone < zonesUsed) {
            std::fill_n(at + 20, 2, 0xFF);
        } else {
            std::fill_n(at, nameChars, transfer::AkaiCharCode(' '));
            std::fill_n(at + nameChars, 8, 0);
            std::fill_n(at + 20, 4, 0xFF);
        }
    }
}

// The files of the program for the model, each sample part its own file; refused (one message
// naming the limit) when a name clashes or a rate does not fit.
program::Status PlanFiles(const program::Program& source, std::int32_t model,
                          std::vector<NewFile>& files) {
    const int count = std::clamp(source.sampleCount, 0, program::Program::maxSamples);
    if (count == 0) {
        return program::Status::Error("The program has no samples to write.");
    }
    const std::uint8_t typeBit = IsLater(model) ? laterModelsBit : 0;
    for (int row = 0; row < count; ++row) {
        const program::SampleEntry& entry = source.samples[static_cast<std::size_t>(row)];
        const program::SampleBlock& sample = entry.sample;
        const std::string name = program::FieldText(sample.sampleName);
        if (sample.headerRate > highestRate) {
            return program::Status::Error("Sample " + std::to_string(row + 1) + " [" + name +
                                          "] is sampled at " + std::to_string(sample.headerRate) +
                                          " Hz; the S1000 family takes " +
                                          std::to_string(highestRate) + " Hz at most.");
        }
        for (int part : program::PartsOf(sample.sendMode)) {
            program::SampleBlock onDisk = sample;
            onDisk.waveAddress = 0; // the sampler fills in where the words lie in its memory
            NewFile file;
            file.name = transfer::s1000::AkaiNameCodes(name, part);
            file.type = static_cast<std::uint8_t>(sampleType | typeBit);
            file.shown = ShownName(file.name);
            file.what = "sample " + std::to_string(row + 1);
            file.head = transfer::s1000::SampleHeaderBlock(onDisk, part, model);
            file.bytes = file.head.size() + 2ull * sample.lengthWords;
            if (file.bytes > largestFile) {
                return program::Status::Error(
                    "Sample " + std::to_string(row + 1) + " [" + name + "] has " +
                    std::to_string(sample.lengthWords) + " words; a file on the disk holds " +
                    std::to_string((largestFile - file.head.size()) / 2) + " words at most.");
            }
            file.entry = &entry;
            file.part = part;
            files.push_back(std::move(file));
        }
    }
    for (std::size_t i = 0; i < files.size(); ++i) {
        for (std::size_t j = 0; j < i; ++j) {
            if (files[i].name == files[j].name) {
                return program::Status::Error(
                    "The " + files[j].what + " and the " + files[i].what +
                    " would both be named \"" + files[i].shown +
                    "\" on the disk, and a volume holds each name once: rename one of them.");
            }
        }
    }

    program::Program copy = source;
    copy.header.programParams[program::ProgramHeader::keygroupCountParam] =
        static_cast<std::int16_t>(count);
    NewFile programFile;
    programFile.name = transfer::s1000::AkaiNameCodes(source.ProgramName(), 0);
    programFile.type = static_cast<std::uint8_t>(programType | typeBit);
    programFile.shown = ShownName(programFile.name);
    programFile.what = "program";
    programFile.head = transfer::s1000::ProgramHeaderBlock(copy, model);
    for (int row = 0; row < count; ++row) {
        std::vector<std::uint8_t> keygroup = transfer::s1000::KeygroupBlock(copy, row, model);
        const bool stereo =
            copy.samples[static_cast<std::size_t>(row)].sample.sendMode == program::sendStereo;
        AsSaved(keygroup, stereo ? 2 : 1);
        programFile.head.insert(programFile.head.end(), keygroup.begin(), keygroup.end());
    }
    programFile.bytes = programFile.head.size();
    files.push_back(std::move(programFile));
    return {};
}

std::uint64_t BlocksOf(const std::vector<NewFile>& files, std::uint32_t blockBytes) {
    std::uint64_t blocks = 0;
    for (const NewFile& file : files) {
        blocks += BlocksFor(file.bytes, blockBytes);
    }
    return blocks;
}

std::string Kilobytes(std::uint64_t bytes) {
    return std::to_string((bytes + 1023) / 1024) + " KB";
}

// What a floppy's refusal suggests.
constexpr const char* largerMedium = " A hard disk (SCSI) image holds more.";

// Where the files go: the area, its directory's free slots, the free blocks in order.
struct Target {
    Area area;
    std::vector<std::uint64_t> freeSlots;
    std::vector<std::uint32_t> freeBlocks;
};

program::Status CheckFits(const std::vector<NewFile>& files, const Target& target,
                          const std::string& medium, std::size_t directoryEntries) {
    if (files.size() > target.freeSlots.size()) {
        return program::Status::Error("The program needs " + std::to_string(files.size()) +
                                      " directory entries; " + medium + " has " +
                                      std::to_string(target.freeSlots.size()) + " free of its " +
                                      std::to_string(directoryEntries) + "." + largerMedium);
    }
    const std::uint64_t needed = BlocksOf(files, target.area.blockBytes);
    if (needed > target.freeBlocks.size()) {
        return program::Status::Error(
            "The program needs " + Kilobytes(needed * target.area.blockBytes) + "; " + medium +
            " has " + Kilobytes(std::uint64_t{target.freeBlocks.size()} * target.area.blockBytes) +
            " free." + largerMedium);
    }
    return {};
}

// Reads every part's words before anything is written, so that a file that cannot be read leaves
// the image as it was.
program::Status ReadWords(const std::vector<NewFile>& files, SampleWords& words,
                          std::vector<std::vector<std::int16_t>>& read, ImageProgress* progress) {
    std::uint64_t total = 0;
    for (const NewFile& file : files) {
        total += file.entry != nullptr ? file.entry->sample.lengthWords : 0;
    }
    std::uint64_t done = 0;
    read.resize(files.size());
    for (std::size_t i = 0; i < files.size(); ++i) {
        const NewFile& file = files[i];
        if (file.entry == nullptr) {
            continue;
        }
        if (progress != nullptr && progress->Cancelled()) {
            return program::Status::Error("Cancelled.");
        }
        program::Status status = words.Read(*file.entry, file.part, read[i]);
        if (!status) {
            return status;
        }
        read[i].resize(file.entry->sample.lengthWords);
        done += file.entry->sample.lengthWords;
        if (progress != nullptr) {
            progress->Progress(done, total);
        }
    }
    return {};
}

// Writes the files into the target's free slots and blocks (in order, so that a fresh image holds
// each file in consecutive blocks).
void WriteFiles(std::vector<std::uint8_t>& image, const std::vector<NewFile>& files,
                const std::vector<std::vector<std::int16_t>>& words, const Target& target,
                bool later) {
    std::size_t next = 0;
    for (std::size_t i = 0; i < files.size(); ++i) {
        const NewFile& file = files[i];
        std::vector<std::uint8_t> bytes = file.head;
        bytes.reserve(file.bytes);
        for (std::int16_t word : words[i]) {
            bytes.push_back(static_cast<std::uint8_t>(word & 0xFF));
            bytes.push_back(static_cast<std::uint8_t>((word >> 8) & 0xFF));
        }
        const std::uint32_t blocks = BlocksFor(bytes.size(), target.area.blockBytes);
        const std::uint32_t first = target.freeBlocks[next];
        for (std::uint32_t b = 0; b < blocks; ++b) {
            const std::uint32_t block = target.freeBlocks[next + b];
            const std::uint64_t from = std::uint64_t{b} * target.area.blockBytes;
            const std::uint64_t take =
                std::min<std::uint64_t>(target.area.blockBytes, bytes.size() - from);
            std::copy_n(bytes.begin() + static_cast<std::ptrdiff_t>(from), take,
                        image.begin() +
                            static_cast<std::ptrdiff_t>(
                                target.area.base + std::uint64_t{block} * target.area.blockBytes));
            target.area.SetMapEntry(
                image, block,
                b + 1 < blocks ? static_cast<std::uint16_t>(target.freeBlocks[next + b + 1])
                               : endOfFile);
        }
        next += blocks;
        WriteEntry(image, target.freeSlots[i], file.name, file.type,
                   static_cast<std::uint32_t>(file.bytes), static_cast<std::uint16_t>(first),
                   later);
    }
}

Target TargetIn(Bytes image, const Area& area, const std::vector<std::uint64_t>& slots) {
    Target target{area, {}, {}};
    for (std::uint64_t slot : slots) {
        if (image[slot + 16] == 0) {
            target.freeSlots.push_back(slot);
        }
    }
    for (std::uint32_t block = area.firstFileBlock; block < area.blocks; ++block) {
        if (area.MapEntry(image, block) == freeBlock) {
            target.freeBlocks.push_back(block);
        }
    }
    return target;
}

std::string MediumText(Medium medium) {
    switch (medium) {
    case Medium::dd:
        return "a double-density floppy";
    case Medium::hd:
        return "a high-density floppy";
    case Medium::scsi:
        return "a hard disk volume";
    }
    return "";
}

program::Status WriteFloppy(const std::vector<NewFile>& files, const program::Program& program,
                            const ImageRequest& request, SampleWords& words,
                            std::vector<std::uint8_t>& image, bool add, ImageProgress* progress) {
    const bool later = IsLater(request.model);
    std::vector<std::uint8_t> fresh;
    if (!add) {
        fresh = FloppyLayout::Format(request.medium, later,
                                     transfer::s1000::AkaiNameCodes(program.ProgramName(), 0));
    }
    std::vector<std::uint8_t>& target = add ? image : fresh;
    const auto layout = FloppyLayout::Of(target);
    if (!layout) {
        return program::Status::Error("The image is not an S1000 or S3000 floppy.");
    }
    if (layout->later != later) {
        return program::Status::Error(std::string("The floppy is formatted for the ") +
                                      (layout->later ? "S3000 family" : "S1000/S1100") +
                                      "; choose such a model to add to it.");
    }
    if (add) {
        ImageContents contents;
        ReadFloppy(target, contents);
        for (const NewFile& file : files) {
            for (const ImageFile& there : contents.volumes.front().files) {
                if (there.name == file.shown && there.fileType == file.type) {
                    return program::Status::Error("The floppy already holds a file named \"" +
                                                  file.shown + "\".");
                }
            }
        }
    }
    const Target where = TargetIn(target, layout->area, layout->Slots());
    program::Status fits =
        CheckFits(files, where, MediumText(layout->medium), layout->Slots().size());
    if (!fits) {
        return fits;
    }
    std::vector<std::vector<std::int16_t>> read;
    program::Status status = ReadWords(files, words, read, progress);
    if (!status) {
        return status;
    }
    WriteFiles(target, files, read, where, later);
    if (!add) {
        image.swap(fresh);
    }
    return {};
}

program::Status WriteHardDisk(const std::vector<NewFile>& files, const program::Program& program,
                              const ImageRequest& request, SampleWords& words,
                              std::vector<std::uint8_t>& image, bool add, ImageProgress* progress) {
    const bool later = IsLater(request.model);
    const std::vector<std::uint8_t> volumeName =
        transfer::s1000::AkaiNameCodes(program.ProgramName(), 0);
    const std::uint32_t directoryBlocks = later ? 2 : 1;
    const std::size_t directoryEntries = later ? s3000VolumeEntries : s1000VolumeEntries;
    if (files.size() > directoryEntries) {
        return program::Status::Error("The program needs " + std::to_string(files.size()) +
                                      " directory entries; a volume holds " +
                                      std::to_string(directoryEntries) + ".");
    }
    const std::uint64_t needed =
        BlocksOf(files, diskBlockBytes) + directoryBlocks + partitionHeaderBlocks;
    if (needed > partitionBlocks) {
        return program::Status::Error("The program needs " + Kilobytes(needed * diskBlockBytes) +
                                      "; a hard disk partition holds " +
                                      Kilobytes(std::uint64_t{partitionBlocks} * diskBlockBytes) +
                                      " at most.");
    }

    std::vector<Partition> partitions;
    if (add) {
        partitions = Partition::Chain(image);
        if (partitions.empty()) {
            return program::Status::Error("The image is not an S1000 or S3000 hard disk.");
        }
        if (partitions.back().End() > image.size()) {
            return program::Status::Error(
                "The image ends inside partition " +
                std::string(1, static_cast<char>('A' + partitions.size() - 1)) + ".");
        }
        for (const Partition& partition : partitions) {
            for (const VolumeSlot& slot : partition.Volumes(image)) {
                if (slot.codes == volumeName) {
                    return program::Status::Error("The disk already holds a volume named \"" +
                                                  ShownName(volumeName) + "\".");
                }
            }
        }
    }
    // The first partition with a free volume slot and room for the volume, else a new partition
    // after the last.
    std::optional<Partition> chosen;
    for (const Partition& partition : partitions) {
        if (partition.FreeVolumeSlot(image) &&
            partition.FreeBlocks(image).size() >= needed - partitionHeaderBlocks) {
            chosen = partition;
            break;
        }
    }
    std::vector<std::uint8_t> fresh;
    if (!chosen) {
        if (partitions.size() >= maxPartitions) {
            return program::Status::Error("The disk already has " + std::to_string(maxPartitions) +
                                          " partitions, all too full for the program.");
        }
        fresh = Partition::Format(partitionBlocks);
        if (add) {
            // Only over bytes that hold nothing: what follows the partitions read may be one
            // whose header is damaged, or the files of a partition whose size field lies.
            const std::uint64_t base = partitions.back().End();
            const auto from = image.begin() + static_cast<std::ptrdiff_t>(base);
            const auto to = image.begin() + static_cast<std::ptrdiff_t>(std::min<std::uint64_t>(
                                                image.size(), base + fresh.size()));
            if (base < image.size() &&
                std::any_of(from, to, [](std::uint8_t b) { return b != 0; })) {
                return program::Status::Error(
                    "The partitions that can be read have no room, and the image holds bytes "
                    "after partition " +
                    std::string(1, static_cast<char>('A' + partitions.size() - 1)) +
                    " (from byte " + std::to_string(base) +
                    ") that are not a partition Velomire can read; a new partition there would "
                    "overwrite them.");
            }
        }
    }

    std::vector<std::vector<std::int16_t>> read;
    program::Status status = ReadWords(files, words, read, progress);
    if (!status) {
        return status;
    }
    if (!chosen) {
        // A new image, or a partition after the last one (over what follows the chain, which
        // no partition holds).
        const std::uint64_t base = add ? partitions.back().End() : 0;
        if (!add) {
            image.clear();
        }
        image.resize(std::max<std::uint64_t>(image.size(), base + fresh.size()));
        std::copy(fresh.begin(), fresh.end(), image.begin() + static_cast<std::ptrdiff_t>(base));
        chosen = Partition::At(image, base);
    }
    const std::vector<std::uint32_t> freeBlocks = chosen->FreeBlocks(image);
    const std::uint32_t directory = freeBlocks[0];
    const std::uint32_t secondDirectory = later ? freeBlocks[1] : 0;
    chosen->AddVolume(image, *chosen->FreeVolumeSlot(image), volumeName,
                      later ? s3000VolumeType : s1000VolumeType, directory, secondDirectory);
    const std::vector<std::uint64_t> slots =
        chosen->DirectorySlots(image, *chosen->VolumeAt(image, directory));
    const Target where = TargetIn(image, chosen->area, slots);
    WriteFiles(image, files, read, where, later);
    chosen->UpdateChecksum(image);
    return {};
}

program::Status Write(const program::Program& program, const ImageRequest& request,
                      SampleWords& words, std::vector<std::uint8_t>& image, bool add,
                      ImageProgress* progress) {
    std::vector<NewFile> files;
    program::Status planned = PlanFiles(program, request.model, files);
    if (!planned) {
        return planned;
    }
    return request.medium == Medium::scsi
               ? WriteHardDisk(files, program, request, words, image, add, progress)
               : WriteFloppy(files, program, request, words, image, add, progress);
}

std::optional<MediumSize> EmptySize(std::int32_t model, Medium medium) {
    if (medium == Medium::scsi) {
        const std::uint64_t bytes = std::uint64_t{partitionBlocks} * diskBlockBytes;
        return MediumSize{
            bytes, bytes - std::uint64_t{partitionHeaderBlocks + (IsLater(model) ? 2u : 1u)} *
                               diskBlockBytes};
    }
    const std::vector<std::uint8_t> empty = FloppyLayout::Format(medium, IsLater(model), {});
    const auto layout = FloppyLayout::Of(empty);
    return MediumSize{empty.size(), FreeBytes(empty, layout->area)};
}

std::uint64_t ProgramBytes(const program::Program& program, std::int32_t model, Medium medium) {
    std::vector<NewFile> files;
    if (!PlanFiles(program, model, files)) {
        return 0;
    }
    const std::uint32_t blockBytes = medium == Medium::scsi ? diskBlockBytes : floppyBlockBytes;
    return BlocksOf(files, blockBytes) * blockBytes;
}

bool Reads(ImageFormat format) {
    return format == ImageFormat::s1000Floppy || format == ImageFormat::s3000Floppy ||
           format == ImageFormat::akaiDisk;
}

} // namespace

const FamilyImages& S1000FamilyImages() {
    static const FamilyImages images{
        .Recognises = Recognises,
        .Read = Read,
        .Reads = Reads,
        .EmptySize = EmptySize,
        .ProgramBytes = ProgramBytes,
        .Write = Write,
        .addWith = "an S1000/S3000 family image; choose a model of that family",
        .packing = WordCoding::pcm16le,
        .PackedBytes = nullptr,
        .UnpackWords = nullptr,
    };
    return images;
}

} // namespace velomire::disk
