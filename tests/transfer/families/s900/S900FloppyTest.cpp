#include "disk/DiskImage.h"
#include "transfer/families/s900/S900DiskFiles.h"
#include "transfer/families/s900/S900FloppyImage.h"

#include "program/WavInfo.h"
#include "support/HexMatch.h"
#include "support/RecordingMessages.h"
#include "support/WavBuilder.h"
#include "transfer/SamplerModel.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace velomire::disk {
namespace {

using testing::Hex;
using transfer::SamplerModel;

TEST(S900FloppyImage, EmptyFloppyIsZerosWithTheMapInItsReservedBlocks) {
    // An empty floppy: 64 free entries (all zero), a map of free blocks (all zero) from 0x600,
    // 2 bytes a block; the files start after the blocks the map covers.
    for (const auto& [density, bytes, reserved] : {std::tuple{FloppyDensity::dd, 819200u, 4u},
                                                   std::tuple{FloppyDensity::hd, 1638400u, 5u}}) {
        const S900FloppyImage floppy(density);
        ASSERT_EQ(floppy.Bytes().size(), bytes);
        EXPECT_TRUE(std::all_of(floppy.Bytes().begin(), floppy.Bytes().end(),
                                [](std::uint8_t b) { return b == 0; }));
        EXPECT_EQ(S900FloppyImage::ReservedBlocks(density), reserved);
        EXPECT_EQ(floppy.FreeBlocks(), bytes / 1024 - reserved);

        std::string error;
        const auto read = S900FloppyImage::Parse(floppy.Bytes(), error);
        ASSERT_TRUE(read) << error;
        EXPECT_TRUE(read->Entries().empty());
    }
}

TEST(S900FloppyImage, PacksTwelveBitWordsLowNibblesFirstThenTheSecondHalfsTopBytes) {
    // Words 0x123 0x456 | 0x789 0xABC: pairs of (low nibbles of word i and word n/2 + i, top
    // byte of word i), then the top bytes of the second half.
    const std::vector<std::int16_t> words = {0x123, 0x456, 0x789, 0xABC - 4096};
    EXPECT_TRUE(testing::BytesEqual(PackS900Words(words), Hex("39 12 6C 45 78 AB")));
    EXPECT_EQ(UnpackS900Words(Hex("39 12 6C 45 78 AB"), 4), words);
    EXPECT_FALSE(UnpackS900Words(Hex("39 12 6C 45 78"), 4));
}

TEST(S900FloppyImage, FilesAreChainedThroughTheMapAndListedInTheDirectory) {
    S900FloppyImage floppy(FloppyDensity::dd);
    std::vector<std::uint8_t> big(2500);
    for (std::size_t i = 0; i < big.size(); ++i) {
        big[i] = static_cast<std::uint8_t>(i * 7);
    }
    ASSERT_FALSE(floppy.Add({{"BIG", 'S', big}, {"PROG", 'P', {1, 2, 3}}}));

    const auto& image = floppy.Bytes();
    // Entry 0: name padded with spaces, 6 zeros, 'S', length 2500 (C4 09 00), block 4.
    EXPECT_TRUE(testing::BytesEqual(
        std::vector<std::uint8_t>(image.begin(), image.begin() + 24),
        Hex("42 49 47 20 20 20 20 20 20 20 00 00 00 00 00 00 53 C4 09 00 04 00 00 00")));
    // Blocks 4 -> 5 -> 6 (end), then the program alone in block 7.
    EXPECT_TRUE(testing::BytesEqual(
        std::vector<std::uint8_t>(image.begin() + 0x600 + 8, image.begin() + 0x600 + 16),
        Hex("05 00 06 00 00 80 00 80")));

    std::string error;
    const auto read = S900FloppyImage::Parse(image, error);
    ASSERT_TRUE(read) << error;
    ASSERT_EQ(read->Entries().size(), 2u);
    EXPECT_EQ(read->FileBytes(read->Entries()[0]), big);
    EXPECT_EQ(read->Entries()[1].name, "PROG");
    EXPECT_EQ(read->FreeBlocks(), 796u - 4u);
}

TEST(S900FloppyImage, RefusalsNameTheLimitAndLeaveTheImageAsItWas) {
    S900FloppyImage floppy(FloppyDensity::dd);
    ASSERT_FALSE(floppy.Add({{"PIANO", 'S', std::vector<std::uint8_t>(10)}}));
    const std::vector<std::uint8_t> before = floppy.Bytes();

    const auto clash = floppy.Add({{"KICK", 'S', {}}, {"piano", 'S', {}}});
    ASSERT_TRUE(clash);
    EXPECT_NE(clash->find("PIANO"), std::string::npos) << *clash;
    // A program may share a sample's name.
    EXPECT_EQ(floppy.Add({{"PIANO", 'P', {1}}}), std::nullopt);
    std::string error;
    floppy = *S900FloppyImage::Parse(before, error);

    const auto tooBig = floppy.Add({{"HUGE", 'S', std::vector<std::uint8_t>(796 * 1024)}});
    ASSERT_TRUE(tooBig);
    EXPECT_NE(tooBig->find("795 KB free"), std::string::npos) << *tooBig;

    std::vector<S900DiskFile> many(64, S900DiskFile{"", 'S', {}});
    for (std::size_t i = 0; i < many.size(); ++i) {
        many[i].name = "S" + std::to_string(i);
    }
    const auto tooMany = floppy.Add(many);
    ASSERT_TRUE(tooMany);
    EXPECT_NE(tooMany->find("63 free"), std::string::npos) << *tooMany;
    EXPECT_EQ(floppy.Bytes(), before);
}

TEST(S900FloppyImage, HostileImagesAreRefusedWithAReason) {
    S900FloppyImage floppy(FloppyDensity::dd);
    ASSERT_FALSE(floppy.Add({{"A", 'S', std::vector<std::uint8_t>(2048)}}));
    const auto corrupt = [&](std::size_t at, std::vector<std::uint8_t> bytes) {
        std::vector<std::uint8_t> image = floppy.Bytes();
        std::copy(bytes.begin(), bytes.end(), image.begin() + static_cast<std::ptrdiff_t>(at));
        std::string error;
        EXPECT_FALSE(S900FloppyImage::Parse(image, error));
        return error;
    };
    EXPECT_NE(corrupt(0x600 + 8, {4, 0}).find("already uses"), std::string::npos); // a loop
    EXPECT_NE(corrupt(0x600 + 8, {0, 0}).find("before its length"), std::string::npos);
    EXPECT_NE(corrupt(20, {0x20, 0x03}).find("outside"), std::string::npos); // block 800
    EXPECT_NE(corrupt(20, {1, 0}).find("outside"), std::string::npos);       // the directory
    EXPECT_NE(corrupt(17, {1, 0, 0}).find("does not end"), std::string::npos);
    std::string error;
    EXPECT_FALSE(S900FloppyImage::Parse(std::vector<std::uint8_t>(1000), error));
    EXPECT_NE(error.find("1000 bytes"), std::string::npos);
}

// A program made from WAV files in a temporary working directory, as the Send command sees it.
class S900ImageTest : public ::testing::TestWithParam<std::tuple<std::int32_t, FloppyDensity>> {
protected:
    int AddEntry(const std::string& fileName, std::uint16_t channels,
                 const std::vector<std::int16_t>& samples) {
        testing::WriteFile(directory / fileName,
                           testing::WavBuilder::Canonical(channels, 22050, 16, samples));
        program::WavInfo wav(messages);
        EXPECT_TRUE(wav.Open(fileName));
        const int row = program.sampleCount;
        program.InitSampleEntry(row, fileName, wav);
        ++program.sampleCount;
        return row;
    }
    program::SampleEntry& Entry(int row) { return program.samples[static_cast<std::size_t>(row)]; }

