#include "editing/ui/NoteSpinBox.h"

#include "editing/NoteName.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QStyle>
#include <QStyleOptionSpinBox>

namespace velomire::editing {

namespace {

// The widest name the box must show whole: a note a file from elsewhere holds far below C0.
constexpr int maxTextLength = 8; // characters
const QString widestText = QStringLiteral("C#-10");

} // namespace

NoteSpinBox::NoteSpinBox(QWidget* parent) : QAbstractSpinBox(parent) {
    lineEdit()->setMaxLength(maxTextLength);
    setAlignment(Qt::AlignCenter);
    // Typed text is read once, when it is finished.
    setKeyboardTracking(false);
    setAccelerated(false);
    connect(this, &QAbstractSpinBox::editingFinished, this, &NoteSpinBox::TakeTyped);
}

void NoteSpinBox::ShowText(const std::string& text) {
    shown = QString::fromStdString(text);
    lineEdit()->setText(shown);
}

void NoteSpinBox::TakeTyped() {
    const QString text = lineEdit()->text();
    if (text == shown) {
        return;
    }
    const auto note = ParseNoteName(text.toStdString());
    if (!note) {
        lineEdit()->setText(shown);
        return;
    }
    emit typed(*note);
}

void NoteSpinBox::keyPressEvent(QKeyEvent* event) {
    // Enter takes the typed note and stays in the box; it does not close the dialog.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        TakeTyped();
        lineEdit()->selectAll();
        event->accept();
        return;
    }
    QAbstractSpinBox::keyPressEvent(event);
}

QString NoteSpinBox::Text() const {
    return lineEdit()->text();
}

void NoteSpinBox::stepBy(int steps) {
    // One click is one step whatever the size of the request (Page Up asks for ten).
    if (steps != 0) {
        emit stepped(steps > 0 ? Spin::up : Spin::down);
    }
}

QSize NoteSpinBox::sizeHint() const {
    ensurePolished();
    QStyleOptionSpinBox option;
    initStyleOption(&option);
    const QFontMetrics metrics = fontMetrics();
    // Room for the text, the cursor and a little air on both sides of the centred name.
    const QSize text(metrics.horizontalAdvance(widestText) + 2 * metrics.averageCharWidth(),
                     lineEdit()->sizeHint().height());
    return style()->sizeFromContents(QStyle::CT_SpinBox, &option, text, this);
}

} // namespace velomire::editing
