#include "program/Program.h"
#include "program/AddSample.h"
#include "program/WavInfo.h"
#include "support/RecordingMessages.h"
#include "support/WavBuilder.h"

#include <gtest/gtest.h>

#include <limits>
#include <memory>

using namespace velomire::program;
using velomire::testing::RecordingMessages;
using velomire::testing::TempDir;
using velomire::testing::WavBuilder;

namespace {

class ProgramTest : public ::testing::Test {
protected:
    // Row 0 filled from an in-memory WAV file of the given shape.
    const SampleBlock& AddWav(const std::string& name, std::uint16_t channels, std::uint32_t rate,
                              std::size_t frames) {
        const std::vector<std::int16_t> samples(frames * channels, 100);
        WavInfo wav(messages);
        EXPECT_TRUE(wav.OpenBytes(name, WavBuilder::Canonical(channels, rate, 16, samples)));
        program->InitSampleEntry(program->sampleCount, name, wav);
        ++program->sampleCount;
        return program->samples[static_cast<std::size_t>(program->sampleCount - 1)].sample;
    }

    velomire::testing::WorkingDirectoryGuard restore; // naming the program enters its directory
    RecordingMessages messages;
    std::unique_ptr<Program> program = std::make_unique<Program>();
};

} // namespace

TEST_F(ProgramTest, InitSampleEntryGivesTheDefaultsOfA1001FrameMonoFile) {
    const SampleBlock& s = AddWav("tone.wav", 1, 44100, 1001);
    EXPECT_EQ(FieldText(s.fileName), "tone.wav");
    EXPECT_EQ(FieldText(s.sampleName), "tone");
    EXPECT_EQ(s.bits, 16);
    EXPECT_EQ(s.channels, 1);
    EXPECT_EQ(s.frameCount, 1001u);
    EXPECT_EQ(s.lengthWords, 1000u);
    EXPECT_EQ(s.endPoint, 999u);
    EXPECT_EQ(s.soundStart, 0u);
    EXPECT_EQ(s.soundEnd, 1000u);
    for (std::size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(s.Loop(i), (LoopSpec{999, 1000, i == 0 ? 9999u : 0u})) << "loop " << i;
    }
    for (std::size_t i = 4; i < 8; ++i) {
        EXPECT_EQ(s.Loop(i), (LoopSpec{0, 64, 0})) << "loop " << i;
    }
    EXPECT_EQ(s.samplePeriodNs, 22676u);
    EXPECT_EQ(s.tuneOffset, 0);
    EXPECT_EQ(s.s900RightLoopShift, 27u);
    EXPECT_EQ(s.sendMode, sendMono);
    EXPECT_EQ(s.loopMode, loopNone);
    EXPECT_EQ(s.rootKey, 60);
    EXPECT_EQ(s.headerValid, 128);
    EXPECT_EQ(s.bandwidth, 1);
    EXPECT_EQ(s.headerRate, 44100u);

    const KeygroupBlock& k = program->samples[0].keygroup;
    EXPECT_EQ(k.lowKey, 24);
    EXPECT_EQ(k.highKey, 127);
    EXPECT_EQ(k.velocityHigh, 127);
    const std::array<std::int16_t, 24> words = {99, 0, 0,  0,  0,  0, 99, 99, 43, 0, 0, 0,
                                                0,  0, 99, 99, 99, 0, 0,  0,  0,  0, 0, 1};
    EXPECT_EQ(k.keygroupWords, words);
}

TEST_F(ProgramTest, StereoAndLowRateFilesGetTheirOwnDefaults) {
    const SampleBlock& stereo = AddWav("pad.wav", 2, 44100, 10);
    EXPECT_EQ(stereo.sendMode, sendStereo);
    EXPECT_EQ(stereo.frameCount, 10u);

    const SampleBlock& low = AddWav("low.wav", 1, 22050, 10);
    EXPECT_EQ(low.tuneOffset, std::numeric_limits<std::int32_t>::min());
    EXPECT_EQ(low.s900RightLoopShift, 13u);
    EXPECT_EQ(low.samplePeriodNs, 45352u);
}

TEST_F(ProgramTest, TuneOffsetFollowsTheRateOctaveSteps) {
    EXPECT_EQ(TuneOffsetForRate(44100), 0);
    EXPECT_EQ(TuneOffsetForRate(88199), 0);
    EXPECT_EQ(TuneOffsetForRate(88200), 3072);
    EXPECT_EQ(TuneOffsetForRate(132300), 4869);
}

TEST_F(ProgramTest, SampleNameIsCutAtTwelveCharactersAndTheFirstDot) {
    EXPECT_EQ(FieldText(AddWav("LongSampleName01.wav", 1, 44100, 4).sampleName), "LongSampleNa");
    EXPECT_EQ(FieldText(AddWav("kick.drum.wav", 1, 44100, 4).sampleName), "kick");
}

