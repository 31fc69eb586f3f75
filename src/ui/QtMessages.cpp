#include "ui/QtMessages.h"

#include <QMessageBox>

namespace velomire::app {
namespace {

QString FromView(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

} // namespace

void QtMessages::Show(std::string_view text, std::string_view caption) {
    QMessageBox box(QMessageBox::NoIcon, FromView(caption), FromView(text), QMessageBox::Ok,
                    parent);
    box.exec();
}

} // namespace velomire::app
