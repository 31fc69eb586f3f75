#include "app/FileDialogs.h"

#include "instrument/ui/ImportInstrumentDlg.h"
#include "program/UserMessages.h"
#include "ui/QtText.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFormLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

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

QString QtFileDialogs::FolderName(const QString& title, const QString& from) {
    return QFileDialog::getExistingDirectory(parent, title, from);
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

std::optional<program::ConvertOptions>
QtFileDialogs::AskToConvert(const QStringList& files, const program::ConvertOptions& proposal) {
    QDialog dialog(parent);
    dialog.setWindowTitle(QStringLiteral("Convert Samples"));
    auto* layout = new QVBoxLayout(&dialog);
    const int shown = 10;
    QString list = files.mid(0, shown).join(QLatin1Char('\n'));
    if (files.size() > shown) {
        list += QStringLiteral("\n... and %1 more").arg(files.size() - shown);
    }
    layout->addWidget(new QLabel(
        QStringLiteral("%1 not 16-bit WAV, or at a rate the sampler plays off pitch:\n%2\n\n"
                       "Convert into 16-bit WAV files beside the originals? The originals are "
                       "left as they are.")
            .arg(files.size() == 1 ? QStringLiteral("This file is")
                                   : QStringLiteral("These %1 files are").arg(files.size()),
                 list),
        &dialog));

    auto* form = new QFormLayout;
    auto* rate = new QComboBox(&dialog);
    rate->addItem(QStringLiteral("Keep the rate"), static_cast<int>(program::TargetRate::keep));
    rate->addItem(QStringLiteral("44100 Hz (S1000 family)"),
                  static_cast<int>(program::TargetRate::rate44100));
    rate->addItem(QStringLiteral("22050 Hz (S1000 family)"),
                  static_cast<int>(program::TargetRate::rate22050));
    rate->addItem(QStringLiteral("Nearest rate of the S900/S950 (%1 to %2 Hz)")
                      .arg(program::s900LowestRate)
                      .arg(program::s900HighestRate),
                  static_cast<int>(program::TargetRate::s900));
    rate->setCurrentIndex(rate->findData(static_cast<int>(proposal.rate)));
    form->addRow(QStringLiteral("&Rate:"), rate);
    auto* dither =
        new QCheckBox(QStringLiteral("&Dither (TPDF) sources of more than 16 bits"), &dialog);
    dither->setChecked(proposal.dither);
    form->addRow(dither);
    layout->addLayout(form);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Cancel, &dialog);
    buttons->addButton(QStringLiteral("&Convert"), QDialogButtonBox::AcceptRole)->setDefault(true);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    layout->addWidget(buttons);

    if (dialog.exec() != QDialog::Accepted) {
        return std::nullopt;
    }
    program::ConvertOptions options;
    options.rate = static_cast<program::TargetRate>(rate->currentData().toInt());
    options.dither = dither->isChecked();
    return options;
}

bool QtFileDialogs::Confirm(const QString& question) {
    return QMessageBox::question(parent, FromStd(program::appCaption), question,
                                 QMessageBox::Yes | QMessageBox::No,
                                 QMessageBox::Yes) == QMessageBox::Yes;
}

std::optional<int>
QtFileDialogs::ChooseInstrument(const QString& file, const QString& modelName,
                                const QStringList& names,
                                const std::function<QStringList(int)>& reportFor) {
    instrument::ImportInstrumentDlg dialog(file, modelName, names, reportFor, parent);
    if (dialog.exec() != QDialog::Accepted) {
        return std::nullopt;
    }
    return dialog.Selected();
}

} // namespace velomire::app
