#include "disk/DiskImage.h"

#include "support/DiskRows.h"
#include "support/HexMatch.h"
#include "transfer/SamplerModel.h"
#include "transfer/families/s1000/S1000Layout.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <tuple>

namespace velomire::disk {
namespace {

using testing::AddRow;
using testing::BytesEqual;
using testing::Hex;
using testing::PatternWords;
using Bytes = std::vector<std::uint8_t>;

constexpr std::int32_t s1000 = transfer::SamplerModel::s1000;
constexpr std::int32_t s3000xl = 8;

class FailingWords : public SampleWords {
public:
    program::Status Read(const program::SampleEntry&, int, std::vector<std::int16_t>&) override {
        return program::Status::Error("Cannot read strings.wav: gone");
    }
};

program::Program TwoRows() {
    program::Program program;
    program::SetFieldText(program.header.programName, "Strings pad");
    program.header.ResetForNewProgram(0);
    AddRow(program, "violin c3", program::sendMono, 3000, 60);
    program::SampleBlock& looped = program.samples[0].sample;
    looped.loopCount = 1;
    looped.loopMode = program::loopUntilRelease;
    looped.SetLoop(0, {2999, 1000, 9999});
    AddRow(program, "cello", program::sendStereo, 1500, 48, 22050);
    return program;
}

Bytes Make(const program::Program& program, std::int32_t model, Medium medium) {
    PatternWords words;
    Bytes image;
    const program::Status status = MakeImage(program, {model, medium}, words, image);
    EXPECT_TRUE(status) << status.text;
    return image;
}

ImageContents ReadBack(const Bytes& image) {
    ImageContents contents;
    const program::Status status = ReadImage(image, contents);
    EXPECT_TRUE(status) << status.text;
    return contents;
}

std::uint16_t Get16(const Bytes& image, std::size_t at) {
    return static_cast<std::uint16_t>(image[at] | image[at + 1] << 8);
}

struct Case {
    std::int32_t model;
    Medium medium;
};

class DiskRoundTrip : public ::testing::TestWithParam<Case> {};

// What a program becomes on each medium reads back as it was written: names (stereo as -L/-R,
// each header's name equal to its directory name), types, words, rates, loops, key ranges, root
// keys.
TEST_P(DiskRoundTrip, ReaderGetsBackWhatTheWriterWrote) {
    const auto [model, medium] = GetParam();
    const bool later = model != s1000;
    const Bytes image = Make(TwoRows(), model, medium);
    const ImageContents contents = ReadBack(image);

    ASSERT_EQ(contents.volumes.size(), 1u);
    EXPECT_TRUE(contents.warnings.empty());
    const ImageVolume& volume = contents.volumes[0];
    EXPECT_EQ(volume.name, "STRINGS PAD");
    ASSERT_EQ(volume.samples.size(), 3u);
    const std::uint8_t sampleType = later ? 0xF3 : 's';
    const std::vector<std::tuple<std::string, int, int, std::uint32_t>> expected{
        {"VIOLIN C3", 60, 0, 44100},
        {"CELLO     -L", 48, 1, 22050},
        {"CELLO     -R", 48, 2, 22050}};
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const auto& [name, key, part, rate] = expected[i];
        const ImageSample& sample = volume.samples[i];
        EXPECT_EQ(sample.name, name);
        EXPECT_EQ(sample.headerName, name);
        EXPECT_EQ(sample.fileType, sampleType);
        EXPECT_EQ(sample.rootKey, key);
        EXPECT_EQ(sample.rate, rate);
        EXPECT_EQ(sample.headerBytes, later ? 192u : 150u);
        std::vector<std::int16_t> words;
        ASSERT_TRUE(ReadSampleWords(image, sample, words));
        ASSERT_EQ(words.size(), i == 0 ? 3000u : 1500u);
        for (std::size_t w = 0; w < words.size(); w += 499) {
            EXPECT_EQ(words[w], PatternWords::Word(key, part, w)) << name << " word " << w;
        }
        EXPECT_EQ(words.back(), PatternWords::Word(key, part, words.size() - 1));
    }
    // The loop word for word, its length as stored (as the sampler saves it, and as the SysEx
    // header carries it).
    ASSERT_EQ(volume.samples[0].loops.size(), 1u);
    EXPECT_EQ(volume.samples[0].loops[0], (program::LoopSpec{2999, 1000, 9999}));
    EXPECT_EQ(volume.samples[0].loopMode, program::loopUntilRelease);
    EXPECT_TRUE(volume.samples[1].loops.empty());

