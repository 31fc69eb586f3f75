#pragma once

#include "editing/Spin.h"

#include <QAbstractSpinBox>

#include <string>

namespace velomire::editing {

// A box showing a note name with up and down arrows beside it. The box holds no value of its own:
// each arrow click (or Up/Down key, or wheel notch) reports one step, a note name or number typed
// into it (taken with Enter or on leaving the box) reports that note, and the owner shows the
// resulting name. Text that names no note is replaced by the name shown before.
class NoteSpinBox : public QAbstractSpinBox {
    Q_OBJECT

public:
    explicit NoteSpinBox(QWidget* parent = nullptr);

    void ShowText(const std::string& text);
    QString Text() const;

    void stepBy(int steps) override;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

signals:
    void stepped(velomire::editing::Spin step);
    void typed(int note);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    StepEnabled stepEnabled() const override { return StepUpEnabled | StepDownEnabled; }

private:
    void TakeTyped();

    QString shown;
};

} // namespace velomire::editing
