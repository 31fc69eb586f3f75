#include "program/OpenSample.h"
#include "program/AddSample.h"
#include "support/RecordingMessages.h"
#include "support/WavBuilder.h"

#include <gtest/gtest.h>

#include <memory>

using namespace velomire::program;
using velomire::testing::RecordingMessages;
using velomire::testing::TempDir;
using velomire::testing::WavBuilder;
using velomire::testing::WriteFile;

namespace {

class OpenSampleTest : public ::testing::Test {
protected:
    std::filesystem::path Wav(const std::string& name, std::uint16_t channels = 1) {
        const std::vector<std::int16_t> samples(1001 * channels, 100);
        WriteFile(dir / name, WavBuilder::Canonical(channels, 44100, 16, samples));
        return dir / name;
    }

    TempDir dir;
    velomire::testing::WorkingDirectoryGuard restore; // opening a sample enters its directory
    RecordingMessages messages;
    std::unique_ptr<Program> program = std::make_unique<Program>();
};

} // namespace

TEST_F(OpenSampleTest, StartsAProgramNamedAfterTheFileInItsDirectory) {
    const auto title = OpenSample(*program, Wav("Bass.wav"), messages);
    ASSERT_TRUE(title);
    EXPECT_EQ(*title, "Bass");
    EXPECT_EQ(program->ProgramName(), "Bass");
    EXPECT_TRUE(program->programCreated);
    EXPECT_EQ(std::filesystem::canonical(program->programDirectory),
              std::filesystem::canonical(dir.Path()));
    ASSERT_EQ(program->sampleCount, 1);
    EXPECT_EQ(FieldText(program->samples[0].sample.fileName), "Bass.wav");
    EXPECT_EQ(FieldText(program->samples[0].sample.sampleName), "Bass");
    EXPECT_EQ(program->samples[0].sample.frameCount, 1001u);
    EXPECT_TRUE(messages.messages.empty());
}

TEST_F(OpenSampleTest, AnUpperCaseExtensionKeepsTheNameThatOpensTheFileOnThisFileSystem) {
    const auto path = Wav("Bass.WAV", 2);
    const bool caseBlind = std::filesystem::exists(dir / "Bass.wav");
    const auto title = OpenSample(*program, path, messages);
    ASSERT_TRUE(title);
    EXPECT_EQ(*title, "Bass");
    ASSERT_EQ(program->sampleCount, 1);
    // Where Bass.wav names the same file the extension is written ".wav"; elsewhere the row keeps
    // the real name, or it could never be read again.
    EXPECT_EQ(FieldText(program->samples[0].sample.fileName), caseBlind ? "Bass.wav" : "Bass.WAV");
    EXPECT_EQ(program->samples[0].sample.sendMode, sendStereo);
    EXPECT_TRUE(messages.messages.empty());
}

TEST_F(OpenSampleTest, ReplacesTheWholeProgramWithoutAsking) {
    Wav("kick.wav");
    OpenSample(*program, Wav("snare.wav"), messages);
    program->sampleCount = 5;
    program->header.programParams[2] = 77;
    OpenSample(*program, dir / "kick.wav", messages);
    EXPECT_EQ(program->sampleCount, 1);
    EXPECT_EQ(program->ProgramName(), "kick");
    EXPECT_EQ(program->header.programParams[2], 15);
}

TEST_F(OpenSampleTest, ARefusedFileLeavesTheProgramAsItWasWithTheReadersMessage) {
    ASSERT_TRUE(OpenSample(*program, Wav("kick.wav"), messages));
    WriteFile(dir / "eight.wav", WavBuilder::Canonical(1, 44100, 8, {1, 2, 3, 4}));
    EXPECT_FALSE(OpenSample(*program, dir / "eight.wav", messages));
    EXPECT_EQ(program->ProgramName(), "kick");
    EXPECT_EQ(program->sampleCount, 1);
    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_EQ(messages.messages[0].text, "Error: Invalid .Wav File !");
}

TEST_F(OpenSampleTest, ANameLongerThanTheRowHoldsIsRefusedBeforeAnythingChanges) {
    const std::string stem35(35, 'a');
    ASSERT_TRUE(OpenSample(*program, Wav(stem35 + ".wav"), messages));
    EXPECT_EQ(FieldText(program->samples[0].sample.fileName), stem35 + ".wav");

    const auto before = program->ProgramName();
    const auto title = OpenSample(*program, Wav(std::string(36, 'b') + ".wav"), messages);
    EXPECT_FALSE(title);
    EXPECT_EQ(program->ProgramName(), before);
    EXPECT_EQ(program->sampleCount, 1);
    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_EQ(messages.messages[0].caption, std::string(36, 'b') + ".wav");
}

// Every way of adding a sample goes through AddSample: a full program refuses the 41st file.
TEST_F(OpenSampleTest, AFullProgramRefusesOneMoreSampleAndKeepsItsCount) {
    ASSERT_TRUE(OpenSample(*program, Wav("one.wav"), messages));
    while (program->sampleCount < Program::maxSamples) {
        ASSERT_TRUE(AddSample(*program, "one.wav", messages));
    }
    EXPECT_FALSE(AddSample(*program, "one.wav", messages));
    EXPECT_EQ(program->sampleCount, Program::maxSamples);
    ASSERT_EQ(messages.messages.size(), 1u);
    EXPECT_EQ(messages.messages[0].text, "Error : Maximum number of Samples (40) reached");
}
