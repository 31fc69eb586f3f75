#include "ui/FileDialogs.h"

#include "program/UserMessages.h"
#include "ui/QtText.h"

#include <QDir>
#include <QFileDialog>
#include <QMessageBox>

namespace velomire::app {

QString QtFileDialogs::OpenFileName(const QString& title, const QString& filter) {
    QFileDialog dialog(parent, title, QDir::currentPath(), filter);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setOption(QFileDialog::ReadOnly, false);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return {};
    }
    return dialog.selectedFiles().constFirst();
}

QString QtFileDialogs::SaveFileName(const QString& title, const QString& filter,
                                    const QString& proposal, const QString& suffix) {
    QFileDialog dialog(parent, title, proposal.isEmpty() ? QDir::currentPath() : proposal, filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix(suffix);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
        return {};
    }
    return dialog.selectedFiles().constFirst();
}

FileDialogs::SaveAnswer QtFileDialogs::AskToSave(const QString& documentTitle) {
    const auto button = QMessageBox::question(
        parent, FromStd(program::appCaption),
        QStringLiteral("Save changes to %1?").arg(documentTitle),
        QMessageBox::Save | QMessageBox::Discard | QMessageBox::Cancel, QMessageBox::Save);
    switch (button) {
    case QMessageBox::Save:
        return SaveAnswer::save;
    case QMessageBox::Discard:
        return SaveAnswer::discard;
    default:
        return SaveAnswer::cancel;
    }
}

} // namespace velomire::app
