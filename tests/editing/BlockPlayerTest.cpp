#include "editing/BlockPlayer.h"

#include "editing/FakeAudioOutput.h"
#include "support/RecordingMessages.h"

#include <gtest/gtest.h>

#include <numeric>
#include <vector>

using velomire::editing::AudioError;
using velomire::editing::AudioStatus;
using velomire::editing::BlockPlayer;
using velomire::testing::FakeAudioOutput;
using velomire::testing::RecordingMessages;

namespace {

// A track whose every frame tells its own position, so a block shows where it was cut from.
std::vector<std::int16_t> Ramp(std::size_t frames) {
    std::vector<std::int16_t> track(frames);
    for (std::size_t i = 0; i < frames; ++i) {
        track[i] = static_cast<std::int16_t>(i % 30000);
    }
    return track;
}

std::vector<std::int16_t> Slice(const std::vector<std::int16_t>& track, int first, int last) {
    return {track.begin() + first, track.begin() + last + 1};
}

// `count` frames of the loop from `first` to `last` played over and over, beginning `from` frames
// into it.
std::vector<std::int16_t> Loop(const std::vector<std::int16_t>& track, int first, int last,
                               std::size_t from, std::size_t count) {
    const auto length = static_cast<std::size_t>(last - first + 1);
    std::vector<std::int16_t> frames(count);
    for (std::size_t i = 0; i < count; ++i) {
        frames[i] = track[static_cast<std::size_t>(first) + (from + i) % length];
    }
    return frames;
}

class BlockPlayerTest : public ::testing::Test {
protected:
    BlockPlayerTest() {
        player.SetTrack(track, 22050);
        player.SetDevice(2);
    }

    // The oldest block comes back from the device, as the UI thread would hear of it.
    bool ReturnOldest() { return player.OnBlockFinished(output.PlayOldest()); }

    // What the device plays: every block handed to it, one right after the other.
    std::vector<std::int16_t> Played() const {
        std::vector<std::int16_t> stream;
        for (const auto& block : output.blocks) {
            stream.insert(stream.end(), block.frames.begin(), block.frames.end());
        }
        return stream;
    }

    // With the first `blocksReturned` blocks back, every count the device may report, from a
    // little behind the oldest block it holds (the count lags the reports) to the last frame
    // queued, puts the cursor on the frame whose sample is at that place of the stream. The
    // track's every frame holds its own position, so the sample is the frame.
    void ExpectCursorOnPlayedSamples(std::size_t blocksReturned) {
        const auto stream = Played();
        std::size_t retired = 0;
        for (std::size_t i = 0; i < blocksReturned; ++i) {
            retired += output.blocks[i].frames.size();
        }
        constexpr std::size_t lag = 64;
        for (std::size_t count = retired > lag ? retired - lag : 0; count < stream.size();
             ++count) {
            output.played = count;
            ASSERT_EQ(player.CursorFrame(), stream[count]) << "frames played: " << count;
        }
    }

