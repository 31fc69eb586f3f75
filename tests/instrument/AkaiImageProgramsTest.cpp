#include "instrument/AkaiImagePrograms.h"

#include "support/DiskRows.h"
#include "transfer/SamplerModel.h"

#include <gtest/gtest.h>

namespace velomire::instrument {
namespace {

using testing::AddRow;
using testing::PatternWords;
using Model = transfer::SamplerModel;

// A program whose rows differ in everything a zone holds: a looped mono row with its own tunes and
// velocity range, and a stereo row at 22.05 kHz that starts late.
program::Program Program() {
    program::Program program;
    program::SetFieldText(program.header.programName, "Strings pad");
    program.header.ResetForNewProgram(0);
    AddRow(program, "violin c3", program::sendMono, 3000, 60);
    program::SampleEntry& violin = program.samples[0];
    violin.sample.loopCount = 2;
    violin.sample.loopMode = program::loopUntilRelease;
    violin.sample.SetLoop(0, {2999, 1000, 9999});
    violin.sample.SetLoop(1, {1999, 500, 100});
    violin.keygroup.keygroupTune = 256 + 64; // 1 semitone 25 cents
    violin.keygroup.velocityTune = -128;     // -50 cents
    violin.keygroup.velocityLow = 20;
    violin.keygroup.velocityHigh = 90;
    violin.keygroup.output = 5;
    AddRow(program, "cello", program::sendStereo, 1500, 48, 22050);
    program.samples[1].sample.startPoint = 100;
    program.samples[1].sample.endPoint = 1399;
    return program;
}

disk::ImageContents Contents(const std::vector<std::uint8_t>& image) {
    disk::ImageContents contents;
    const program::Status read = disk::ReadImage(image, contents);
    EXPECT_TRUE(read) << read.text;
    return contents;
}

struct Case {
    std::int32_t model;
    disk::Medium medium;
};

class AkaiImageProgram : public ::testing::TestWithParam<Case> {};

// An S1000 family program Velomire wrote reads back as the instrument the program is: every
// keygroup a zone with its keys, velocities, root key, tunes, points, loops and words, the stereo
// row one zone with both halves.
TEST_P(AkaiImageProgram, ReadsBackTheProgramVelomireWrote) {
    const auto [model, medium] = GetParam();
    const program::Program written = Program();
    PatternWords words;
    std::vector<std::uint8_t> image;
    const program::Status made = disk::MakeImage(written, {model, medium}, words, image);
    ASSERT_TRUE(made) << made.text;
    const disk::ImageContents contents = Contents(image);
    const auto entries = AkaiImageEntries(contents);
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(entries[0].name, "STRINGS PAD");
    std::string error;
    const auto read = instrument::AkaiImageProgram(image, contents, 0, error);
    ASSERT_TRUE(read) << error;

    ASSERT_EQ(read->zones.size(), 2u);
    const Zone& violin = read->zones[0];
    EXPECT_EQ(violin.lowKey, 58);
    EXPECT_EQ(violin.highKey, 63);
    EXPECT_EQ(violin.lowVelocity, 20);
    EXPECT_EQ(violin.highVelocity, 90);
    EXPECT_EQ(violin.rootKey, 60);
    EXPECT_EQ(violin.output, 5);
    EXPECT_DOUBLE_EQ(violin.tuneCents, 125 - 50);
    EXPECT_EQ(violin.loopMode, LoopMode::sustain);
    EXPECT_EQ(violin.loops, (std::vector<Loop>{{2000, 2999}, {1500, 1999}}));
    EXPECT_FALSE(violin.rightSound);
    const Sound& violinSound = read->sounds[violin.sound];
    EXPECT_EQ(violinSound.rate, 44100u);
    ASSERT_EQ(violinSound.words.size(), 3000u);
    EXPECT_EQ(violinSound.words[2999], PatternWords::Word(60, 0, 2999));

    const Zone& cello = read->zones[1];
    EXPECT_EQ(cello.rootKey, 48);
    EXPECT_EQ(cello.lowVelocity, 0); // as the row has it
    EXPECT_EQ(cello.output, 0);
    EXPECT_DOUBLE_EQ(cello.tuneCents, 0); // the 22.05 kHz rate is the sound's, not a tune
    EXPECT_EQ(cello.offset, 100u);
    EXPECT_EQ(cello.end, 1399u);
    EXPECT_EQ(cello.loopMode, LoopMode::none);
    ASSERT_TRUE(cello.rightSound);
    EXPECT_DOUBLE_EQ(cello.pan, 0);
    EXPECT_EQ(read->sounds[cello.sound].words[7], PatternWords::Word(48, 1, 7));
    EXPECT_EQ(read->sounds[*cello.rightSound].words[7], PatternWords::Word(48, 2, 7));
    EXPECT_EQ(read->sounds[cello.sound].rate, 22050u);
}

INSTANTIATE_TEST_SUITE_P(Media, AkaiImageProgram,
                         ::testing::Values(Case{Model::s1000, disk::Medium::hd},
                                           Case{Model::s1000, disk::Medium::scsi},
                                           Case{8, disk::Medium::hd},     // S3000 XL floppy
                                           Case{8, disk::Medium::scsi})); // and hard disk

// An S900 floppy: the 12-bit words as the sampler holds them, the keygroups' keys and root keys.
TEST(AkaiImageProgramS900, ReadsBackAFloppyVelomireWrote) {
    program::Program written;
    program::SetFieldText(written.header.programName, "Bass");
    written.header.ResetForNewProgram(0);
    AddRow(written, "bass", program::sendMono, 2000, 40, 30000);
    PatternWords words;
    std::vector<std::uint8_t> image;
    const program::Status made =
        disk::MakeImage(written, {Model::s900, disk::Medium::dd}, words, image);
    ASSERT_TRUE(made) << made.text;
    const disk::ImageContents contents = Contents(image);
    std::string error;
    const auto read = instrument::AkaiImageProgram(image, contents, 0, error);
    ASSERT_TRUE(read) << error;
    ASSERT_EQ(read->zones.size(), 1u);
    EXPECT_EQ(read->zones[0].lowKey, 38);
    EXPECT_EQ(read->zones[0].highKey, 43);
    EXPECT_EQ(read->zones[0].rootKey, 40);
    const Sound& sound = read->sounds[0];
    EXPECT_EQ(sound.rate, 30000u);
    ASSERT_EQ(sound.words.size(), 2000u);
    EXPECT_EQ(sound.words[5], static_cast<std::int16_t>(PatternWords::Word(40, 0, 5) & ~0xF));
}

// The S900/S950 keeps a stereo row as two keygroups, its halves on outputs 8 and 9: they come back
// as one zone with both sounds. A looping sample's end point is its loop's end, not the sound's.
TEST(AkaiImageProgramS900, ReadsAStereoRowBackAsOneZoneAndKeepsTheWordsPastALoop) {
    program::Program written;
    program::SetFieldText(written.header.programName, "Pads");
    written.header.ResetForNewProgram(0);
    AddRow(written, "pad", program::sendStereo, 1000, 60, 44100);
    AddRow(written, "strings", program::sendStereo, 800, 72, 44100);
    AddRow(written, "organ", program::sendMono, 3000, 48, 30000);
    program::SampleBlock& organ = written.samples[2].sample;
    organ.loopMode = program::loopNormal;
    organ.loopCount = 1;
    organ.SetLoop(0, {1999, 1000, 9999});
    PatternWords words;
    std::vector<std::uint8_t> image;
    const program::Status made =
        disk::MakeImage(written, {Model::s950, disk::Medium::dd}, words, image);
    ASSERT_TRUE(made) << made.text;
    std::string error;
    const auto read = instrument::AkaiImageProgram(image, Contents(image), 0, error);
    ASSERT_TRUE(read) << error;

    ASSERT_EQ(read->zones.size(), 3u);
    for (const std::size_t z : {0u, 1u}) {
        const Zone& pad = read->zones[z];
        ASSERT_TRUE(pad.rightSound) << z;
        EXPECT_EQ(pad.offset, 0u); // the left half's, not the right one's shift
        const Sound& left = read->sounds[pad.sound];
        const Sound& right = read->sounds[*pad.rightSound];
        EXPECT_EQ(left.rate, 44100u);
        EXPECT_EQ(left.diskFamily, transfer::SamplerFamily::s900);
        EXPECT_EQ(right.words[7],
                  static_cast<std::int16_t>(PatternWords::Word(pad.rootKey, 2, 7) & ~0xF));
    }
    EXPECT_EQ(read->zones[0].rootKey, 60);
    EXPECT_EQ(read->zones[1].rootKey, 72);
    const Zone& looped = read->zones[2];
    EXPECT_FALSE(looped.rightSound);
    EXPECT_EQ(looped.loopMode, LoopMode::forward);
    EXPECT_EQ(looped.loops, (std::vector<Loop>{{1000, 1999}}));
    EXPECT_FALSE(looped.end);
    EXPECT_EQ(read->sounds[looped.sound].words.size(), 3000u);
}

TEST(AkaiImageProgramS900, RefusesAProgramTheImageDoesNotHold) {
    program::Program written;
    program::SetFieldText(written.header.programName, "Bass");
    written.header.ResetForNewProgram(0);
    AddRow(written, "bass", program::sendMono, 200, 40, 30000);
    PatternWords words;
    std::vector<std::uint8_t> image;
    ASSERT_TRUE(disk::MakeImage(written, {Model::s900, disk::Medium::dd}, words, image));
    std::string error;
    EXPECT_FALSE(instrument::AkaiImageProgram(image, Contents(image), 1, error));
    EXPECT_EQ(error, "the image has no program 1");
}

} // namespace
} // namespace velomire::instrument
