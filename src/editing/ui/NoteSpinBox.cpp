#include "editing/ui/NoteSpinBox.h"

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
    lineEdit()->setReadOnly(true);
    lineEdit()->setMaxLength(maxTextLength);
    setAlignment(Qt::AlignCenter);
    // The box is never typed into, so there is no text to interpret while it changes.
    setKeyboardTracking(false);
    setAccelerated(false);
}

void NoteSpinBox::ShowText(const std::string& text) {
    lineEdit()->setText(QString::fromStdString(text));
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
