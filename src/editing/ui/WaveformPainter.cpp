#include "editing/ui/WaveformPainter.h"

#include "editing/ui/QtColour.h"

#include "editing/LoopEditorModel.h"

#include <QPainter>
#include <QPolygon>

#include <algorithm>

namespace velomire::editing {

namespace {

// The waveform as runs of one pen: the line goes on through every stroke, and a run ends where
// the pen changes between inside and outside the sound.
void DrawStrokes(QPainter& painter, const WaveformStrokes& strokes, int midY, int zoom,
                 int height) {
    // The zoom stretches each value's distance from the zero line; a point beyond the picture
    // stays one pixel outside it, so lines still run to the edge.
    const auto y = [&](int y) { return std::clamp(midY + (y - midY) * zoom, -1, height); };
    const QColor inside = Colour(WaveformStrokes::waveInside);
    const QColor outside = Colour(WaveformStrokes::waveOutside);
    QPolygon run;
    run << QPoint(0, y(strokes.startY));
    bool runInside = false;
    const auto flush = [&](bool inside_) {
        if (run.size() > 1) {
            painter.setPen(inside_ ? inside : outside);
            painter.drawPolyline(run);
        }
        const QPoint last = run.last();
        run.clear();
        run << last;
    };
    for (const WaveStroke& stroke : strokes.strokes) {
        if (stroke.insideSound != runInside) {
            flush(runInside);
            runInside = stroke.insideSound;
        }
        run << QPoint(stroke.x, y(stroke.lowY)) << QPoint(stroke.x, y(stroke.highY));
    }
    flush(runInside);

    if (strokes.dots) {
        for (const WaveStroke& stroke : strokes.strokes) {
            painter.fillRect(QRect(stroke.x - 1, y(stroke.lowY) - 1, 2, 2),
                             stroke.insideSound ? inside : outside);
        }
    }
}

} // namespace

const QImage& WaveformPainter::Picture(const LoopEditorModel& model, int scale) {
    const WaveformView& view = model.View();
    if (scale < 1) {
        scale = 1;
    }
    if (view.PictureWidth() <= 0 || view.PictureHeight() <= 0) {
        picture = QImage();
        pictureScale = 0;
        return picture;
    }
    if (pictureScale != scale || pictureRevision != model.Revision() ||
        pictureWidth != view.PictureWidth() || pictureHeight != view.PictureHeight()) {
        Render(model, scale);
    }
    return picture;
}

void WaveformPainter::SetVerticalZoom(int zoom) {
    zoom = std::max(zoom, 1);
    if (zoom != verticalZoom) {
        verticalZoom = zoom;
        pictureScale = 0; // drawn again at the next request
    }
}

void WaveformPainter::Render(const LoopEditorModel& model, int scale) {
    const WaveformView& view = model.View();
    pictureWidth = view.PictureWidth();
    pictureHeight = view.PictureHeight();
    pictureRevision = model.Revision();
    pictureScale = scale;
    ++renderCount;

    picture = QImage(pictureWidth * scale, pictureHeight * scale, QImage::Format_RGB32);
    picture.setDevicePixelRatio(scale);
    picture.fill(Colour(WaveformStrokes::background));

    QPainter painter(&picture);
    // The image's device pixel ratio already maps picture pixels onto `scale` device pixels;
    // drawing without antialiasing keeps every line on whole pixels.
    painter.setRenderHint(QPainter::Antialiasing, false);

    for (const WaveBand& band : model.Bands()) {
        painter.fillRect(QRect(band.left, band.top, band.right - band.left, band.bottom - band.top),
                         Colour(WaveformStrokes::BandColour(band.colourIndex)));
    }

    painter.setPen(Colour(WaveformStrokes::zeroLine));
    painter.drawLine(0, view.MidY(), pictureWidth, view.MidY());

    painter.setPen(Colour(WaveformStrokes::guideLine));
    for (const GuideDash& dash : model.GuideDashes()) {
        painter.drawLine(dash.left, dash.y, dash.right, dash.y);
    }

    DrawStrokes(painter, model.Strokes(), view.MidY(), verticalZoom, pictureHeight);
}

} // namespace velomire::editing
