#include "app/QtMessages.h"

#include "ui/QtText.h"

#include <QMessageBox>

namespace velomire::app {
void QtMessages::Show(std::string_view text, std::string_view caption) {
    QMessageBox box(QMessageBox::NoIcon, FromStd(caption), FromStd(text), QMessageBox::Ok, parent);
    box.exec();
}

} // namespace velomire::app
