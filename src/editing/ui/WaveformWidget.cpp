#include "editing/ui/WaveformWidget.h"

#include "editing/LoopEditorModel.h"

#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

namespace velomire::editing {

WaveformWidget::WaveformWidget(LoopEditorModel& model, QWidget* parent)
    : QWidget(parent), model(model) {
    setMinimumSize(minimumPictureWidth, pictureHeight);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setFixedHeight(pictureHeight);
    // Every pixel is painted from the cached picture.
    setAttribute(Qt::WA_OpaquePaintEvent);
}

QSize WaveformWidget::sizeHint() const {
    return {minimumPictureWidth, pictureHeight};
}

void WaveformWidget::SetCursorColumn(std::optional<int> column) {
    if (column == cursorColumn) {
        return;
    }
    if (cursorColumn) {
        update(*cursorColumn, 0, 1, height());
    }
    cursorColumn = column;
    if (cursorColumn) {
        update(*cursorColumn, 0, 1, height());
    }
}

void WaveformWidget::paintEvent(QPaintEvent* event) {
    const int scale = std::max(1, static_cast<int>(std::ceil(devicePixelRatioF())));
    QPainter out(this);
    const QImage& picture = painter.Picture(model, scale);
    if (picture.isNull()) {
        out.fillRect(event->rect(), Qt::black);
        return;
    }
    const QRect area = event->rect();
    out.drawImage(area, picture, QRect(area.topLeft() * scale, area.size() * scale));
    if (cursorColumn && area.intersects(QRect(*cursorColumn, 0, 1, height()))) {
        // Inverting keeps the waveform beneath readable and needs no redraw to take it away.
        out.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
        out.fillRect(QRect(*cursorColumn, 0, 1, height()), Qt::white);
    }
}

void WaveformWidget::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    model.SetPictureSize(width(), height());
}

void WaveformWidget::SetVerticalZoom(int zoom) {
    zoom = std::clamp(zoom, 1, maxVerticalZoom);
    if (zoom == painter.VerticalZoom()) {
        return;
    }
    painter.SetVerticalZoom(zoom);
    update();
    emit VerticalZoomChanged(zoom);
}

void WaveformWidget::wheelEvent(QWheelEvent* event) {
    if (!(event->modifiers() & Qt::ControlModifier) || event->angleDelta().y() == 0) {
        QWidget::wheelEvent(event);
        return;
    }
    // One notch doubles or halves the height.
    const int zoom = painter.VerticalZoom();
    SetVerticalZoom(event->angleDelta().y() > 0 ? zoom * 2 : zoom / 2);
    event->accept();
}

void WaveformWidget::mousePressEvent(QMouseEvent* event) {
    const QPoint pixel = event->position().toPoint();
    bool changed = false;
    if (event->button() == Qt::LeftButton) {
        changed = model.LeftClick(pixel.x(), pixel.y());
    } else if (event->button() == Qt::RightButton) {
        changed = model.RightClick(pixel.x(), pixel.y());
    }
    if (changed) {
        update();
        emit RegionClicked();
    }
    QWidget::mousePressEvent(event);
}

} // namespace velomire::editing
