#include "editing/ui/KeyboardWidget.h"

#include <QEvent>
#include <QMouseEvent>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace velomire::editing {

namespace {

constexpr int octaveCount = 9; // C0..C8 start an octave; G8 ends the last, short one
constexpr int digitGap = 2;    // logical pixels between the digits and the picture

} // namespace

KeyboardWidget::KeyboardWidget(QWidget* parent) : QWidget(parent) {
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void KeyboardWidget::ShowKeys(int lowKey, int highKey, int pitch) {
    if (painter.SetMarks(KeyboardGeometry::KeyMarks(lowKey, highKey, pitch))) {
        update();
    }
}

int KeyboardWidget::DigitsHeight() const {
    return fontMetrics().height() + digitGap;
}

QPoint KeyboardWidget::PictureOrigin() const {
    return {0, DigitsHeight()};
}

QSize KeyboardWidget::sizeHint() const {
    return {KeyboardGeometry::pictureWidth, DigitsHeight() + KeyboardGeometry::pictureHeight};
}

void KeyboardWidget::paintEvent(QPaintEvent* /*event*/) {
    QPainter out(this);
    // Drawn at whole device pixels per picture pixel; a fractional ratio scales that down.
    const int scale = std::max(1, static_cast<int>(std::ceil(devicePixelRatioF())));
    out.setRenderHint(QPainter::SmoothPixmapTransform, scale != devicePixelRatioF());
    out.drawImage(PictureOrigin(), painter.Picture(scale));

    // Each octave's digit stands centred over its C key.
    out.setPen(palette().color(QPalette::WindowText));
    const int textHeight = fontMetrics().height();
    for (int octave = 0; octave < octaveCount; ++octave) {
        const int centre =
            1 + octave * KeyboardGeometry::octaveWidth + KeyboardGeometry::whiteKeyWidth / 2;
        const QRect box(centre - KeyboardGeometry::whiteKeyWidth, 0,
                        2 * KeyboardGeometry::whiteKeyWidth, textHeight);
        out.drawText(box, Qt::AlignHCenter | Qt::AlignBottom, QString::number(octave));
    }
}

void KeyboardWidget::mousePressEvent(QMouseEvent* event) {
    const QPointF position = event->position();
    const QPoint origin = PictureOrigin();
    const auto note = KeyboardGeometry::KeyAtPicturePoint(
        static_cast<int>(std::floor(position.x())) - origin.x(),
        static_cast<int>(std::floor(position.y())) - origin.y());
    if (note && event->button() == Qt::LeftButton) {
        emit lowKeyPicked(*note);
    } else if (note && event->button() == Qt::RightButton) {
        emit highKeyPicked(*note);
    }
    QWidget::mousePressEvent(event);
}

void KeyboardWidget::changeEvent(QEvent* event) {
    // The digits' line follows the font.
    if (event->type() == QEvent::FontChange) {
        updateGeometry();
    }
    QWidget::changeEvent(event);
}

} // namespace velomire::editing
