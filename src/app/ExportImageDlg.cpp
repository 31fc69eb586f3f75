#include "app/ExportImageDlg.h"

#include "app/FileDialogs.h"
#include "disk/S900DiskFiles.h"
#include "program/SafeFile.h"
#include "transfer/SamplerModel.h"
#include "ui/QtText.h"

#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QThread>
#include <QVBoxLayout>

#include <filesystem>

namespace velomire::app {

namespace {

constexpr std::string_view caption = "Export disk image";

std::filesystem::path ToPath(const QString& path) {
    return std::filesystem::path(path.toStdWString());
}

QString Kilobytes(std::size_t blocks) {
    return QStringLiteral("%1 KB").arg(blocks);
}

} // namespace

ExportImageDlg::ExportImageDlg(const program::Program& source, std::int32_t model,
                               FileDialogs& dialogs, program::UserMessages& messages,
                               QWidget* parent)
    : QDialog(parent), program(std::make_unique<program::Program>(source)), model(model),
      dialogs(dialogs), messages(messages), mediumBox(new QComboBox(this)),
      spaceLabel(new QLabel(this)), progress(new QProgressBar(this)),
      exportButton(new QPushButton(QStringLiteral("&Export..."), this)),
      addButton(new QPushButton(QStringLiteral("&Add to image..."), this)),
      cancelButton(new QPushButton(QStringLiteral("Cancel"), this)) {
    setWindowTitle(QStringLiteral("Export disk image"));
    const auto info = transfer::SamplerModel::Find(model);
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Sampler:"), new QLabel(FromStd(info ? info->longName : "none") +
                                                            QStringLiteral(" (set in Options)"),
                                                        this));
    mediumBox->setObjectName(QStringLiteral("medium"));
    mediumBox->addItem(QStringLiteral("800 KB double-density floppy"));
    if (model == transfer::SamplerModel::s950) {
        mediumBox->addItem(QStringLiteral("1.6 MB high-density floppy"));
    }
    form->addRow(QStringLiteral("&Medium:"), mediumBox);
    spaceLabel->setObjectName(QStringLiteral("space"));
    spaceLabel->setWordWrap(true);
    form->addRow(spaceLabel);
    progress->setRange(0, 0); // busy: the build reports no steps
    progress->setVisible(false);
    form->addRow(progress);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(exportButton);
    buttons->addWidget(addButton);
    buttons->addWidget(cancelButton);
    exportButton->setDefault(true);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addLayout(buttons);

    connect(mediumBox, &QComboBox::currentIndexChanged, this, &ExportImageDlg::ShowSpace);
    connect(exportButton, &QPushButton::clicked, this, [this] { Export(false); });
    connect(addButton, &QPushButton::clicked, this, [this] { Export(true); });
    connect(cancelButton, &QPushButton::clicked, this, &QDialog::reject);
    ShowSpace();
    setMinimumWidth(440); // the room line on two lines at most
}

ExportImageDlg::~ExportImageDlg() {
    if (worker != nullptr) {
        worker->wait(); // the worker reads the program this dialog owns
        delete worker;
    }
}

disk::FloppyDensity ExportImageDlg::Density() const {
    return mediumBox->currentIndex() == 1 ? disk::FloppyDensity::hd : disk::FloppyDensity::dd;
}

void ExportImageDlg::ShowSpace() {
    const disk::S900Needs needs = disk::S900NeedsOf(*program);
    const disk::FloppyDensity density = Density();
    const std::size_t room =
        disk::S900FloppyImage::Blocks(density) - disk::S900FloppyImage::ReservedBlocks(density);
    QString text = QStringLiteral("The program takes %1 in %2 files; an empty floppy has %3 free "
                                  "and holds %4 files.")
                       .arg(Kilobytes(needs.blocks))
                       .arg(needs.files)
                       .arg(Kilobytes(room))
                       .arg(disk::S900FloppyImage::entryCount);
    if (needs.blocks > room || needs.files > disk::S900FloppyImage::entryCount) {
        text += QStringLiteral(" It does not fit.");
    }
    spaceLabel->setText(text);
}

void ExportImageDlg::Export(bool add) {
    const QString name = FromStd(program->ProgramName());
    target = add ? dialogs.OpenFileName(QStringLiteral("Add to disk image"),
                                        QStringLiteral("Disk images (*.img)"))
                 : dialogs.SaveFileName(
                       QStringLiteral("Export disk image"), QStringLiteral("Disk images (*.img)"),
                       QDir(FromStd(program->programDirectory.string()))
                           .filePath((name.isEmpty() ? QStringLiteral("program") : name) +
                                     QStringLiteral(".img")),
                       QStringLiteral("img"));
    if (target.isEmpty()) {
        return;
    }
    adding = add;
    refusal.clear();
    exportButton->setEnabled(false);
    addButton->setEnabled(false);
    mediumBox->setEnabled(false);
    progress->setVisible(true);
    const std::filesystem::path path = ToPath(target);
    const disk::FloppyDensity density = Density();
    worker = QThread::create([this, path, density, add] {
        std::optional<std::vector<std::uint8_t>> existing;
        if (add) {
            std::vector<std::uint8_t> bytes;
            const auto read = program::ReadRegularFile(
                path, disk::S900FloppyImage::ImageBytes(disk::FloppyDensity::hd),
                "Error: the file is larger than a floppy image", bytes);
            if (!read) {
                refusal = read.text;
                return;
            }
            existing = std::move(bytes);
        }
        const disk::S900ImageResult result =
            existing ? disk::S900ImageOf(*program, model, density,
                                         std::span<const std::uint8_t>(*existing))
                     : disk::S900ImageOf(*program, model, density);
        if (!result.refusal.empty()) {
            refusal = result.refusal + " Nothing was written.";
            return;
        }
        if (const auto written = program::ReplaceFile(path, result.image); !written) {
            refusal = written.text + (written.detail.empty() ? "" : " (" + written.detail + ")");
            return;
        }
        refusal.clear();
        summary = QStringLiteral("Wrote %1: %2 files%3, %4 free")
                      .arg(QFileInfo(target).fileName())
                      .arg(result.files)
                      .arg(add ? QStringLiteral(" added") : QString())
                      .arg(Kilobytes(result.freeBlocks));
    });
    connect(worker, &QThread::finished, this, &ExportImageDlg::Finished);
    worker->start();
}

void ExportImageDlg::Finished() {
    worker->deleteLater();
    worker = nullptr;
    progress->setVisible(false);
    exportButton->setEnabled(true);
    addButton->setEnabled(true);
    mediumBox->setEnabled(true);
    if (!refusal.empty()) {
        messages.Show(QFileInfo(target).fileName().toStdString() + ": " + refusal, caption);
        return;
    }
    accept();
}

} // namespace velomire::app
