#pragma once

#include <QImage>

#include <cstdint>

namespace velomire::editing {

class LoopEditorModel;

// Draws the Loop Editor's waveform picture from the model (bands, zero line, guide dashes and
// strokes, in the model's picture pixels) and keeps the image while the model's revision, the
// picture size and the scale stay the same, so repainting an unchanged picture (a moving play
// cursor, an uncovered window) draws nothing.
class WaveformPainter {
public:
    // The picture at `scale` device pixels per picture pixel (at least 1), its device pixel
    // ratio set to the scale so that it covers the picture's size in logical pixels. An empty
    // image while the picture has no size.
    const QImage& Picture(const LoopEditorModel& model, int scale);

    // The waveform drawn `zoom` times taller around the zero line (1 = as the model gives it;
    // what leaves the picture is cut off). Only the drawing changes: frames and columns stay.
    void SetVerticalZoom(int zoom);
    int VerticalZoom() const { return verticalZoom; }

    // How many times the picture has been drawn (not taken from the cache).
    int RenderCount() const { return renderCount; }

private:
    void Render(const LoopEditorModel& model, int scale);

    QImage picture;
    std::uint64_t pictureRevision = 0;
    int pictureWidth = 0;
    int pictureHeight = 0;
    int pictureScale = 0; // 0 = nothing drawn yet
    int verticalZoom = 1;
    int renderCount = 0;
};

} // namespace velomire::editing