    testing::TempDir directory;
    testing::WorkingDirectoryGuard guard{directory.Path()};
    testing::RecordingMessages messages;
    program::Program program;
};

TEST_P(S900ImageTest, ProgramRoundTripsThroughTheFloppyReader) {
    const auto [model, density] = GetParam();
    program::SetFieldText(program.header.programName, "Strings Long Name");
    std::vector<std::int16_t> ramp(400);
    for (std::size_t i = 0; i < ramp.size(); ++i) {
        ramp[i] = static_cast<std::int16_t>(i * 163 - 32768); // every 12-bit range, negatives too
    }
    const int mono = AddEntry("ramp.wav", 1, ramp);
    program::SetFieldText(Entry(mono).sample.sampleName, "Ramp");
    Entry(mono).sample.rootKey = 67;
    Entry(mono).sample.loopMode = program::loopNormal;
    Entry(mono).sample.loopAt[0] = 299;
    Entry(mono).sample.loopLength[0] = 100;
    Entry(mono).keygroup.lowKey = 40;
    Entry(mono).keygroup.highKey = 72;
    std::vector<std::int16_t> stereo(200);
    for (std::size_t i = 0; i < stereo.size(); ++i) {
        stereo[i] = static_cast<std::int16_t>(i % 2 == 0 ? 1000 : -1000);
    }
    const int pair = AddEntry("pair.wav", 2, stereo);
    program::SetFieldText(Entry(pair).sample.sampleName, "Pad Stereo");
    Entry(pair).sample.sendMode = program::sendStereo;
    Entry(pair).sample.loopMode = program::loopUntilRelease;
    Entry(pair).sample.SetLoop(0, {89, 40, 0}); // words 50 to 89 of 100

    // Through the shared entries, as the command line and the dialog write and read.
    const Medium medium = density == FloppyDensity::dd ? Medium::dd : Medium::hd;
    WavSampleWords words(directory.Path());
    std::vector<std::uint8_t> image;
    const program::Status made = MakeImage(program, {model, medium}, words, image);
    ASSERT_TRUE(made) << made.text;
    ImageContents contents;
    ASSERT_TRUE(ReadImage(image, contents));
    EXPECT_EQ(contents.format, ImageFormat::s900Floppy);
    EXPECT_EQ(contents.medium, medium);
    // The room the dialog shows before anything is read is the room taken.
    EXPECT_EQ(EmptyMediumSize(model, medium)->freeBytes - contents.freeBytes,
              ProgramImageBytes(program, model, medium));

    ASSERT_EQ(contents.volumes.size(), 1u);
    const ImageVolume& volume = contents.volumes[0];
    ASSERT_EQ(volume.samples.size(), 3u);
    EXPECT_EQ(volume.samples[1].name, "Pad Ster-L");
    EXPECT_EQ(volume.samples[2].name, "Pad Ster-R");
    const ImageSample& sample = volume.samples[0];
    EXPECT_EQ(sample.name, "Ramp");
    EXPECT_EQ(sample.headerName, "Ramp");
    EXPECT_EQ(sample.rate, 22050u);
    EXPECT_EQ(sample.rootKey, 67);
    EXPECT_EQ(sample.loopMode, program::loopNormal);
    EXPECT_EQ(sample.loops, (std::vector<program::LoopSpec>{{299, 100, 0}}));
    EXPECT_EQ(sample.endPoint, 299u);
    // Both channels of the pair loop over the same words; the right one starts playing at the
    // channel offset (13 words at 22050 Hz).
    for (std::size_t i : {1u, 2u}) {
        EXPECT_EQ(volume.samples[i].loops, (std::vector<program::LoopSpec>{{89, 40, 0}}));
        EXPECT_EQ(volume.samples[i].startPoint, i == 2 ? 13u : 0u);
    }
    std::vector<std::int16_t> read;
    ASSERT_TRUE(ReadSampleWords(image, sample, read));
    ASSERT_EQ(read.size(), ramp.size());
    for (std::size_t i = 0; i < ramp.size(); ++i) {
        ASSERT_EQ(read[i], ramp[i] & ~0xF) << "word " << i; // the top 12 bits
    }
    ASSERT_TRUE(ReadSampleWords(image, volume.samples[2], read));
    EXPECT_EQ(read, std::vector<std::int16_t>(100, -1000 & ~0xF));

    ASSERT_EQ(volume.programs.size(), 1u);
    const ImageProgram& programRead = volume.programs[0];
    EXPECT_EQ(programRead.name, "Strings Lo");
    ASSERT_EQ(programRead.keygroups.size(), 3u);
    EXPECT_EQ(programRead.keygroups[0].lowKey, 40);
    EXPECT_EQ(programRead.keygroups[0].highKey, 72);
    EXPECT_EQ(programRead.keygroups[0].zones[0].sampleName, "Ramp");
    EXPECT_EQ(programRead.keygroups[2].zones[0].sampleName, "Pad Ster-R");
}

INSTANTIATE_TEST_SUITE_P(Floppies, S900ImageTest,
                         ::testing::Values(std::tuple{SamplerModel::s900, FloppyDensity::dd},
                                           std::tuple{SamplerModel::s950, FloppyDensity::dd},
                                           std::tuple{SamplerModel::s950, FloppyDensity::hd}));

// A sample file as the sampler writes it: it plays from the first replay point and loops back from
// the end point by the loop length (a study of 202 real S950 disk images; Akai's S900 document
// names bytes 28-31 "End point" and 32-35 "First replay point"). A loop that does not lie inside
// the words is no loop.
TEST(S900FloppyImage, ReadsTheLoopBackFromTheEndPoint) {
    const auto file = [](std::uint32_t end, std::uint32_t first, std::uint32_t length) {
        std::vector<std::uint8_t> bytes(s900SampleHeaderBytes + S900PackedBytes(1000));
        std::copy_n("LOOPED    ", 10, bytes.begin());
        const auto put = [&](std::size_t at, std::uint32_t value) {
            for (std::size_t i = 0; i < 4; ++i) {
                bytes[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
            }
        };
        put(16, 1000);    // words
        bytes[20] = 0x22; // 22050 Hz
        bytes[21] = 0x56;
        bytes[26] = 'L';
        put(28, end);
        put(32, first);
        put(36, length);
        return bytes;
    };
    struct Case {
        std::uint32_t end, first, length;
        std::vector<program::LoopSpec> loops;
    };
    const Case cases[] = {{899, 0, 100, {{899, 100, 0}}},
                          {999, 27, 1000, {{999, 1000, 0}}},
                          {1000, 0, 100, {}},
                          {899, 0, 901, {}}};
    for (const Case& c : cases) {
        S900FloppyImage floppy(FloppyDensity::dd);
        ASSERT_FALSE(floppy.Add({{"LOOPED", 'S', file(c.end, c.first, c.length)}}));
        ImageContents contents;
        ASSERT_TRUE(ReadImage(floppy.Bytes(), contents));
        const ImageSample& sample = contents.volumes[0].samples[0];
        EXPECT_EQ(sample.loops, c.loops) << c.end << " " << c.length;
        EXPECT_EQ(sample.startPoint, c.first);
        EXPECT_EQ(sample.endPoint, c.end);
    }
}

TEST_F(S900ImageTest, ProgramsBeyondTheModelAreRefusedNamingTheLimit) {
    AddEntry("tone.wav", 1, std::vector<std::int16_t>(100, 0));
    WavSampleWords words(directory.Path());
    std::vector<std::uint8_t> image = {1, 2, 3};
    const auto refusal = [&](std::int32_t model, Medium medium) {
        const program::Status made = MakeImage(program, {model, medium}, words, image);
        EXPECT_EQ(image, (std::vector<std::uint8_t>{1, 2, 3}));
        return made ? std::string() : made.text;
    };
    EXPECT_NE(refusal(SamplerModel::s900, Medium::hd).find("double-density"), std::string::npos);
    program.samples[0].sample.headerRate = 96000;
    EXPECT_NE(refusal(SamplerModel::s900, Medium::dd).find("65535 Hz"), std::string::npos);
    program.samples[0].sample.headerRate = 22050;
    program.samples[0].sample.lengthWords = 6000;
    EXPECT_NE(refusal(SamplerModel::s950, Medium::dd).find("outside its file"), std::string::npos);
    program.samples[0].sample.lengthWords = 520000; // fits the floppy, not the memory
    EXPECT_NE(refusal(SamplerModel::s900, Medium::dd).find("holds 512000"), std::string::npos);
}

} // namespace
} // namespace velomire::disk
