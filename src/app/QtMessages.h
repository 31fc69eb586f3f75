#pragma once

#include "program/UserMessages.h"

#include <QPointer>
#include <QWidget>

namespace velomire::app {

// The core's messages as plain message boxes with an OK button: the text as it stands and the
// caption as the window title, modal over the main window.
class QtMessages : public program::UserMessages {
public:
    explicit QtMessages(QWidget* parent = nullptr) : parent(parent) {}
    void SetParent(QWidget* window) { parent = window; }
    void Show(std::string_view text, std::string_view caption) override;

private:
    QPointer<QWidget> parent;
};

} // namespace velomire::app
