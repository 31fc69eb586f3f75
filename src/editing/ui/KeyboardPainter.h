#pragma once

#include "editing/KeyboardGeometry.h"

#include <QImage>

#include <vector>

namespace velomire::editing {

// Draws the Sample Editor's keyboard picture (61 white keys C0..G8 with their black keys, 489 by
// 47 picture pixels as KeyboardGeometry measures them) with the dots of a key range, and keeps the
// image until the dots or the scale change, so repainting an unchanged keyboard draws nothing.
class KeyboardPainter {
public:
    // The dots to draw from now on; false (and the cached image kept) when they are the same.
    bool SetMarks(std::vector<KeyMark> marks);
    const std::vector<KeyMark>& Marks() const { return marks; }

    // The picture at `scale` device pixels per picture pixel (at least 1), its device pixel
    // ratio set to the scale so that it covers 489 by 47 logical pixels.
    const QImage& Picture(int scale);

    // How many times the picture has been drawn (not taken from the cache).
    int RenderCount() const { return renderCount; }

private:
    void Render(int scale);

    std::vector<KeyMark> marks;
    QImage picture;
    int pictureScale = 0; // 0 = nothing drawn yet or the marks changed since
    int renderCount = 0;
};

} // namespace velomire::editing