TEST_F(ProgramTest, RemoveSampleEntryMovesTheFollowingRowsDown) {
    AddWav("a.wav", 1, 44100, 4);
    AddWav("b.wav", 1, 44100, 4);
    AddWav("c.wav", 1, 44100, 4);
    program->RemoveSampleEntry(1);
    ASSERT_EQ(program->sampleCount, 2);
    EXPECT_EQ(FieldText(program->samples[0].sample.fileName), "a.wav");
    EXPECT_EQ(FieldText(program->samples[1].sample.fileName), "c.wav");
    program->RemoveSampleEntry(5); // no such row: nothing happens
    EXPECT_EQ(program->sampleCount, 2);
}

TEST_F(ProgramTest, SetProgramPathNamesTheProgramAndTakesItsDirectory) {
    TempDir dir;
    const auto before = std::filesystem::current_path();
    AddWav("a.wav", 1, 44100, 4);
    program->nextProgramNumber = 3;
    const std::string title =
        program->SetProgramPath(dir / "MyFirstProgramNameIsLong.vmp", /*isNew=*/true);

    EXPECT_EQ(title, "MyFirstProgramNameIsLong");
    // Twenty characters fill the field: no terminator inside it.
    EXPECT_EQ(std::string(program->header.programName.begin(), program->header.programName.end()),
              "MyFirstProgramNameIs");
    EXPECT_EQ(program->ProgramName(), "MyFirstProgramNameIs");
    EXPECT_EQ(std::filesystem::canonical(program->programDirectory),
              std::filesystem::canonical(dir.Path()));
    EXPECT_EQ(std::filesystem::current_path(), before); // never the process's directory
    EXPECT_TRUE(program->programCreated);
    EXPECT_EQ(program->sampleCount, 0);
    EXPECT_EQ(program->header.programParams[0], 3);
}

// The desktop's document and the Sampler window's programs live side by side: opening one never
// moves where another finds its files.
TEST_F(ProgramTest, EachProgramFindsItsSamplesInItsOwnDirectory) {
    TempDir first;
    TempDir second;
    velomire::testing::WriteShortWav(first / "kick.wav");
    program->SetProgramPath(first / "Drums.vmp", true);
    Program other;
    other.SetProgramPath(second / "Taken back.vmp", true);

    EXPECT_EQ(program->SampleFilePath("kick.wav"), first / "kick.wav");
    ASSERT_TRUE(AddSample(*program, "kick.wav", messages)) << messages.messages.size();
    EXPECT_EQ(program->samples[0].sample.frameCount, 64u);
    EXPECT_FALSE(AddSample(other, "kick.wav", messages)); // not in its directory
}

TEST_F(ProgramTest, OpeningAnExistingProgramKeepsItsSamplesAndHeader) {
    TempDir dir;
    AddWav("a.wav", 1, 44100, 4);
    program->header.programParams[8] = 42;
    program->SetProgramPath(dir / "Bass.vmp", /*isNew=*/false);
    EXPECT_EQ(program->sampleCount, 1);
    EXPECT_EQ(program->header.programParams[8], 42);
    EXPECT_EQ(program->ProgramName(), "Bass");
}

namespace {

// The rows' names in order, one letter each.
std::string Order(const Program& program) {
    std::string order;
    for (int i = 0; i < program.sampleCount; ++i) {
        order += FieldText(program.samples[static_cast<std::size_t>(i)].sample.sampleName);
    }
    return order;
}

void Fill(Program& program, std::string_view names) {
    program.sampleCount = static_cast<std::int32_t>(names.size());
    for (std::size_t i = 0; i < names.size(); ++i) {
        SetFieldText(program.samples[i].sample.sampleName, names.substr(i, 1));
    }
}

} // namespace

TEST_F(ProgramTest, RowsAreRemovedAndMovedAsAGroupKeepingTheirOrder) {
    Fill(*program, "abcdef");
    program->RemoveSampleEntries({4, 1, 4, 9});
    EXPECT_EQ(Order(*program), "acdf");

    Fill(*program, "abcdef");
    // Rows 1 and 3 step up past their neighbours; a row at the top blocks the whole move.
    EXPECT_EQ(program->MoveSampleEntries({3, 1}, -1), (std::vector<int>{0, 2}));
    EXPECT_EQ(Order(*program), "badcef");
    EXPECT_TRUE(program->MoveSampleEntries({0, 2}, -1).empty());
    EXPECT_EQ(program->MoveSampleEntries({4, 5}, 1), std::vector<int>{});
    EXPECT_EQ(program->MoveSampleEntries({3, 4}, 1), (std::vector<int>{4, 5}));
    EXPECT_EQ(Order(*program), "badfce");

    // A drag: the rows gather before the row that was under the pointer.
    Fill(*program, "abcdef");
    EXPECT_EQ(program->MoveSampleEntriesTo({0, 2}, 5), (std::vector<int>{3, 4}));
    EXPECT_EQ(Order(*program), "bdeacf");
    EXPECT_EQ(program->MoveSampleEntriesTo({1}, 6), std::vector<int>{5});
    EXPECT_EQ(Order(*program), "beacfd");
    EXPECT_TRUE(program->MoveSampleEntriesTo({1, 2}, 2).empty()); // already there
    EXPECT_EQ(Order(*program), "beacfd");
}
