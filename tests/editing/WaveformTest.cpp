#include "editing/WaveformStrokes.h"
#include "editing/WaveformSummary.h"
#include "editing/WaveformView.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

namespace velomire::editing {
namespace {

using Frames = std::vector<std::int16_t>;

void ExpectView(const WaveformView& view, std::int64_t start, std::int64_t end) {
    EXPECT_EQ(view.ViewStart(), start);
    EXPECT_EQ(view.ViewEnd(), end);
}

TEST(WaveformView, ZoomInKeepsTheCentreAndZoomOutUndoesIt) {
    WaveformView view(1001, 600, 200);
    view.ZoomIn();
    ExpectView(view, 250, 750);
    view.ZoomOut();
    ExpectView(view, 0, 1000);
}

TEST(WaveformView, ZoomInStopsBelowFourFramesAndZoomOutStopsAtTheEnds) {
    WaveformView view(6, 600, 200);
    view.ZoomIn();
    ExpectView(view, 1, 4);
    view.ZoomIn();
    ExpectView(view, 1, 4);

    WaveformView outer(220, 600, 200);
    ASSERT_TRUE(outer.ZoomTo(100, 200));
    outer.ZoomOut();
    ExpectView(outer, 50, 219);
}

TEST(WaveformView, TheThumbFollowsTheViewAndScrollingKeepsTheWidth) {
    // 999000 frames of scroll range: one thumb step is about 30 frames.
    WaveformView view(1000000, 600, 200);
    ASSERT_TRUE(view.ZoomTo(999000, 999999));
    EXPECT_EQ(view.Thumb(), WaveformView::thumbMax);

    view.Scroll(ScrollRequest::pageLeft);
    EXPECT_LT(view.ViewStart(), 999000);
    EXPECT_EQ(view.ViewEnd() - view.ViewStart(), 999);
    const std::int64_t afterPage = view.ViewStart();
    view.Scroll(ScrollRequest::lineRight);
    EXPECT_GT(view.ViewStart(), afterPage);

    view.Scroll(ScrollRequest::thumbTrack, 0);
    ExpectView(view, 0, 999);
    EXPECT_EQ(view.Thumb(), 0);
    view.Scroll(ScrollRequest::thumbPosition, 40000); // kept within the bar
    EXPECT_LE(view.ViewEnd(), 999999);
    EXPECT_GE(view.ViewEnd(), 999990);
}

TEST(WaveformView, TheLastThumbPositionNeverShowsFramesPastTheEnd) {
    for (const std::int64_t frames : {2LL, 1000LL, 32768LL, 26460000LL, 4294967295LL}) {
        WaveformView view(frames, 1000, 200);
        view.ZoomIn();
        view.ZoomIn();
        view.Scroll(ScrollRequest::thumbTrack, WaveformView::thumbMax);
        EXPECT_LE(view.ViewEnd(), frames - 1) << frames;
        EXPECT_GE(view.ViewStart(), 0) << frames;
    }
}

TEST(WaveformView, ClicksMapThroughTheWidthAndLeaveOutTheLastColumnAndRow) {
    WaveformView view(1000, 600, 200);
    EXPECT_EQ(view.FrameAtPixel(0, 0), 0);
    EXPECT_EQ(view.FrameAtPixel(300, 100), 499);
    EXPECT_EQ(view.FrameAtPixel(598, 198), 995);
    EXPECT_EQ(view.FrameAtPixel(599, 100), std::nullopt);
    EXPECT_EQ(view.FrameAtPixel(-1, 100), std::nullopt);
    EXPECT_EQ(view.FrameAtPixel(300, 199), std::nullopt);
}

TEST(WaveformStrokes, EachColumnSpansTheFramesSinceThePreviousStroke) {
    // 9 frames on 5 pixels: columns 0,0,1,1,2,2,3,3,4; drawn values are frame >> 8.
    const Frames frames{10 << 8, 20 << 8, -5 << 8, 7 << 8, 8 << 8, 0, 1 << 8, -1 << 8, 3 << 8};
    const WaveformView view(9, 5, 100);
    const auto strokes = WaveformStrokes::Walk(frames, view, 2, 6);
    EXPECT_EQ(strokes.startY, 50 - 10);
    EXPECT_FALSE(strokes.dots);
    const std::vector<WaveStroke> expected{
        {0, 40, 40, false}, // frame 0 alone
        {1, 55, 30, false}, // frames 1..2; the sound's first frame is still outside
        {2, 43, 42, true},  // frames 3..4
        {3, 50, 49, true},  // frames 5..6; the sound's last frame is inside
        {4, 51, 47, false}, // frames 7..8
    };
    EXPECT_EQ(strokes.strokes, expected);
}

TEST(WaveformStrokes, DotsAppearAboveThreePixelsPerFrame) {
    const Frames frames(1000, 256);
    WaveformView view(1000, 600, 200);
    ASSERT_TRUE(view.ZoomTo(0, 99));
    const auto near = WaveformStrokes::Walk(frames, view, 0, 999);
    EXPECT_TRUE(near.dots);
    EXPECT_EQ(near.strokes.size(), 100u);

    ASSERT_TRUE(view.ZoomTo(0, 299));
    EXPECT_FALSE(WaveformStrokes::Walk(frames, view, 0, 999).dots);
}

// Random frames, random pictures and random views: the summary must give exactly the strokes of
// the walk over every frame, including the stretches where columns hold thousands of frames and
// where single-precision rounding makes the column steps uneven.
void ExpectSummaryMatchesWalk(const Frames& frames, std::mt19937_64& random, int views) {
    WaveformSummary summary;
    ASSERT_TRUE(summary.Build(frames));
    const auto count = static_cast<std::int64_t>(frames.size());
    auto pick = [&](std::int64_t low, std::int64_t high) {
        return std::uniform_int_distribution<std::int64_t>(low, high)(random);
    };
    for (int n = 0; n < views; ++n) {
        WaveformView view(count, static_cast<int>(pick(1, 2000)), static_cast<int>(pick(1, 300)));
        const std::int64_t first = pick(0, count - 1);
        // A quarter of the views are zoomed in to at most 51 frames, where dots and single-frame
        // columns appear.
        const std::int64_t last =
            pick(0, 3) == 0 ? pick(first, std::min(count - 1, first + 50)) : pick(first, count - 1);
        if (first < last) {
            ASSERT_TRUE(view.ZoomTo(first, last));
        }
        const std::int64_t soundStart = pick(0, count - 1);
        const std::int64_t soundEnd = pick(soundStart, count - 1);
        const auto walked = WaveformStrokes::Walk(frames, view, soundStart, soundEnd);
        const auto summarised = WaveformStrokes::FromSummary(summary, view, soundStart, soundEnd);
        ASSERT_FALSE(walked.strokes.empty());
        ASSERT_EQ(summarised, walked) << "frames " << count << " view " << view.ViewStart() << ".."
                                      << view.ViewEnd() << " width " << view.PictureWidth();
    }
}

Frames RandomFrames(std::mt19937_64& random, std::size_t count) {
    Frames frames(count);
    std::uniform_int_distribution<int> value(-32768, 32767);
    std::uniform_int_distribution<int> quiet(-300, 300);
    const bool loudAndQuiet = count % 2 == 0;
    for (std::size_t i = 0; i < count; ++i) {
        // Long quiet stretches put the extremes deep inside summary blocks, not only at edges.
        const bool useQuiet = loudAndQuiet && (i / 5000) % 2 == 0;
        frames[i] = static_cast<std::int16_t>(useQuiet ? quiet(random) : value(random));
    }
    return frames;
}

TEST(WaveformStrokes, TheSummaryDrawsExactlyWhatTheWalkDraws) {
    std::mt19937_64 random(20240611);
    for (int round = 0; round < 300; ++round) {
        const auto count = static_cast<std::size_t>(
            std::uniform_int_distribution<int>(1, round % 10 == 0 ? 300000 : 3000)(random));
        ExpectSummaryMatchesWalk(RandomFrames(random, count), random, 10);
    }
}

TEST(WaveformStrokes, TheSummaryDrawsExactlyWhatTheWalkDrawsBeyondSinglePrecisionFrames) {
    // Past 2^24 frames the frame offsets themselves round in single precision.
    std::mt19937_64 random(7);
    ExpectSummaryMatchesWalk(RandomFrames(random, (1u << 24) + 300001), random, 6);
}

TEST(WaveformStrokes, LoopBandsInTheSoundsViewShareTheHeightAndBandsStayInThePicture) {
    WaveformView view(1000, 1000, 200);
    const auto upper = WaveformStrokes::Band(view, 100, 300, -1, 2);
    const auto lower = WaveformStrokes::Band(view, 500, 700, -2, 2);
    ASSERT_TRUE(upper && lower);
    EXPECT_EQ(*upper, (WaveBand{100, 0, 300, 100, 1}));
    EXPECT_EQ(*lower, (WaveBand{500, 100, 700, 200, 2}));

    ASSERT_TRUE(view.ZoomTo(400, 600));
    EXPECT_EQ(WaveformStrokes::Band(view, 0, 5000, 0, 0), (WaveBand{0, 0, 1000, 200, 0}));
    EXPECT_EQ(WaveformStrokes::Band(view, 0, 300, 1, 0), std::nullopt);
    EXPECT_EQ(WaveformStrokes::Band(view, 700, 900, 1, 0), std::nullopt);
    EXPECT_EQ(WaveformStrokes::BandColour(0), (Rgb{255, 255, 204}));
    EXPECT_EQ(WaveformStrokes::BandColour(4), (Rgb{255, 204, 255}));
}

} // namespace
} // namespace velomire::editing
