#include "editing/WavFilePlayer.h"

#include "editing/FakeAudioOutput.h"
#include "support/RecordingMessages.h"
#include "support/WavBuilder.h"

#include <gtest/gtest.h>

#include <vector>

using velomire::editing::AudioError;
using velomire::editing::AudioStatus;
using velomire::editing::WavFilePlayer;
using velomire::testing::FakeAudioOutput;
using velomire::testing::RecordingMessages;
using velomire::testing::TempDir;
using velomire::testing::WavBuilder;
using velomire::testing::WriteFile;

namespace {

class WavFilePlayerTest : public ::testing::Test {
protected:
    std::string Write(const std::string& name, const std::vector<std::uint8_t>& bytes) {
        const auto path = dir / name;
        WriteFile(path, bytes);
        return path.string();
    }

    TempDir dir;
    FakeAudioOutput output;
    RecordingMessages messages;
    WavFilePlayer player{output, messages, -1};
};

TEST_F(WavFilePlayerTest, PlaysAStereoFileAsItsMonoMixAtItsOwnRateAndClosesAtTheEnd) {
    // Frames (left, right): (100, -101), (101, 100), (-3, -4).
    const auto file =
        Write("pad.wav", WavBuilder::Canonical(2, 22050, 16, {100, -101, 101, 100, -3, -4}));
    EXPECT_EQ(player.PlayWavFile(file), 0);

    EXPECT_TRUE(messages.messages.empty());
    EXPECT_EQ(output.calls, std::vector<std::string>{"Open -1 22050"});
    ASSERT_EQ(output.blocks.size(), 1u);
    EXPECT_EQ(output.blocks[0].frames, (std::vector<std::int16_t>{0, 100, -3}));

    EXPECT_FALSE(player.OnBlockFinished(output.PlayOldest()));
    EXPECT_FALSE(output.IsOpen());
}

TEST_F(WavFilePlayerTest, AFileOrDeviceThatCannotPlayGivesOneMessageWithTheFilesName) {
    const auto eightBit = Write("old.wav", WavBuilder::Canonical(1, 22050, 8, {0, 0}));
    const auto missing = (dir / "missing.wav").string();
    for (const auto& file : {eightBit, missing}) {
        messages.messages.clear();
        EXPECT_EQ(player.PlayWavFile(file), -1);
        EXPECT_EQ(messages.messages,
                  (std::vector<RecordingMessages::Message>{{"Error: Can't play File !", file}}));
    }
    EXPECT_TRUE(output.calls.empty());

    const auto file = Write("click.wav", WavBuilder::Canonical(1, 44100, 16, {1, 2, 3}));
    output.openResult = AudioStatus::Error(AudioError::Allocated);
    messages.messages.clear();
    EXPECT_EQ(player.PlayWavFile(file), -1);
    EXPECT_EQ(messages.messages,
              (std::vector<RecordingMessages::Message>{{"Error: Can't play File !", file}}));
}

TEST_F(WavFilePlayerTest, AnotherFileOrNoFileStopsTheOnePlaying) {
    const auto file =
        Write("long.wav", WavBuilder::Canonical(1, 44100, 16, std::vector<std::int16_t>(20000, 7)));
    ASSERT_EQ(player.PlayWavFile(file), 0);
    ASSERT_EQ(player.PlayWavFile(file), 0);
    EXPECT_EQ(output.calls,
              (std::vector<std::string>{"Open -1 44100", "Reset", "Close", "Open -1 44100"}));
    EXPECT_TRUE(player.IsPlaying());

    EXPECT_EQ(player.PlayWavFile(""), 0);
    EXPECT_FALSE(player.IsPlaying());
    EXPECT_FALSE(output.IsOpen());
}

} // namespace
