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
    EXPECT_TRUE(FindLoops(std::vector<std::int16_t>(100, 0), {.start = 0, .end = 99, .highest = 99})
                    .empty()); // silence has no rising crossing
}

TEST(LoopFinder, AFrameOnExactlyZeroAfterANegativeOneIsARisingCrossing) {
    // Periods of 100 frames: 50 below zero, one on zero, 49 above; the zeros are the only edges.
    std::vector<std::int16_t> frames(5000);
    for (std::size_t i = 0; i < frames.size(); ++i) {
        const std::size_t phase = i % 100;
        frames[i] = static_cast<std::int16_t>(phase < 50 ? -1000 : phase == 50 ? 0 : 1000);
    }
    const auto ends = FindLoops(frames, {.start = 1050, .end = 2000, .highest = 4999});
    ASSERT_FALSE(ends.empty());
    for (const LoopCandidate& c : ends) {
        EXPECT_EQ((c.end + 1) % 100, 50);
    }
}

TEST(LoopFinder, TheSeamJoinsTheEndToTheStart) {
    const std::vector<std::int16_t> frames{1, 2, 3, 4, 5, 6, 7, 8};
    EXPECT_EQ(SeamFrames(frames, 2, 6, 3), (std::vector<std::int16_t>{5, 6, 7, 3, 4, 5}));
    EXPECT_EQ(SeamFrames(frames, 0, 7, 2), (std::vector<std::int16_t>{7, 8, 1, 2}));
    EXPECT_EQ(SeamFrames(frames, 6, 1, 3), (std::vector<std::int16_t>{0, 1, 2, 7, 8, 0}));
}
