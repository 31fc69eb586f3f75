#include "editing/ui/LoopEditorPictures.h"

#include "editing/ui/QtColour.h"

#include "editing/WaveformStrokes.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

#include <cmath>
#include <functional>
#include <numbers>

namespace velomire::editing {

namespace {

constexpr QSize partSize(40, 24);   // logical pixels
constexpr QSize playerSize(16, 16); // logical pixels

QIcon Draw(QSize size, const std::function<void(QPainter&)>& draw) {
    QIcon icon;
    for (const int scale : {1, 2}) {
        QPixmap pixmap(size * scale);
        pixmap.setDevicePixelRatio(scale);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        draw(painter);
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

// A decaying tone over the picture's width, red where it lies inside [bandLeft, bandRight).
void DrawTone(QPainter& painter, const QRectF& area, qreal bandLeft, qreal bandRight) {
    const qreal midY = area.center().y();
    const qreal amplitude = area.height() * 0.42;
    QPainterPath inside;
    QPainterPath outside;
    bool started[2] = {false, false};
    for (qreal x = area.left(); x <= area.right(); x += 0.5) {
        const qreal t = (x - area.left()) / area.width();
        const qreal y =
            midY - amplitude * std::exp(-1.6 * t) * std::sin(t * 9.0 * std::numbers::pi);
        const bool in = x >= bandLeft && x < bandRight;
        QPainterPath& path = in ? inside : outside;
        if (!started[in]) {
            path.moveTo(x, y);
            started[in] = true;
        } else {
            path.lineTo(x, y);
        }
        // The other path starts again where this one is, so the two join without a gap.
        QPainterPath& other = in ? outside : inside;
        other.moveTo(x, y);
    }
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(Colour(WaveformStrokes::waveOutside), 1.2));
    painter.drawPath(outside);
    painter.setPen(QPen(Colour(WaveformStrokes::waveInside), 1.2));
    painter.drawPath(inside);
}

// A round arrow turning clockwise, centred on `centre`.
void DrawLoopArrow(QPainter& painter, QPointF centre, qreal radius) {
    const QColor ink(40, 40, 90);
    const QRectF circle(centre.x() - radius, centre.y() - radius, radius * 2, radius * 2);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(ink, 1.6, Qt::SolidLine, Qt::RoundCap));
    // Qt's angles run counter-clockwise from three o'clock, in 1/16 degree.
    painter.drawArc(circle, 120 * 16, 300 * 16);
    // The head sits at the arc's clockwise end (120 degrees), pointing along the turn.
    const qreal angle = 120.0 * std::numbers::pi / 180.0;
    const QPointF tip(centre.x() + radius * std::cos(angle), centre.y() - radius * std::sin(angle));
    QPainterPath head;
    head.moveTo(tip + QPointF(3.2, -0.6));
    head.lineTo(tip + QPointF(-0.6, -2.6));
    head.lineTo(tip + QPointF(0.4, 2.2));
    head.closeSubpath();
    painter.setPen(Qt::NoPen);
    painter.setBrush(ink);
    painter.drawPath(head);
}

} // namespace

QIcon PartPicture(int part) {
    return Draw(partSize, [part](QPainter& painter) {
        const QRectF frame(0.5, 0.5, partSize.width() - 1.0, partSize.height() - 1.0);
        painter.setPen(QPen(QColor(110, 110, 110), 1.0));
        painter.setBrush(Colour(WaveformStrokes::background));
        painter.drawRoundedRect(frame, 3, 3);

        // The sound covers most of the picture; a loop lies near its end, as loops usually do.
        const QRectF inner = frame.adjusted(1.5, 1.5, -1.5, -1.5);
        const qreal bandLeft = inner.left() + inner.width() * (part == 0 ? 0.18 : 0.48);
        const qreal bandRight = inner.left() + inner.width() * (part == 0 ? 0.86 : 0.90);
        painter.setPen(Qt::NoPen);
        painter.setBrush(Colour(WaveformStrokes::BandColour(part)));
        painter.drawRect(QRectF(bandLeft, inner.top(), bandRight - bandLeft, inner.height()));

        painter.setPen(QPen(Colour(WaveformStrokes::zeroLine), 0.8));
        painter.drawLine(QPointF(inner.left(), inner.center().y()),
                         QPointF(inner.right(), inner.center().y()));
        DrawTone(painter, inner, bandLeft, bandRight);
        if (part > 0) {
            DrawLoopArrow(painter, QPointF((bandLeft + bandRight) / 2, inner.center().y()),
                          inner.height() * 0.30);
        }
    });
}

QIcon PlayPicture() {
    return Draw(playerSize, [](QPainter& painter) {
        QPainterPath triangle;
        triangle.moveTo(3.5, 2.0);
        triangle.lineTo(13.5, 8.0);
        triangle.lineTo(3.5, 14.0);
        triangle.closeSubpath();
        painter.setPen(QPen(QColor(30, 100, 40), 1.0));
        painter.setBrush(QColor(60, 170, 75));
        painter.drawPath(triangle);
    });
}

QIcon StopPicture() {
    return Draw(playerSize, [](QPainter& painter) {
        painter.setPen(QPen(QColor(120, 30, 30), 1.0));
        painter.setBrush(QColor(200, 60, 60));
        painter.drawRoundedRect(QRectF(3.5, 3.5, 9.0, 9.0), 1.5, 1.5);
    });
}

} // namespace velomire::editing
