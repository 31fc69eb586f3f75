#include "editing/WaveformStrokes.h"

#include <algorithm>
#include <array>
#include <cstdlib>

namespace velomire::editing {

namespace {

bool ViewFits(std::int64_t frameCount, const WaveformView& view) {
    return view.PictureWidth() > 0 && view.ViewStart() >= 0 && view.ViewStart() <= view.ViewEnd() &&
           view.ViewEnd() < frameCount;
}

// The pen of a stroke depends only on its frame: the sound's first frame is still outside.
bool InsideSound(std::int64_t frame, std::int64_t soundStart, std::int64_t soundEnd) {
    return frame > soundStart && frame <= soundEnd;
}

WaveformStrokes Begin(const WaveformView& view, int firstValue) {
    WaveformStrokes result;
    result.dots = view.PictureWidth() > 3 * (view.ViewEnd() - view.ViewStart());
    result.startY = view.MidY() - firstValue;
    return result;
}

WaveStroke MakeStroke(const WaveformView& view, int x, DrawnRange range, std::int64_t frame,
                      std::int64_t soundStart, std::int64_t soundEnd) {
    return {x, view.MidY() - range.low, view.MidY() - range.high,
            InsideSound(frame, soundStart, soundEnd)};
}

} // namespace

WaveformStrokes WaveformStrokes::Walk(std::span<const std::int16_t> frames,
                                      const WaveformView& view, std::int64_t soundStart,
                                      std::int64_t soundEnd) {
    const auto frameCount = static_cast<std::int64_t>(frames.size());
    if (!ViewFits(frameCount, view)) {
        return {};
    }
    const std::int64_t viewStart = view.ViewStart();
    const std::int64_t span = view.ViewEnd() - viewStart;
    const auto at = [&](std::int64_t frame) {
        return Drawn(frames[static_cast<std::size_t>(frame)]);
    };

    WaveformStrokes result = Begin(view, at(viewStart));
    DrawnRange range{at(viewStart), at(viewStart)};
    int lastColumn = -1;
    for (std::int64_t i = 0; i <= span; ++i) {
        const std::int64_t frame = viewStart + i;
        const int x = view.ColumnOfOffset(i);
        const int value = at(frame);
        range.low = std::min(range.low, value);
        range.high = std::max(range.high, value);
        if (x > lastColumn) {
            result.strokes.push_back(MakeStroke(view, x, range, frame, soundStart, soundEnd));
            lastColumn = x;
            if (frame + 1 < frameCount) {
                range = {at(frame + 1), at(frame + 1)};
            }
        }
    }
    return result;
}

WaveformStrokes WaveformStrokes::FromSummary(const WaveformSummary& summary,
                                             const WaveformView& view, std::int64_t soundStart,
                                             std::int64_t soundEnd) {
    if (!ViewFits(summary.FrameCount(), view)) {
        return {};
    }
    const std::int64_t viewStart = view.ViewStart();
    const std::int64_t span = view.ViewEnd() - viewStart;

    // Column of offset i never decreases with i (single-precision products of a positive scale
    // keep their order), so the stroke frames, the first frame of each new column, can be found by
    // bisection. Each stroke spans the frames after the previous stroke's frame up to its own.
    const DrawnRange first = summary.Range(viewStart, viewStart);
    WaveformStrokes result = Begin(view, first.low);
    int column = view.ColumnOfOffset(0);
    result.strokes.push_back(MakeStroke(view, column, first, viewStart, soundStart, soundEnd));
    std::int64_t offset = 0;
    while (offset < span) {
        std::int64_t lo = offset + 1;
        std::int64_t hi = span + 1; // no further column when the search ends here
        while (lo < hi) {
            const std::int64_t mid = lo + (hi - lo) / 2;
            if (view.ColumnOfOffset(mid) > column) {
                hi = mid;
            } else {
                lo = mid + 1;
            }
        }
        if (lo > span) {
            break;
        }
        const DrawnRange range = summary.Range(viewStart + offset + 1, viewStart + lo);
        column = view.ColumnOfOffset(lo);
        result.strokes.push_back(
            MakeStroke(view, column, range, viewStart + lo, soundStart, soundEnd));
        offset = lo;
    }
    return result;
}

std::optional<WaveBand> WaveformStrokes::Band(const WaveformView& view, std::int64_t first,
                                              std::int64_t last, int k, int loopCount) {
    const int pictureRight = view.PictureWidth();
    WaveBand band;
    band.left = std::max(0, view.ColumnOfFrame(first));
    band.right = std::min(pictureRight, view.ColumnOfFrame(last));
    band.colourIndex = std::abs(k);
    band.top = 0;
    band.bottom = view.PictureHeight();
    if (k < 0) {
        if (loopCount <= 0) {
            return std::nullopt;
        }
        const int stripe = (band.bottom - band.top + 1) / loopCount;
        band.top = (band.colourIndex - 1) * stripe;
        band.bottom = band.top + stripe;
    }
    if (band.left > pictureRight || band.right < 0 || band.left >= band.right ||
        band.top >= band.bottom) {
        return std::nullopt;
    }
    return band;
}

Rgb WaveformStrokes::BandColour(int colourIndex) {
    static constexpr std::array<Rgb, 5> colours = {Rgb{255, 255, 204}, Rgb{153, 153, 255},
                                                   Rgb{153, 204, 255}, Rgb{204, 204, 255},
                                                   Rgb{255, 204, 255}};
    return colours[static_cast<std::size_t>(std::clamp(colourIndex, 0, 4))];
}

std::vector<GuideDash> WaveformStrokes::GuideDashes(const WaveformView& view) {
    std::vector<GuideDash> dashes;
    const int right = view.PictureWidth();
    for (const int y : {view.MidY() - guideOffset, view.MidY() + guideOffset}) {
        for (int x = 0; x < right; x += guideDashPitch) {
            dashes.push_back({x, std::min(x + guideDashLength, right), y});
        }
    }
    return dashes;
}

} // namespace velomire::editing