    std::vector<std::int16_t> track = Ramp(40000);
    FakeAudioOutput output;
    RecordingMessages messages;
    BlockPlayer player{output, messages};
};

TEST_F(BlockPlayerTest, RegionOfTenThousandFramesPlaysAsOneFullBlockAndTheRest) {
    player.SetRegion(100, 10099);
    ASSERT_TRUE(player.OnPlay());

    EXPECT_EQ(output.calls, std::vector<std::string>{"Open 2 22050"});
    ASSERT_EQ(output.blocks.size(), 2u);
    EXPECT_EQ(output.blocks[0].Bytes(), 16384u);
    EXPECT_EQ(output.blocks[1].Bytes(), 3616u);
    EXPECT_EQ(output.blocks[0].frames, Slice(track, 100, 8291));
    EXPECT_EQ(output.blocks[1].frames, Slice(track, 8292, 10099));

    EXPECT_TRUE(ReturnOldest());
    EXPECT_FALSE(ReturnOldest());
    EXPECT_EQ(output.blocks.size(), 2u);
    EXPECT_FALSE(player.CursorFrame());
}

TEST_F(BlockPlayerTest, ABlockTheDeviceRefusedIsPlayedByTheNextRefill) {
    player.SetRegion(0, 19999);
    ASSERT_TRUE(player.OnPlay());
    output.queueResult = AudioStatus::Error(AudioError::Other);
    EXPECT_TRUE(ReturnOldest());
    output.queueResult = {};
    ReturnOldest();
    ASSERT_EQ(output.blocks.size(), 3u);
    EXPECT_EQ(output.blocks[2].frames, Slice(track, 16384, 19999));
}

TEST_F(BlockPlayerTest, AnEditedLoopTakesOverAtTheNextWrap) {
    player.SetRegion(100, 199);
    player.SetLooping(true);
    ASSERT_TRUE(player.OnPlay()); // two blocks: 163 rounds and 84 frames
    player.EditRegion(150, 249);
    ReturnOldest();
    ASSERT_EQ(output.blocks.size(), 3u);
    auto expected = Slice(track, 184, 199);
    const auto edited = Loop(track, 150, 249, 0, 8192 - expected.size());
    expected.insert(expected.end(), edited.begin(), edited.end());
    EXPECT_EQ(output.blocks[2].frames, expected);
}

TEST_F(BlockPlayerTest, ShortLoopFillsEveryBlockWithRoundAfterRoundWithoutAGapUntilStop) {
    player.SetRegion(500, 599);
    player.SetLooping(true);
    ASSERT_TRUE(player.OnPlay());

    for (int round = 0; round < 6; ++round) {
        EXPECT_TRUE(ReturnOldest());
    }
    ASSERT_EQ(output.blocks.size(), 8u);
    for (const auto& block : output.blocks) {
        EXPECT_EQ(block.Bytes(), 16384u);
    }
    // 8192 frames are 81 rounds and 92 frames: the next block goes on from the loop's frame 92.
    EXPECT_EQ(output.blocks[0].frames.back(), track[591]);
    EXPECT_EQ(output.blocks[1].frames.front(), track[592]);
    EXPECT_EQ(Played(), Loop(track, 500, 599, 0, 8 * 8192));
    EXPECT_EQ(player.BuffersQueued(), 2);

    player.OnStop();
    EXPECT_EQ(output.calls.back(), "Reset");
    EXPECT_FALSE(player.CursorFrame());
    ASSERT_EQ(output.returnedByReset.size(), 2u);
    EXPECT_TRUE(player.OnBlockFinished(output.returnedByReset[0]));
    EXPECT_FALSE(player.OnBlockFinished(output.returnedByReset[1]));
    EXPECT_EQ(output.blocks.size(), 8u);
    EXPECT_TRUE(player.IsOpen());
}

TEST_F(BlockPlayerTest, LoopLongerThanABlockGoesOnAcrossTheBlocksWithoutAGap) {
    player.SetRegion(1000, 10999);
    player.SetLooping(true);
    ASSERT_TRUE(player.OnPlay());
    for (int round = 0; round < 4; ++round) {
        EXPECT_TRUE(ReturnOldest());
    }
    ASSERT_EQ(output.blocks.size(), 6u);

    // The second block ends the first round and starts the next.
    auto second = Slice(track, 9192, 10999);
    const auto again = Slice(track, 1000, 7383);
    second.insert(second.end(), again.begin(), again.end());
    EXPECT_EQ(output.blocks[1].frames, second);
    EXPECT_EQ(Played(), Loop(track, 1000, 10999, 0, 6 * 8192));
}

TEST_F(BlockPlayerTest, LoopInNoLoopingModePlaysOnceAndTheCursorStopsWhenItsBlockReturns) {
    player.SetRegion(500, 599);
    player.SetLooping(false);
    ASSERT_TRUE(player.OnPlay());
    ASSERT_EQ(output.blocks.size(), 1u);
    EXPECT_TRUE(player.CursorFrame());

    EXPECT_FALSE(ReturnOldest());
    EXPECT_FALSE(player.CursorRunning());
    EXPECT_FALSE(player.CursorFrame());
    EXPECT_EQ(output.blocks.size(), 1u);
}

TEST_F(BlockPlayerTest, PlayWithNoPartPlaysTheWholeSampleOnce) {
    const auto sample = Ramp(20000);
    player.SetTrack(sample, 44100);
    ASSERT_TRUE(player.OnPlay());
    while (ReturnOldest()) {
    }
    EXPECT_EQ(Played(), sample);
    EXPECT_EQ(output.blocks.back().Bytes(), 7232u);
}

TEST_F(BlockPlayerTest, ClosingWhileALoopPlaysStopsClosesAndReleasesTheBlocks) {
    player.OnStop(); // nothing open: nothing happens
    EXPECT_FALSE(player.IsOpen());
    player.SetRegion(500, 599);
    player.SetLooping(true);
    ASSERT_TRUE(player.OnPlay());
    ASSERT_TRUE(player.HoldsBlocks());

    player.Close();
    EXPECT_EQ(output.calls, (std::vector<std::string>{"Open 2 22050", "Reset", "Close"}));
    EXPECT_FALSE(player.IsOpen());
    EXPECT_FALSE(player.HoldsBlocks());
    EXPECT_FALSE(player.CursorRunning());

    // Reports still on their way to the UI thread change nothing.
    for (const auto tag : output.returnedByReset) {
        EXPECT_FALSE(player.OnBlockFinished(tag));
    }
    EXPECT_EQ(output.blocks.size(), 2u);
}

TEST_F(BlockPlayerTest, PlayWhilePlayingRestartsFromStartAndIgnoresTheDroppedBlocks) {
    player.SetRegion(100, 30099);
    ASSERT_TRUE(player.OnPlay());
    ReturnOldest();
    ASSERT_EQ(output.blocks.size(), 3u);

    ASSERT_TRUE(player.OnPlay());
    EXPECT_EQ(output.calls, (std::vector<std::string>{"Open 2 22050", "Reset"}));
    ASSERT_EQ(output.blocks.size(), 5u);
    EXPECT_EQ(output.blocks[3].frames, Slice(track, 100, 8291));
    EXPECT_EQ(output.blocks[4].frames, Slice(track, 8292, 16483));

    // The two blocks the reset dropped come back late: they neither refill nor stop anything.
    for (const auto tag : output.returnedByReset) {
        EXPECT_TRUE(player.OnBlockFinished(tag));
    }
    EXPECT_EQ(output.blocks.size(), 5u);
    EXPECT_EQ(player.BuffersQueued(), 2);
    EXPECT_TRUE(ReturnOldest());
    EXPECT_EQ(output.blocks[5].frames, Slice(track, 16484, 24675));
}

TEST_F(BlockPlayerTest, ChoosingAnotherPartWhilePlayingGoesOnWithItAfterTheQueuedBlocks) {
    player.SetRegion(100, 30099);
    ASSERT_TRUE(player.OnPlay());
    player.SetRegion(500, 599);
    player.SetLooping(true);
    EXPECT_TRUE(ReturnOldest());
    EXPECT_TRUE(ReturnOldest());
    ASSERT_EQ(output.blocks.size(), 4u);
    EXPECT_EQ(output.blocks[2].frames, Loop(track, 500, 599, 0, 8192));
    EXPECT_EQ(output.blocks[3].frames, Loop(track, 500, 599, 92, 8192));
}

TEST_F(BlockPlayerTest, CursorOfALoopStaysInTheLoopOnTheSampleTheDevicePlays) {
    // A loop far shorter than a block, and one longer than a block.
    for (const int last : {1099, 10999}) {
        SCOPED_TRACE(last);
        output.blocks.clear();
        player.SetRegion(1000, last);
        player.SetLooping(true);
        ASSERT_TRUE(player.OnPlay());
        ASSERT_NO_FATAL_FAILURE(ExpectCursorOnPlayedSamples(0));
        for (std::size_t returned = 1; returned <= 4; ++returned) {
            ASSERT_TRUE(ReturnOldest());
            ASSERT_NO_FATAL_FAILURE(ExpectCursorOnPlayedSamples(returned));
        }
    }
}

TEST_F(BlockPlayerTest, LoopTurnedOffWhilePlayingEndsItsRoundAndTheCursorFollowsIt) {
    // 100 frames: the last round goes on from the middle of the loop. 128 frames: the blocks
    // hold whole rounds, so the last one starts at Start and a lagging count falls before it.
    for (const int last : {1099, 1127}) {
        SCOPED_TRACE(last);
        output.blocks.clear();
        player.SetRegion(1000, last);
        player.SetLooping(true);
        ASSERT_TRUE(player.OnPlay());
        player.SetLooping(false);

        ASSERT_NO_FATAL_FAILURE(ExpectCursorOnPlayedSamples(0));
        for (std::size_t returned = 1; ReturnOldest(); ++returned) {
            ASSERT_NO_FATAL_FAILURE(ExpectCursorOnPlayedSamples(returned));
        }
        ASSERT_EQ(output.blocks.size(), 3u);
        const auto stream = Played();
        EXPECT_EQ(stream, Loop(track, 1000, last, 0, stream.size()));
        EXPECT_EQ(stream.back(), track[static_cast<std::size_t>(last)]);
        EXPECT_FALSE(player.CursorFrame());
    }
}

TEST_F(BlockPlayerTest, CursorOfARegionStartsAtItAndFollowsTheBlocksAsTheyAreRefilled) {
    // A region of one block, and one that the refills carry on.
    for (const auto& [first, last] : {std::pair{2000, 2099}, std::pair{1000, 20999}}) {
        SCOPED_TRACE(last);
        output.blocks.clear();
        player.SetRegion(first, last);
        ASSERT_TRUE(player.OnPlay());
        ASSERT_NO_FATAL_FAILURE(ExpectCursorOnPlayedSamples(0));
        if (ReturnOldest()) {
            ASSERT_NO_FATAL_FAILURE(ExpectCursorOnPlayedSamples(1));
        }
    }
}

TEST_F(BlockPlayerTest, FailedOpeningShowsTheMappedMessageStopsTheCursorAndKeepsNothing) {
    const std::vector<std::pair<AudioError, std::string>> table = {
        {AudioError::BadDeviceId, "WaveOut error: Specified device identifier is out of range"},
        {AudioError::Allocated, "WaveOut error: Specified resource is already allocated"},
        {AudioError::NoDriver, "WaveOut error: No device driver is present"},
        {AudioError::NoMemory, "WaveOut error: Unable to allocate or lock memory"},
        {AudioError::BadFormat,
         "WaveOut error: Attempted to open with an unsupported waveform-audio format"},
        {AudioError::Sync, "WaveOut error: The device is synchronous"},
        {AudioError::Other, "Error, can't open Wave out device"},
    };
    for (const auto& [code, text] : table) {
        messages.messages.clear();
        output.openResult = AudioStatus::Error(code, "driver words");
        EXPECT_FALSE(player.OnPlay()) << text;
        ASSERT_EQ(messages.messages.size(), 1u);
        EXPECT_EQ(messages.messages[0].text, text);
        EXPECT_FALSE(player.CursorRunning());
        EXPECT_FALSE(player.CursorFrame());
        EXPECT_FALSE(player.HoldsBlocks());
        EXPECT_FALSE(player.IsOpen());
    }
    EXPECT_TRUE(output.blocks.empty());

    // The next "P l a y" tries again.
    output.openResult = {};
    EXPECT_TRUE(player.OnPlay());
    EXPECT_EQ(output.calls.size(), table.size() + 1);
}

} // namespace
