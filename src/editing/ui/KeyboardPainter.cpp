#include "editing/ui/KeyboardPainter.h"

#include "editing/ui/QtColour.h"

#include <QLinearGradient>
#include <QPainter>

#include <algorithm>
#include <utility>

namespace velomire::editing {

namespace {

using Geometry = KeyboardGeometry;

// Picture rows (pixels) of the keys: row 0 and the last row are the frame; the black keys reach
// down to the last row of the upper part, where a click still means the black key.
constexpr int keyTop = 1;
constexpr int keyBottom = Geometry::pictureHeight - 2;
constexpr int blackTop = keyTop;
constexpr int blackBottom = Geometry::blackKeyBottom;
// A black key is 7 pixels wide, centred on the border column of the two white keys it lies
// between, so a dot (5 pixels) keeps one black pixel on either side.
constexpr int blackHalfWidth = 3;

const QColor frameColour(60, 60, 60);
const QColor borderColour(140, 140, 140);
const QColor whiteTop(255, 255, 255);
const QColor whiteBottom(228, 228, 224);
const QColor blackBody(28, 28, 30);
const QColor blackLip(78, 78, 82);

// Whether a black key lies at the right border of white key `white` (after C, D, F, G and A).
bool BlackKeyAfter(int white) {
    const int inOctave = white % 7;
    return inOctave != 2 && inOctave != 6 && white < Geometry::whiteKeyCount - 1;
}

// Fills picture pixels x..x+width-1, y..y+height-1 at `scale` device pixels per picture pixel.
void Fill(QPainter& painter, int scale, int x, int y, int width, int height, const QBrush& brush) {
    painter.fillRect(QRect(x * scale, y * scale, width * scale, height * scale), brush);
}

void DrawKeys(QPainter& painter, int scale) {
    Fill(painter, scale, 0, 0, Geometry::pictureWidth, Geometry::pictureHeight, frameColour);

    QLinearGradient ivory(0, keyTop * scale, 0, (keyBottom + 1) * scale);
    ivory.setColorAt(0.0, whiteTop);
    ivory.setColorAt(0.7, whiteTop);
    ivory.setColorAt(1.0, whiteBottom);
    const int keyHeight = keyBottom - keyTop + 1;
    for (int white = 0; white < Geometry::whiteKeyCount; ++white) {
        // The key's last column is its border with the next key (the frame after the last key).
        const int left = 1 + white * Geometry::whiteKeyWidth;
        Fill(painter, scale, left, keyTop, Geometry::whiteKeyWidth - 1, keyHeight, ivory);
        if (white < Geometry::whiteKeyCount - 1) {
            Fill(painter, scale, left + Geometry::whiteKeyWidth - 1, keyTop, 1, keyHeight,
                 borderColour);
        }
    }

    const int blackWidth = 2 * blackHalfWidth + 1;
    for (int white = 0; white < Geometry::whiteKeyCount; ++white) {
        if (!BlackKeyAfter(white)) {
            continue;
        }
        const int border = (white + 1) * Geometry::whiteKeyWidth;
        const int left = border - blackHalfWidth;
        Fill(painter, scale, left, blackTop, blackWidth, blackBottom - blackTop + 1, blackBody);
        // A lighter front edge just above the key's end, so it reads as raised.
        Fill(painter, scale, left + 1, blackBottom - 2, blackWidth - 2, 1, blackLip);
    }
}

void DrawMarks(QPainter& painter, int scale, const std::vector<KeyMark>& marks) {
    QPen outline(Colour(Geometry::markOutline));
    if (scale == 1) {
        // At one device pixel per picture pixel an aliased 1-pixel outline fills exactly the
        // 5 by 8 pixels of each dot; smoothing would blur such small dots.
        outline.setWidth(0);
        painter.setRenderHint(QPainter::Antialiasing, false);
    } else {
        outline.setWidth(scale);
        painter.setRenderHint(QPainter::Antialiasing, true);
    }
    painter.setPen(outline);
    for (const KeyMark& mark : marks) {
        painter.setBrush(Colour(mark.fill));
        if (scale == 1) {
            painter.drawEllipse(
                QRect(mark.left, mark.top, mark.right - mark.left - 1, mark.bottom - mark.top - 1));
        } else {
            // The pen is centred on the path: inset by half its width to stay inside the dot.
            const double half = scale / 2.0;
            painter.drawEllipse(QRectF(mark.left * scale + half, mark.top * scale + half,
                                       (mark.right - mark.left) * scale - scale,
                                       (mark.bottom - mark.top) * scale - scale));
        }
    }
}

} // namespace

bool KeyboardPainter::SetMarks(std::vector<KeyMark> newMarks) {
    if (newMarks == marks) {
        return false;
    }
    marks = std::move(newMarks);
    pictureScale = 0;
    return true;
}

const QImage& KeyboardPainter::Picture(int scale) {
    scale = std::max(scale, 1);
    if (scale != pictureScale) {
        Render(scale);
    }
    return picture;
}

void KeyboardPainter::Render(int scale) {
    picture = QImage(Geometry::pictureWidth * scale, Geometry::pictureHeight * scale,
                     QImage::Format_ARGB32_Premultiplied);
    {
        QPainter painter(&picture);
        DrawKeys(painter, scale);
        DrawMarks(painter, scale, marks);
    }
    // Set after drawing, so that the drawing above counts device pixels.
    picture.setDevicePixelRatio(scale);
    pictureScale = scale;
    ++renderCount;
}

} // namespace velomire::editing
