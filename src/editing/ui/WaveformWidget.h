#pragma once

#include "editing/ui/WaveformPainter.h"

#include <QWidget>

#include <optional>

namespace velomire::editing {

class LoopEditorModel;

// The Loop Editor's waveform picture. Its logical pixels are the model's picture pixels: a
// resize hands the new size to the model, a press of the left or right mouse button becomes the
// model's LeftClick or RightClick at that pixel. The picture comes from a WaveformPainter, so a
// paint without a change of the model only copies the cached image; the play cursor is a
// one-pixel column inverted over that image.
class WaveformWidget : public QWidget {
    Q_OBJECT

public:
    static constexpr int minimumPictureWidth = 800; // logical pixels
    // The drawn values span -128..127 pixels around the zero line; the rest is a margin.
    static constexpr int pictureHeight = 280; // logical pixels

    explicit WaveformWidget(LoopEditorModel& model, QWidget* parent = nullptr);

    // The play cursor's picture column, or none to hide it. Repaints only the columns that change.
    void SetCursorColumn(std::optional<int> column);
    std::optional<int> CursorColumn() const { return cursorColumn; }

    const WaveformPainter& Painter() const { return painter; }

    // Vertical zoom, 1 to maxVerticalZoom times (also Ctrl and the mouse wheel).
    static constexpr int maxVerticalZoom = 16;
    void SetVerticalZoom(int zoom);
    int VerticalZoom() const { return painter.VerticalZoom(); }

    QSize sizeHint() const override;

signals:
    // A click changed the current part's region.
    void RegionClicked();
    void VerticalZoomChanged(int zoom);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    LoopEditorModel& model;
    WaveformPainter painter;
    std::optional<int> cursorColumn;
};

} // namespace velomire::editing
