#pragma once

#include "editing/ui/KeyboardPainter.h"

#include <QPoint>
#include <QWidget>

namespace velomire::editing {

// The Sample Editor's keyboard: a line of octave digits ("0" over C0 ... "8" over C8) above the
// drawn keyboard picture (489 by 47 logical pixels, drawn at the screen's whole-number device
// pixel ratio). A left press on a key reports it as the low key, a right press as the high key;
// presses on the picture's border or off the keys report nothing.
class KeyboardWidget : public QWidget {
    Q_OBJECT

public:
    explicit KeyboardWidget(QWidget* parent = nullptr);

    // Shows the dots of the range lowKey..highKey, the pitch in red (note numbers).
    void ShowKeys(int lowKey, int highKey, int pitch);

    // Where the picture's top-left corner lies in this widget (logical pixels).
    QPoint PictureOrigin() const;

    const KeyboardPainter& Painter() const { return painter; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

signals:
    void lowKeyPicked(int note);
    void highKeyPicked(int note);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    int DigitsHeight() const;

    KeyboardPainter painter;
};

} // namespace velomire::editing