    ASSERT_EQ(volume.programs.size(), 1u);
    const ImageProgram& program = volume.programs[0];
    EXPECT_EQ(program.name, "STRINGS PAD");
    EXPECT_EQ(program.fileType, later ? 0xF0 : 'p');
    ASSERT_EQ(program.keygroups.size(), 2u);
    EXPECT_EQ(program.keygroups[0].lowKey, 58);
    EXPECT_EQ(program.keygroups[0].highKey, 63);
    ASSERT_EQ(program.keygroups[0].zones.size(), 1u);
    EXPECT_EQ(program.keygroups[0].zones[0].sampleName, "VIOLIN C3");
    ASSERT_EQ(program.keygroups[1].zones.size(), 2u);
    EXPECT_EQ(program.keygroups[1].zones[1].sampleName, "CELLO     -R");
    EXPECT_EQ(program.keygroups[1].lowKey, 46);
}

std::vector<Case> EveryModelAndMedium() {
    std::vector<Case> cases;
    for (std::int32_t model = 0; model < transfer::SamplerModel::count; ++model) {
        if (transfer::SamplerModel::Family(model) != transfer::SamplerFamily::s1000) {
            continue;
        }
        for (Medium medium : {Medium::dd, Medium::hd, Medium::scsi}) {
            cases.push_back({model, medium});
        }
    }
    return cases;
}

INSTANTIATE_TEST_SUITE_P(EveryModelAndMedium, DiskRoundTrip,
                         ::testing::ValuesIn(EveryModelAndMedium()));

// The empty structures as the format notes give them, so that the writer cannot agree with its
// own reader only: floppy map codes, label places and the S3000 directory mark; the hard disk's
// partition size, magic series, checksum, volume table and map.
TEST(DiskImage, EmptyStructuresHoldTheDocumentedBytes) {
    program::Program empty = TwoRows();
    empty.sampleCount = 1;
    empty.samples[0].sample.lengthWords = 2; // one block of data
    empty.samples[0].sample.loopCount = 0;

    const Bytes dd = Make(empty, s1000, Medium::dd);
    ASSERT_EQ(dd.size(), 819200u);
    EXPECT_TRUE(BytesEqual({dd.begin() + 0x600, dd.begin() + 0x610},
                           Hex("00 40 00 40 00 40 00 40 00 C0 00 C0 00 00 00 00")));
    // Label STRINGS PAD after the map of 800 blocks, with the S1000's system version 4.40 (a
    // reader takes a floppy with 00 00 there for an S900 one); entry 1 (the program) after the
    // sample.
    EXPECT_TRUE(BytesEqual({dd.begin() + 0xC40, dd.begin() + 0xC50},
                           Hex("1D 1E 1C 13 18 11 1D 0A 1A 0B 0E 0A 00 00 28 04")));
    EXPECT_TRUE(BytesEqual({dd.begin(), dd.begin() + 24},
                           Hex("20 13 19 16 13 18 0A 0D 03 0A 0A 0A 20 20 20 20 73 9A 00 00 "
                               "04 00 00 03")));

    const Bytes hd = Make(empty, s3000xl, Medium::hd);
    ASSERT_EQ(hd.size(), 1638400u);
    for (std::size_t block = 0; block < 17; ++block) {
        EXPECT_EQ(Get16(hd, 0x600 + 2 * block), 0x4000) << block;
    }
    EXPECT_EQ(Get16(hd, 0x600 + 2 * 17), 0xC000); // the sample's one block
    EXPECT_EQ(hd[16], 0xFF);                      // entry 0: the directory is in blocks 5-16
    EXPECT_TRUE(BytesEqual({hd.begin() + 0x1280, hd.begin() + 0x129A},
                           Hex("1D 1E 1C 13 18 11 1D 0A 1A 0B 0E 0A 00 00 00 11 00 00 "
                               "01 00 00 00 32 09 0C FF")));
    EXPECT_TRUE(BytesEqual({hd.begin() + 0x1400 + 12, hd.begin() + 0x1400 + 24},
                           Hex("00 00 00 00 F3 C4 00 00 11 00 00 11")));

    const Bytes disk = Make(empty, s1000, Medium::scsi);
    ASSERT_EQ(disk.size(), 7680u * 8192);
    EXPECT_TRUE(BytesEqual({disk.begin(), disk.begin() + 10},
                           Hex("00 1E 00 00 05 0D 0A 1A 0F 27"))); // 7680 blocks; 0, 3333, 6666 ...
    EXPECT_EQ(Get16(disk, 0xC4), 3333 * 97 & 0xFFFF);
    EXPECT_TRUE(BytesEqual({disk.begin() + 0xC6, disk.begin() + 0xCA}, Hex("D5 D7 2F 00")));
    // Volume 1 named after the program, S1000 type, directory in block 3; then the unused slots.
    EXPECT_TRUE(BytesEqual({disk.begin() + 0xCA, disk.begin() + 0xEA},
                           Hex("1D 1E 1C 13 18 11 1D 0A 1A 0B 0E 0A 01 00 03 00 "
                               "20 19 16 1F 17 0F 0A 00 00 02 0A 0A 00 00 00 00")));
    EXPECT_TRUE(BytesEqual({disk.begin() + 0x70A, disk.begin() + 0x716},
                           Hex("00 40 00 40 00 40 00 40 00 C0 00 C0")));
}

TEST(DiskImage, WhatDoesNotFitIsRefusedNamingTheLimitAndNothingIsWritten) {
    program::Program big = TwoRows();
    big.samples[1].sample.lengthWords = 420000; // two parts of 820 KB
    PatternWords words;
    Bytes image{1, 2, 3};
    program::Status status = MakeImage(big, {s1000, Medium::hd}, words, image);
    EXPECT_EQ(status.text, "The program needs 1650 KB; a high-density floppy has 1595 KB free. "
                           "A hard disk (SCSI) image holds more.");
    EXPECT_EQ(ProgramImageBytes(big, s1000, Medium::hd), 1650u * 1024);
    EXPECT_EQ(EmptyMediumSize(s1000, Medium::hd)->freeBytes, 1595u * 1024);
    EXPECT_EQ(EmptyMediumSize(s3000xl, Medium::hd)->freeBytes, 1583u * 1024);
    EXPECT_FALSE(EmptyMediumSize(transfer::SamplerModel::sds, Medium::hd));
    EXPECT_EQ(image, (Bytes{1, 2, 3}));
    EXPECT_EQ(words.reads, 0);

    program::Program clash = TwoRows();
    AddRow(clash, "Violin C3", program::sendMono, 100, 72);
    status = MakeImage(clash, {s3000xl, Medium::scsi}, words, image);
    EXPECT_EQ(status.text, "The sample 1 and the sample 3 would both be named \"VIOLIN C3\" on "
                           "the disk, and a volume holds each name once: rename one of them.");

    program::Program fast = TwoRows();
    fast.samples[1].sample.headerRate = 96000;
    status = MakeImage(fast, {s3000xl, Medium::hd}, words, image);
    EXPECT_EQ(status.text, "Sample 2 [cello] is sampled at 96000 Hz; the S1000 family takes "
                           "65535 Hz at most.");

    FailingWords failing;
    status = MakeImage(TwoRows(), {s1000, Medium::dd}, failing, image);
    EXPECT_EQ(status.text, "Cannot read strings.wav: gone");
    EXPECT_EQ(image, (Bytes{1, 2, 3}));

    // The check before an export says the same, without a file to read (none of these exists).
    EXPECT_EQ(CheckNewImage(big, {s1000, Medium::hd}).text,
              MakeImage(big, {s1000, Medium::hd}, words, image).text);
    EXPECT_EQ(CheckNewImage(fast, {s3000xl, Medium::hd}).text,
              "Sample 2 [cello] is sampled at 96000 Hz; the S1000 family takes 65535 Hz at most.");
    for (const std::int32_t model : {transfer::SamplerModel::s950, s1000, s3000xl}) {
        EXPECT_TRUE(CheckNewImage(TwoRows(), {model, Medium::hd})) << model;
        EXPECT_TRUE(CheckNewImage(big, {model, Medium::scsi}) ||
                    model == transfer::SamplerModel::s950);
    }
}

program::Program Brass() {
    program::Program other = TwoRows();
    program::SetFieldText(other.header.programName, "Brass");
    program::SetFieldText(other.samples[0].sample.sampleName, "horn");
    program::SetFieldText(other.samples[1].sample.sampleName, "tuba");
    other.samples[0].sample.rootKey = 70;
    return other;
}

// Adding puts the program beside what is there without changing a byte of it: a new volume on a
// hard disk, free blocks on a floppy; a refused addition leaves every byte as it was.
TEST(DiskImage, AddingKeepsWhatIsThereAndRefusalChangesNothing) {
    Bytes disk = Make(TwoRows(), s1000, Medium::scsi);
    const Bytes before = disk;
    const program::Program other = Brass();
    PatternWords words;
    ASSERT_TRUE(AddToImage(other, {s3000xl, Medium::scsi}, words, disk));

    ImageContents contents = ReadBack(disk);
    ASSERT_EQ(contents.volumes.size(), 2u);
    EXPECT_EQ(contents.volumes[0].name, "STRINGS PAD");
    EXPECT_EQ(contents.volumes[1].name, "BRASS");
    EXPECT_EQ(contents.volumes[1].samples[0].fileType, 0xF3);
    std::vector<std::int16_t> read;
    ASSERT_TRUE(ReadSampleWords(disk, contents.volumes[1].samples[0], read));
    EXPECT_EQ(read[5], PatternWords::Word(70, 0, 5));
    // The first volume's directory and files (blocks 3 to 5) are untouched.
    EXPECT_TRUE(BytesEqual({disk.begin() + 3 * 8192, disk.begin() + 6 * 8192},
                           {before.begin() + 3 * 8192, before.begin() + 6 * 8192}));

    const Bytes added = disk;
    EXPECT_EQ(AddToImage(other, {s3000xl, Medium::scsi}, words, disk).text,
              "The disk already holds a volume named \"BRASS\".");
    Bytes garbage(40000, 0x5A);
    EXPECT_FALSE(AddToImage(other, {s1000, Medium::scsi}, words, garbage));
    EXPECT_EQ(garbage, Bytes(40000, 0x5A));
    EXPECT_EQ(disk, added);

    Bytes floppy = Make(TwoRows(), s1000, Medium::hd);
    ASSERT_TRUE(AddToImage(other, {s1000, Medium::hd}, words, floppy));
    contents = ReadBack(floppy);
    ASSERT_EQ(contents.volumes[0].samples.size(), 6u);
    EXPECT_EQ(contents.volumes[0].programs[1].name, "BRASS");
    const Bytes full = floppy;
    EXPECT_EQ(AddToImage(other, {s1000, Medium::hd}, words, floppy).text,
              "The floppy already holds a file named \"HORN\".");
    EXPECT_EQ(AddToImage(other, {s3000xl, Medium::hd}, words, floppy).text,
              "The floppy is formatted for the S1000/S1100; choose such a model to add to it.");
    EXPECT_EQ(floppy, full);
}

// A program the sampler saved itself (8 stereo keygroups of 192 bytes), read from an S3000 floppy.
TEST(DiskImage, ReadsAProgramTheSamplerSaved) {
    const std::filesystem::path saved =
        std::filesystem::path(VELOMIRE_DUMPS_DIR) / "s3000xl-program-brk10-good.a3p.bin";
    if (!std::filesystem::exists(saved)) {
        GTEST_SKIP() << saved << " is not there";
    }
    std::ifstream in(saved, std::ios::binary);
    const Bytes file{std::istreambuf_iterator<char>(in), {}};
    Bytes floppy = Make(TwoRows(), s3000xl, Medium::hd);
    // In the program's place, block 32, after the violin's 7 blocks and the cellos' 4 each.
    // There, our stereo keygroup's zones 3 and 4 hold what the sampler saves in a zone that plays
    // nothing (its first keygroup's zones 3 and 4).
    const std::size_t unusedZones = 192 + 34 + 2 * 24;
    EXPECT_TRUE(BytesEqual({floppy.begin() + 32 * 1024 + 192 + unusedZones,
                            floppy.begin() + 32 * 1024 + 192 + unusedZones + 48},
                           {file.begin() + unusedZones, file.begin() + unusedZones + 48}));
    const std::size_t entry = 0x1400 + 3 * 24;
    std::copy(file.begin(), file.end(), floppy.begin() + 32 * 1024);
    floppy[entry + 17] = static_cast<std::uint8_t>(file.size() & 0xFF);
    floppy[entry + 18] = static_cast<std::uint8_t>(file.size() >> 8);
    floppy[0x600 + 2 * 32] = 33; // its second block
    floppy[0x600 + 2 * 32 + 1] = 0;
    floppy[0x600 + 2 * 33 + 1] = 0xC0;
    const ImageContents contents = ReadBack(floppy);
    ASSERT_EQ(contents.volumes[0].programs.size(), 1u);
    const ImageProgram& program = contents.volumes[0].programs[0];
    ASSERT_EQ(program.keygroups.size(), 8u);
    EXPECT_EQ(program.keygroups[7].zones.size(), 2u);
    EXPECT_EQ(program.keygroups[0].zones[0].sampleName.substr(0, 6), "BRK.10");
}

// Truncated or damaged images are read in part or refused, never past their end.
TEST(DiskImage, SurvivesTruncatedAndDamagedImages) {
    const Bytes disk = Make(TwoRows(), s3000xl, Medium::scsi);
    for (std::size_t size : {0u, 2u, 200u, 0x70Au, 3u * 8192, 4u * 8192 + 100, 6u * 8192}) {
        ImageContents contents;
        const program::Status status = ReadImage({disk.data(), size}, contents);
        if (status) {
            for (const ImageVolume& volume : contents.volumes) {
                for (const ImageSample& sample : volume.samples) {
                    std::vector<std::int16_t> words;
                    if (ReadSampleWords({disk.data(), size}, sample, words)) {
                        EXPECT_EQ(words.size(), sample.lengthWords);
                    }
                }
            }
        }
    }
    Bytes damaged = disk;
    damaged[3 * 8192 + 21] = 0x3F; // the first file starts outside the partition
    const ImageContents contents = ReadBack(damaged);
    EXPECT_FALSE(contents.warnings.empty());
    Bytes unmarked = Make(TwoRows(), s3000xl, Medium::hd);
    unmarked[16] = 0; // entry 0 without the mark: the long directory is known by its blocks
    EXPECT_EQ(ReadBack(unmarked).volumes[0].samples.size(), 3u);
    ImageContents none;
    EXPECT_EQ(ReadImage(Bytes(1000, 0), none).text, "This is not a disk image of an Akai sampler.");

    // A high-density floppy cut to the size of a double-density one is none: its directory lies
    // elsewhere, so it neither lists as an empty floppy nor takes an addition.
    for (const Bytes& hd :
         {Make(TwoRows(), s3000xl, Medium::hd), FloppyLayout::Format(Medium::hd, false, {}),
          FloppyLayout::Format(Medium::hd, true, {})}) {
        Bytes cut(hd.begin(), hd.begin() + 800 * 1024);
        const Bytes before = cut;
        EXPECT_FALSE(ReadImage(cut, none));
        PatternWords words;
        EXPECT_FALSE(AddToImage(TwoRows(), {s3000xl, Medium::dd}, words, cut));
        EXPECT_EQ(cut, before);
    }

    // A sample whose header says 0 Hz is refused by name; the others are read.
    Bytes still = Make(TwoRows(), s1000, Medium::dd);
    still[4 * 1024 + 138] = 0; // the violin's header, in the first file block
    still[4 * 1024 + 139] = 0;
    const ImageContents slow = ReadBack(still);
    std::vector<std::int16_t> words;
    EXPECT_EQ(ReadSampleWords(still, slow.volumes[0].samples[0], words).text,
              "The sample VIOLIN C3 has a rate of 0 Hz in its header, which no WAV file holds.");
    EXPECT_TRUE(ReadSampleWords(still, slow.volumes[0].samples[1], words));
}

// A hard disk of one small partition holding TwoRows as volume STRINGS PAD: its directory in
// block 3, the violin in block 4, the cellos in 5 and 6, the program in 7.
Bytes SmallDisk(std::uint32_t blocks) {
    Bytes disk = Partition::Format(blocks);
    PatternWords words;
    EXPECT_TRUE(AddToImage(TwoRows(), {s1000, Medium::scsi}, words, disk));
    return disk;
}

void Put16(Bytes& image, std::size_t at, std::uint16_t value) {
    image[at] = static_cast<std::uint8_t>(value & 0xFF);
    image[at + 1] = static_cast<std::uint8_t>(value >> 8);
}

constexpr std::size_t directory = 3 * diskBlockBytes;
std::size_t MapAt(std::size_t block) {
    return diskMapAt + 2 * block;
}

// Damaged hard disks are read without the damaged parts, each named, and nothing is added to
// them: a block the reader could not account for may hold someone's file. A chain that comes back
// on itself or volumes sharing a directory are read once, so that what is read never holds more
// blocks than the image has.
TEST(DiskImage, DamageIsNamedAndRefusesAnAddition) {
    const std::vector<std::tuple<std::string, std::function<void(Bytes&)>, std::string>> cases{
        {"last block not marked as the file's end", [](Bytes& d) { Put16(d, MapAt(4), 0); },
         "The file VIOLIN C3 of volume STRINGS PAD does not end in the block map where its length "
         "ends (block 4); it was left out."},
        {"chain back on itself",
         [](Bytes& d) {
             d[directory + 19] = 0xFF; // 16 MB: 2,048 blocks
             Put16(d, MapAt(4), 4);
         },
         "comes back on itself (block 4)"},
        {"two files sharing a block", [](Bytes& d) { Put16(d, directory + 2 * 24 + 20, 5); },
         "The file CELLO     -R of volume STRINGS PAD uses a block another file"},
        {"a file outside the partition", [](Bytes& d) { Put16(d, directory + 20, 200); },
         "runs outside its disk (block 200)"},
        {"two volumes sharing a directory",
         [](Bytes& d) {
             const auto table = d.begin() + static_cast<std::ptrdiff_t>(volumeTableAt);
             std::copy_n(table, 16, table + 16);
         },
         "The directory of volume STRINGS PAD in partition A lies in a block another volume or "
         "file uses (block 3); the volume was left out."},
        {"a directory the map calls free", [](Bytes& d) { Put16(d, MapAt(3), 0); },
         "lies in a block the block map calls free (block 3)"},
        {"a wrong checksum", [](Bytes& d) { d[0xC6] ^= 1; },
         "The header of partition A has a wrong checksum."},
        {"a size field of 4 blocks",
         [](Bytes& d) {
             Put16(d, 0, 4);
             Partition::At(d, 0)->UpdateChecksum(d);
         },
         "runs outside its disk (block 4)"},
    };
    for (const auto& [what, damage, warning] : cases) {
        SCOPED_TRACE(what);
        Bytes disk = SmallDisk(16);
        damage(disk);
        ImageContents contents;
        ASSERT_TRUE(ReadImage(disk, contents));
        ASSERT_FALSE(contents.warnings.empty());
        EXPECT_NE(contents.warnings[0].find(warning), std::string::npos) << contents.warnings[0];
        std::size_t blocks = 0;
        for (const ImageVolume& volume : contents.volumes) {
            for (const ImageSample& sample : volume.samples) {
                blocks += sample.extent.blockOffsets.size();
            }
        }
        EXPECT_LE(blocks, disk.size() / diskBlockBytes);

        const Bytes before = disk;
        PatternWords words;
        const program::Status added = AddToImage(Brass(), {s1000, Medium::scsi}, words, disk);
        EXPECT_NE(added.text.find("damaged"), std::string::npos) << added.text;
        EXPECT_EQ(disk, before);
    }
}

// What an addition writes: the new files, their directory entries and map entries, and the new
// volume; every block of the files that were there keeps its bytes. A disk whose partitions are
// full gets a new partition only over bytes that hold nothing: what follows may be a partition
// whose header is damaged. The image's own medium is used whatever the request says.
TEST(DiskImage, AddingWritesOnlyWhereTheImageProvesFree) {
    Bytes wrongMagic = SmallDisk(8); // full: its directory and 4 files take blocks 3-7
    Bytes second = SmallDisk(16);
    Put16(second, 2 + 2 * 5, 1234); // one wrong magic word
    wrongMagic.insert(wrongMagic.end(), second.begin(), second.end());

    const std::vector<std::tuple<std::string, Bytes, std::string>> cases{
        {"room in the partition", SmallDisk(32), ""},
        {"a full partition, nothing after it", SmallDisk(8), ""},
        {"a full partition before one with a wrong magic word", wrongMagic,
         "the image holds bytes after partition A (from byte 65536) that are not a partition "
         "Velomire can read"},
        {"a high-density floppy", Make(TwoRows(), s1000, Medium::hd), ""},
    };
    for (const auto& [what, image, refusal] : cases) {
        SCOPED_TRACE(what);
        Bytes disk = image;
        PatternWords words;
        const program::Status added = AddToImage(Brass(), {s1000, Medium::dd}, words, disk);
        if (!refusal.empty()) {
            EXPECT_NE(added.text.find(refusal), std::string::npos) << added.text;
            EXPECT_EQ(disk, image);
            continue;
        }
        ASSERT_TRUE(added) << added.text;
        // Outside the system's blocks (directories, map, headers) only blocks the map called free
        // have changed.
        const bool floppy = image.size() == 1600 * floppyBlockBytes;
        const std::size_t blockBytes = floppy ? floppyBlockBytes : diskBlockBytes;
        for (std::size_t i = 0; i < image.size(); ++i) {
            const std::size_t block = i / blockBytes;
            if (disk[i] != image[i] && block >= (floppy ? 5 : partitionHeaderBlocks) &&
                Get16(image, (floppy ? floppyMapAt : diskMapAt) + 2 * block) != 0) {
                ADD_FAILURE() << "byte " << i << " of block " << block << " changed";
                break;
            }
        }
        // The system's blocks changed only as far as the files already there still read the same.
        const ImageContents before = ReadBack(image);
        const ImageContents after = ReadBack(disk);
        for (const ImageSample& sample : before.volumes[0].samples) {
            const auto& now = after.volumes[0].samples;
            const auto same = std::find_if(now.begin(), now.end(), [&](const ImageSample& s) {
                return s.name == sample.name;
            });
            ASSERT_NE(same, now.end()) << sample.name;
            std::vector<std::int16_t> was;
            std::vector<std::int16_t> is;
            ASSERT_TRUE(ReadSampleWords(image, sample, was));
            ASSERT_TRUE(ReadSampleWords(disk, *same, is));
            EXPECT_EQ(was, is) << sample.name;
        }
        EXPECT_EQ(after.volumes.back().programs.back().name, "BRASS");
    }
}

} // namespace
} // namespace velomire::disk
