#include "editing/BlockStream.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

using velomire::editing::AudioOutput;
using velomire::editing::BlockStream;

namespace {

class BlockStreamTest : public ::testing::Test {
protected:
    // Renders `frames` device frames of `channels` channels, as the audio callback would.
    std::vector<float> Render(BlockStream& stream, std::size_t frames, unsigned channels = 1) {
        std::vector<float> out(frames * channels, 99.0f);
        stream.Render(out, channels, finished);
        return out;
    }

    static std::vector<float> Scaled(std::initializer_list<int> values) {
        std::vector<float> out;
        for (const int value : values) {
            out.push_back(static_cast<float>(value) / 32768.0f);
        }
        return out;
    }

    std::vector<std::uint64_t> reported;
    AudioOutput::BlockFinished finished = [this](std::uint64_t tag) { reported.push_back(tag); };
    std::unique_ptr<BlockStream> stream = std::make_unique<BlockStream>(44100, 44100);
};

TEST_F(BlockStreamTest, PlaysBlocksBackToBackAcrossCallbacksAndReportsEachOnceItHasGoneOut) {
    const std::vector<std::int16_t> first = {1, 2, 3};
    const std::vector<std::int16_t> second = {-32768, 32767};
    ASSERT_TRUE(stream->Queue(7, first));
    ASSERT_TRUE(stream->Queue(8, second));

    EXPECT_EQ(Render(*stream, 2), Scaled({1, 2}));
    EXPECT_TRUE(reported.empty());
    EXPECT_EQ(stream->SamplesPlayed(), 2u);

    // The rest of the first block, all of the second, then silence that is not counted.
    EXPECT_EQ(Render(*stream, 5), Scaled({3, -32768, 32767, 0, 0}));
    EXPECT_EQ(reported, (std::vector<std::uint64_t>{7, 8}));
    EXPECT_EQ(stream->SamplesPlayed(), 5u);
}

TEST_F(BlockStreamTest, MonoFramesGoToEveryChannel) {
    const std::vector<std::int16_t> block = {16384, -16384};
    ASSERT_TRUE(stream->Queue(1, block));
    EXPECT_EQ(Render(*stream, 2, 2), Scaled({16384, 16384, -16384, -16384}));
}

TEST_F(BlockStreamTest, TakesFourBlocksAndAFifthOnlyOnceOneHasFinished) {
    const std::vector<std::int16_t> block(10, 5);
    for (std::uint64_t tag = 1; tag <= 4; ++tag) {
        ASSERT_TRUE(stream->Queue(tag, block));
    }
    EXPECT_TRUE(stream->Full());
    EXPECT_FALSE(stream->Queue(5, block));

    Render(*stream, 10);
    EXPECT_FALSE(stream->Full());
    EXPECT_TRUE(stream->Queue(5, block));
    EXPECT_FALSE(stream->Queue(6, std::vector<std::int16_t>(BlockStream::maxBlockFrames + 1)));
}

TEST_F(BlockStreamTest, ResetDropsAndReportsTheQueuedBlocksAndCountsAgainFromZero) {
    const std::vector<std::int16_t> old = {1, 1, 1, 1};
    ASSERT_TRUE(stream->Queue(1, old));
    ASSERT_TRUE(stream->Queue(2, old));
    Render(*stream, 3);
    ASSERT_EQ(stream->SamplesPlayed(), 3u);

    stream->Reset();
    EXPECT_EQ(stream->SamplesPlayed(), 0u);
    // Queued after the reset, before the audio thread has seen it: this one plays.
    const std::vector<std::int16_t> fresh = {9, 8};
    ASSERT_TRUE(stream->Queue(3, fresh));

    EXPECT_EQ(Render(*stream, 3), Scaled({9, 8, 0}));
    EXPECT_EQ(reported, (std::vector<std::uint64_t>{1, 2, 3}));
    EXPECT_EQ(stream->SamplesPlayed(), 2u);
}

TEST_F(BlockStreamTest, DeviceAtTwiceTheSampleRateInterpolatesAndCountsSampleFrames) {
    stream = std::make_unique<BlockStream>(22050, 44100);
    const std::vector<std::int16_t> first = {0, 100};
    const std::vector<std::int16_t> second = {200};
    ASSERT_TRUE(stream->Queue(1, first));
    ASSERT_TRUE(stream->Queue(2, second));

    // The midpoint between the blocks' frames is taken across the boundary; the last frame is
    // held, as nothing follows it.
    EXPECT_EQ(Render(*stream, 6), Scaled({0, 50, 100, 150, 200, 200}));
    EXPECT_EQ(stream->SamplesPlayed(), 3u);
    EXPECT_EQ(reported, (std::vector<std::uint64_t>{1, 2}));
}

} // namespace
