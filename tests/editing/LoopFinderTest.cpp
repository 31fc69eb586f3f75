#include "editing/LoopFinder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>
#include <vector>

using namespace velomire::editing;

namespace {

// A tone of exactly `period` frames with a harmonic, so each period has several rising crossings
// and only whole periods join without a mismatch.
std::vector<std::int16_t> Tone(int period, std::size_t frames) {
    std::vector<std::int16_t> tone(frames);
    for (std::size_t i = 0; i < frames; ++i) {
        const double phase = 2 * std::numbers::pi * static_cast<double>(i % period) / period;
        tone[i] = static_cast<std::int16_t>(
            std::lround(12000 * std::sin(phase) + 9000 * std::sin(5 * phase + 1)));
    }
    return tone;
}

std::int64_t RisingCrossingAfter(const std::vector<std::int16_t>& frames, std::int64_t from) {
    while (!(frames[from - 1] < 0 && frames[from] >= 0)) {
        ++from;
    }
    return from;
}

} // namespace

TEST(LoopFinder, LoopsOnAToneAreWholePeriodsFromEitherEdge) {
    for (const int period : {97, 150, 441}) {
        const auto tone = Tone(period, 40000);
        const std::int64_t start = RisingCrossingAfter(tone, 5000);
        LoopSearch search{
            .start = start, .end = start + 7 * period + 33, .lowest = 0, .highest = 39999};
        const auto ends = FindLoops(tone, search);
        ASSERT_GE(ends.size(), 2u) << period;
        for (std::size_t i = 0; i < 2; ++i) { // the best and, at the next press, the next best
            EXPECT_EQ(ends[i].start, start);
            EXPECT_EQ((ends[i].end - start + 1) % period, 0) << period;
            EXPECT_EQ(ends[i].mismatch, 0.0);
        }
        EXPECT_LE(std::abs(ends[0].end - search.end), period); // the nearest comes first

        search.end = ends[0].end;
        search.start = start + 17;
        search.moveStart = true;
        const auto starts = FindLoops(tone, search);
        ASSERT_FALSE(starts.empty());
        EXPECT_EQ(starts[0].end, search.end);
        EXPECT_EQ((search.end - starts[0].start + 1) % period, 0) << period;
    }
}

TEST(LoopFinder, OnNoiseEveryProposalStaysInTheSoundAndKeeps64Frames) {
    std::mt19937 random(7);
    std::uniform_int_distribution<int> value(-32768, 32767);
    std::vector<std::int16_t> noise(20000);
    for (auto& v : noise) {
        v = static_cast<std::int16_t>(value(random));
    }
    // Short loops hard against the sound's edges, both edges searched.
    for (const auto& [start, end] : {std::pair<std::int64_t, std::int64_t>{1000, 1063},
                                     {1000, 1100},
                                     {19900, 19963},
                                     {1, 70}}) {
        for (const bool moveStart : {false, true}) {
            const LoopSearch search{.start = start,
                                    .end = end,
                                    .lowest = 1,
                                    .highest = 19963,
                                    .moveStart = moveStart,
                                    .candidates = 1000};
            for (const LoopCandidate& c : FindLoops(noise, search)) {
                EXPECT_GE(c.end - c.start + 1, 64);
                EXPECT_GE(c.start, 1);
                EXPECT_LE(c.end, 19963);
            }
        }
    }
}

TEST(LoopFinder, AStartAwayFromZeroGetsAnEndThatJoinsWithoutAJump) {
    // A sine of a period that is no whole number of frames, the start clicked where the wave
    // falls through -14,422: an end before a rising crossing would jump by 44 % of full scale.
    std::vector<std::int16_t> sine(40000);
    for (std::size_t i = 0; i < sine.size(); ++i) {
        sine[i] = static_cast<std::int16_t>(
            std::lround(20000 * std::sin(2 * std::numbers::pi * static_cast<double>(i) / 100.37)));
    }
    std::int64_t start = 5000;
    while (!(sine[start] <= -14000 && sine[start + 1] < sine[start])) {
        ++start;
    }
    const LoopSearch search{.start = start,
                            .end = start + 12000,
                            .lowest = 0,
                            .highest = 39999,
                            .window = 4410,
                            .compare = 132};
    const auto ends = FindLoops(sine, search);
    ASSERT_FALSE(ends.empty());
    EXPECT_LT(JoinJump(sine, ends[0].start, ends[0].end), 0.05 * 32768 / 4);
    EXPECT_LT(ends[0].mismatch, 40000.0); // an RMS difference of 200 over 3 ms
}

TEST(LoopFinder, TheJoinJumpIsTheStartAgainstTheFrameAfterTheEnd) {
    const std::vector<std::int16_t> frames{0, 10, 20, 30, 40, 50};
    EXPECT_EQ(JoinJump(frames, 1, 3), 30); // 10 against 40
    EXPECT_EQ(JoinJump(frames, 2, 5), 40); // at the track's end: 50 against 10, before the start
    EXPECT_EQ(JoinJump(frames, 0, 5), 0);
}

TEST(LoopFinder, TheSeamJoinsTheEndToTheStart) {
    const std::vector<std::int16_t> frames{1, 2, 3, 4, 5, 6, 7, 8};
    EXPECT_EQ(SeamFrames(frames, 2, 6, 3), (std::vector<std::int16_t>{5, 6, 7, 3, 4, 5}));
    EXPECT_EQ(SeamFrames(frames, 0, 7, 2), (std::vector<std::int16_t>{7, 8, 1, 2}));
    EXPECT_EQ(SeamFrames(frames, 6, 1, 3), (std::vector<std::int16_t>{0, 1, 2, 7, 8, 0}));
}
