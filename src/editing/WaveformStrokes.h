#pragma once

#include "editing/Rgb.h"
#include "editing/WaveformSummary.h"
#include "editing/WaveformView.h"

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace velomire::editing {

// One column of the waveform: the line goes on from the previous stroke's end to (x, lowY) and
// then up to (x, highY), spanning the lowest and highest drawn value (frame >> 8) of the frames
// gathered since the previous stroke. insideSound picks the pen: red inside the sound, dark red
// outside. When WaveformStrokes::dots is set, a 2 by 2 square (x - 1, lowY - 1)..(x + 1, lowY + 1)
// is drawn with the same pen as well.
struct WaveStroke {
    int x = 0;
    int lowY = 0;
    int highY = 0;
    bool insideSound = false;
    bool operator==(const WaveStroke&) const = default;
};

// A filled band behind the waveform, in picture pixels (right and bottom exclusive). colourIndex
// 0 is the sound, 1 to 4 the loops; see WaveformStrokes::BandColour.
struct WaveBand {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    int colourIndex = 0;
    bool operator==(const WaveBand&) const = default;
};

// One dash of a guide line, from (left, y) to (right, y).
struct GuideDash {
    int left = 0;
    int right = 0;
    int y = 0;
    bool operator==(const GuideDash&) const = default;
};

// What one redraw of the waveform picture draws, in the picture's own pixels: the strokes of the
// frames in the view, one per pixel column, exactly as a walk over every visible frame draws them
// (a stroke is made at the first frame of each new column; the frames after the last stroke's
// frame are not drawn). The line starts at (0, startY).
class WaveformStrokes {
public:
    static constexpr Rgb background{0, 0, 0};
    static constexpr Rgb waveInside{255, 51, 51};
    static constexpr Rgb waveOutside{102, 51, 51};
    static constexpr Rgb zeroLine{0, 255, 255};
    static constexpr Rgb guideLine{51, 51, 51};
    static constexpr int guideOffset = 64;     // pixels above and below the zero line
    static constexpr int guideDashLength = 10; // pixels
    static constexpr int guideDashPitch = 30;  // pixels

    int startY = 0;
    bool dots = false; // more than about three pixels per frame
    std::vector<WaveStroke> strokes;

    bool operator==(const WaveformStrokes&) const = default;

    // The reference: walks every frame of the view once. Frames are the whole track; a view that
    // does not lie inside it, or a picture without width, gives no strokes.
    static WaveformStrokes Walk(std::span<const std::int16_t> frames, const WaveformView& view,
                                std::int64_t soundStart, std::int64_t soundEnd);
    // The same strokes from the summary, in time that grows with the picture's width and the
    // logarithm of the view's length rather than with the number of frames shown.
    static WaveformStrokes FromSummary(const WaveformSummary& summary, const WaveformView& view,
                                       std::int64_t soundStart, std::int64_t soundEnd);

    // The band of frames first..last with colour k (0 sound, 1..4 loop k), full height; for
    // k = -1..-4 (loop |k| drawn in the sound's view) the |k|-th of loopCount stripes. None when
    // it lies wholly left or right of the picture or covers no pixel.
    static std::optional<WaveBand> Band(const WaveformView& view, std::int64_t first,
                                        std::int64_t last, int k, int loopCount);
    static Rgb BandColour(int colourIndex);

    // The dashes of the two guide lines, 64 pixels above and below the zero line.
    static std::vector<GuideDash> GuideDashes(const WaveformView& view);
};

} // namespace velomire::editing
