#include "editing/ui/SeamWidget.h"

#include <QPainter>
#include <QPolygonF>

#include <algorithm>
#include <cstdlib>

namespace velomire::editing {

SeamWidget::SeamWidget(QWidget* parent) : QWidget(parent) {
    setFixedSize(sizeHint());
    setToolTip(QStringLiteral("The loop's seam: its last frames joined to its first"));
}

QSize SeamWidget::sizeHint() const {
    return {2 * halfFrames * pixelsPerFrame, 96};
}

void SeamWidget::SetFrames(std::vector<std::int16_t> newFrames) {
    if (newFrames == frames) {
        return;
    }
    frames = std::move(newFrames);
    update();
}

void SeamWidget::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), Qt::black);
    const double mid = height() / 2.0;
    painter.setPen(QColor(0, 96, 0));
    painter.drawLine(QPointF(0, mid), QPointF(width(), mid));
    if (frames.empty()) {
        return;
    }
    const int join = static_cast<int>(frames.size() / 2) * pixelsPerFrame;
    painter.setPen(QColor(160, 160, 160));
    painter.drawLine(join, 0, join, height());

    int peak = 1;
    for (const std::int16_t value : frames) {
        peak = std::max(peak, std::abs(int{value}));
    }
    const double scale = (mid - 4) / peak;
    QPolygonF wave;
    for (std::size_t i = 0; i < frames.size(); ++i) {
        wave << QPointF(static_cast<double>(i) * pixelsPerFrame + 0.5, mid - frames[i] * scale);
    }
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(0, 255, 0), 1.5));
    painter.drawPolyline(wave);
}

} // namespace velomire::editing
