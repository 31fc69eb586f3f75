#include "program/MonoFrames.h"

#include "support/RecordingMessages.h"
#include "support/WavBuilder.h"

#include <gtest/gtest.h>

namespace velomire::program {
namespace {

using velomire::testing::RecordingMessages;
using velomire::testing::TempDir;
using velomire::testing::WavBuilder;
using velomire::testing::WriteFile;
using Status = MonoFrames::Status;

class MonoFramesTest : public ::testing::Test {
protected:
    // Opens a file of these samples; the reader is positioned at its first frame.
    void Open(const std::vector<std::int16_t>& samples, std::uint16_t channels) {
        const auto path = dir / "take.wav";
        WriteFile(path, WavBuilder::Canonical(channels, 44100, 16, samples));
        ASSERT_TRUE(wav.Open(path.string()));
    }

    TempDir dir;
    RecordingMessages messages;
    WavInfo wav{messages};
};

TEST_F(MonoFramesTest, ReadsTheMixUpToTheFramesAskedOrTheFilesAndClosesTheFile) {
    Open({100, -101, 101, 100, -3, -4}, 2);
    MonoFrames read = ReadMonoFrames(wav, 50, 3); // more frames asked than the file holds
    EXPECT_EQ(read.status, Status::ok);
    EXPECT_EQ(read.frames, (std::vector<std::int16_t>{0, 100, -3}));
    EXPECT_DOUBLE_EQ(read.mean, 97.0 / 3);
    EXPECT_FALSE(wav.IsOpen());

    Open({10, 20, 30, 40}, 1);
    read = ReadMonoFrames(wav, 2, 2);
    EXPECT_EQ(read.frames, (std::vector<std::int16_t>{10, 20}));
    EXPECT_FALSE(wav.IsOpen());
}

TEST_F(MonoFramesTest, RefusesNothingToReadAndMoreThanTheLimit) {
    Open({}, 1);
    EXPECT_EQ(ReadMonoFrames(wav, 10, 10).status, Status::noFrames);
    EXPECT_FALSE(wav.IsOpen());
    Open({10, 20, 30, 40}, 1);
    EXPECT_EQ(ReadMonoFrames(wav, 0, 10).status, Status::noFrames);
    Open({10, 20, 30, 40}, 1);
    const MonoFrames read = ReadMonoFrames(wav, 4, 3);
    EXPECT_EQ(read.status, Status::tooLong);
    EXPECT_TRUE(read.frames.empty());
    EXPECT_FALSE(wav.IsOpen());
    EXPECT_TRUE(messages.messages.empty());
}

} // namespace
} // namespace velomire::program
