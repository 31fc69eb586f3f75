#pragma once

#include "editing/Spin.h"

#include <QAbstractSpinBox>

#include <string>

namespace velomire::editing {

// A read-only box showing a note name with up and down arrows beside it. The box holds no value
// of its own: each arrow click (or Up/Down key, or wheel notch) reports one step and the owner
// shows the resulting name.
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

protected:
    StepEnabled stepEnabled() const override { return StepUpEnabled | StepDownEnabled; }
};

} // namespace velomire::editing
