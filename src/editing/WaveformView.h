#pragma once

#include <cstdint>
#include <optional>

namespace velomire::editing {

// Requests of the waveform's horizontal scroll bar.
enum class ScrollRequest {
    lineLeft,
    lineRight,
    pageLeft,
    pageRight,
    thumbPosition,
    thumbTrack,
    other
};

// Which frames of the Loop Editor's mono track the waveform picture shows, and the mapping
// between frames and the picture's own pixels (origin at its client area's top-left corner).
// Frames count from the first frame of the file; the view always lies inside 0..frameCount - 1.
// The scroll bar runs 0..32767 whatever the length of the sample.
class WaveformView {
public:
    static constexpr int thumbMax = 32767;

    WaveformView() = default;
    // Shows all frames, thumb at 0.
    WaveformView(std::int64_t frameCount, int pictureWidth, int pictureHeight);

    // The picture's client size in pixels; every pixel formula uses it (width is the right edge).
    void SetPictureSize(int width, int height);

    std::int64_t FrameCount() const { return frameCount; }
    std::int64_t ViewStart() const { return viewStart; } // first frame shown
    std::int64_t ViewEnd() const { return viewEnd; }     // last frame shown (inclusive)
    int PictureWidth() const { return width; }
    int PictureHeight() const { return height; }
    int MidY() const { return height / 2; } // the zero line
    // The largest possible viewStart for the current width of the view.
    std::int64_t ScrollMax() const { return frameCount - (viewEnd - viewStart + 1); }
    // Pixels per frame, single precision: (width - 1) / (viewEnd - viewStart); 0 while the view
    // is one frame wide.
    float XScale() const;
    // The scroll bar's thumb, 0..32767.
    int Thumb() const { return thumb; }

    // The picture column of the frame `offset` frames after viewStart: truncation of
    // offset x XScale, in single precision. May lie outside the picture for frames outside the
    // view; kept within +-2^30 so it always fits an int.
    int ColumnOfOffset(std::int64_t offset) const;
    int ColumnOfFrame(std::int64_t frame) const { return ColumnOfOffset(frame - viewStart); }

    // The frame under a picture pixel, for the editor's mouse clicks: viewStart + truncation of
    // x / width x (viewEnd - viewStart). None outside the click area, which leaves out the last
    // column and the last row of the picture.
    std::optional<std::int64_t> FrameAtPixel(int x, int y) const;

    // A quarter of the width off each side; once the view is less than 4 frames wide it stays.
    void ZoomIn();
    // Half the width added on each side, within the sample.
    void ZoomOut();
    void ZoomAll();
    // Shows first..last, only when first < last and both lie inside the sample; returns whether
    // it did.
    bool ZoomTo(std::int64_t first, std::int64_t last);
    // Moves the thumb by the request (position is the one carried by thumb requests) and the view
    // with it, keeping the view's width.
    void Scroll(ScrollRequest request, int position = 0);

private:
    // The thumb for the current view, after every change of it.
    void PlaceThumb();

    std::int64_t frameCount = 0;
    std::int64_t viewStart = 0;
    std::int64_t viewEnd = -1;
    int width = 0;
    int height = 0;
    int thumb = 0;
};

} // namespace velomire::editing
