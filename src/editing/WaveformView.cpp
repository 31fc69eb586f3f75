#include "editing/WaveformView.h"

#include <algorithm>
#include <cmath>

namespace velomire::editing {

namespace {

// Thumb steps of the scroll requests. Each move goes through the truncating thumb -> frame ->
// thumb round trip, which loses up to one step, hence the uneven values.
constexpr int lineRightStep = 2;
constexpr int pageLeftStep = -19;
constexpr int pageRightStep = 21;
// 1 / 32767 in single precision; it lies just below the exact value, so the last thumb position
// stops a little short of the end.
constexpr float thumbToFraction = 3.0518509e-5f;
// Columns far outside the picture only need to stay outside it.
constexpr float columnLimit = 1073741824.0f; // 2^30

} // namespace

WaveformView::WaveformView(std::int64_t frameCount, int pictureWidth, int pictureHeight)
    : frameCount(std::max<std::int64_t>(frameCount, 0)), viewStart(0),
      viewEnd(this->frameCount - 1), width(pictureWidth), height(pictureHeight) {}

void WaveformView::SetPictureSize(int pictureWidth, int pictureHeight) {
    width = pictureWidth;
    height = pictureHeight;
}

float WaveformView::XScale() const {
    if (viewEnd <= viewStart) {
        return 0.0f;
    }
    return static_cast<float>(width - 1) / static_cast<float>(viewEnd - viewStart);
}

int WaveformView::ColumnOfOffset(std::int64_t offset) const {
    const float column = static_cast<float>(offset) * XScale();
    return static_cast<int>(std::clamp(column, -columnLimit, columnLimit));
}

std::optional<std::int64_t> WaveformView::FrameAtPixel(int x, int y) const {
    if (x <= -1 || x >= width - 1 || y <= -1 || y >= height - 1) {
        return std::nullopt;
    }
    const double offset = static_cast<double>(x) / width * static_cast<double>(viewEnd - viewStart);
    return viewStart + static_cast<std::int64_t>(offset);
}

void WaveformView::ZoomIn() {
    const std::int64_t d = (viewEnd - viewStart) / 4;
    viewStart += d;
    viewEnd -= d;
    PlaceThumb();
}

void WaveformView::ZoomOut() {
    const std::int64_t d = (viewEnd - viewStart) / 2;
    viewEnd = std::min(viewEnd + d, frameCount - 1);
    viewStart = std::max<std::int64_t>(viewStart - d, 0);
    PlaceThumb();
}

void WaveformView::ZoomAll() {
    viewStart = 0;
    viewEnd = frameCount - 1;
    PlaceThumb();
}

bool WaveformView::ZoomTo(std::int64_t first, std::int64_t last) {
    if (first >= last || first < 0 || last > frameCount - 1) {
        return false;
    }
    viewStart = first;
    viewEnd = last;
    PlaceThumb();
    return true;
}

void WaveformView::Scroll(ScrollRequest request, int position) {
    int p = thumb;
    switch (request) {
    case ScrollRequest::lineLeft:
        break;
    case ScrollRequest::lineRight:
        p += lineRightStep;
        break;
    case ScrollRequest::pageLeft:
        p += pageLeftStep;
        break;
    case ScrollRequest::pageRight:
        p += pageRightStep;
        break;
    case ScrollRequest::thumbPosition:
    case ScrollRequest::thumbTrack:
        p = position;
        break;
    case ScrollRequest::other:
        break;
    }
    p = std::clamp(p, 0, thumbMax);

    const std::int64_t viewWidth = viewEnd - viewStart + 1;
    const std::int64_t scrollMax = ScrollMax();
    const double start = static_cast<double>(p) * static_cast<double>(scrollMax) *
                         static_cast<double>(thumbToFraction);
    // The product is computed in double so that long samples keep their precision; the clamp
    // keeps the view inside the sample whatever the rounding.
    viewStart = std::clamp<std::int64_t>(static_cast<std::int64_t>(start), 0, scrollMax);
    viewEnd = viewStart + viewWidth - 1;
    PlaceThumb();
}

void WaveformView::PlaceThumb() {
    const std::int64_t scrollMax = ScrollMax();
    if (scrollMax <= 0) {
        thumb = 0;
        return;
    }
    const double fraction = static_cast<double>(viewStart) / static_cast<double>(scrollMax);
    thumb = std::clamp(static_cast<int>(fraction * thumbMax), 0, thumbMax);
}

} // namespace velomire::editing
