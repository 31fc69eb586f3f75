#include "app/ExportImageDlg.h"

#include "app/FileDialogs.h"
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
#include <QTimer>
#include <QVBoxLayout>

#include <filesystem>

namespace velomire::app {

namespace {

constexpr std::string_view caption = "Export disk image";
// The largest image read for Add: a hard disk of these samplers stays far below.
constexpr std::uintmax_t largestImage = std::uintmax_t{1} << 30;

QString Kilobytes(std::uint64_t bytes) {
    return QStringLiteral("%1 KB").arg(bytes / 1024);
}

QString MediumText(disk::Medium medium) {
    switch (medium) {
    case disk::Medium::dd:
        return QStringLiteral("800 KB double-density floppy");
    case disk::Medium::hd:
        return QStringLiteral("1.6 MB high-density floppy");
    case disk::Medium::scsi:
        break;
    }
    return QStringLiteral("SCSI hard disk");
}

} // namespace

void ExportImageDlg::SharedProgress::Progress(std::uint64_t doneWords, std::uint64_t totalWords) {
    total = totalWords;
    done = doneWords;
}

std::vector<disk::Medium> ExportImageDlg::Media(std::int32_t model) {
    std::vector<disk::Medium> media;
    for (const disk::Medium medium : {disk::Medium::dd, disk::Medium::hd, disk::Medium::scsi}) {
        if (disk::EmptyMediumSize(model, medium)) {
            media.push_back(medium);
        }
    }
    return media;
}

ExportImageDlg::ExportImageDlg(const program::Program& source, std::int32_t model,
                               FileDialogs& dialogs, program::UserMessages& messages,
                               QWidget* parent)
    : QDialog(parent), program(std::make_unique<program::Program>(source)), model(model),
      dialogs(dialogs), messages(messages), mediumBox(new QComboBox(this)),
      spaceLabel(new QLabel(this)), progress(new QProgressBar(this)),
      exportButton(new QPushButton(QStringLiteral("&Export..."), this)),
      addButton(new QPushButton(QStringLiteral("&Add to image..."), this)),
      cancelButton(new QPushButton(QStringLiteral("Cancel"), this)),
      progressTimer(new QTimer(this)) {
    setWindowTitle(QStringLiteral("Export disk image"));
    const auto info = transfer::SamplerModel::Find(model);
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Sampler:"), new QLabel(FromStd(info ? info->longName : "none") +
                                                            QStringLiteral(" (set in Options)"),
                                                        this));
    mediumBox->setObjectName(QStringLiteral("medium"));
    for (const disk::Medium medium : Media(model)) {
        mediumBox->addItem(MediumText(medium), static_cast<int>(medium));
    }
    form->addRow(QStringLiteral("&Medium:"), mediumBox);
    spaceLabel->setObjectName(QStringLiteral("space"));
    spaceLabel->setWordWrap(true);
    form->addRow(spaceLabel);
    progress->setRange(0, 1000);
    progress->setTextVisible(false);
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
    connect(cancelButton, &QPushButton::clicked, this, &ExportImageDlg::reject);
    progressTimer->setInterval(100);
    connect(progressTimer, &QTimer::timeout, this, [this] {
        const std::uint64_t total = shared.total;
        progress->setValue(total == 0 ? 0 : static_cast<int>(shared.done * 1000 / total));
    });
    ShowSpace();
    setMinimumWidth(440); // the room line on two lines at most
}

ExportImageDlg::~ExportImageDlg() {
    if (worker != nullptr) {
        shared.cancelled = true;
        worker->wait(); // the worker reads the program this dialog owns
        delete worker;
    }
}

void ExportImageDlg::reject() {
    if (worker != nullptr) {
        shared.cancelled = true; // the worker stops before its next sample; Finished says so
        return;
    }
    QDialog::reject();
}

disk::Medium ExportImageDlg::Medium() const {
    return static_cast<disk::Medium>(mediumBox->currentData().toInt());
}

void ExportImageDlg::ShowSpace() {
    fits = false;
    exportButton->setEnabled(false);
    addButton->setEnabled(false);
    if (mediumBox->count() == 0) {
        spaceLabel->setText(QStringLiteral("This sampler has no disk drive Velomire writes for."));
        return;
    }
    const disk::Medium medium = Medium();
    const std::uint64_t needs = disk::ProgramImageBytes(*program, model, medium);
    const auto size = disk::EmptyMediumSize(model, medium);
    const std::uint64_t room = size ? size->freeBytes : 0;
    QString text = QStringLiteral("The program takes %1; an empty %2 has %3 free.")
                       .arg(Kilobytes(needs), MediumText(medium), Kilobytes(room));
    // What does not fit an empty medium fits no image of it: both ways to write wait for
    // another medium.
    const program::Status fit = disk::CheckNewImage(*program, {model, medium});
    fits = static_cast<bool>(fit);
    if (!fits) {
        text += QStringLiteral(" It cannot be written: ") + FromStd(fit.text);
    }
    spaceLabel->setText(text);
    exportButton->setEnabled(fits);
    addButton->setEnabled(fits);
}

void ExportImageDlg::Export(bool add) {
    const QString name = FromStd(program->ProgramName());
    const QString filter = QStringLiteral("Disk images (*.img *.hda)");
    const QString suffix =
        Medium() == disk::Medium::scsi ? QStringLiteral("hda") : QStringLiteral("img");
    target = add ? dialogs.OpenFileName(QStringLiteral("Add to disk image"), filter)
                 : dialogs.SaveFileName(
                       QStringLiteral("Export disk image"), filter,
                       QDir(FromStd(program->programDirectory.string()))
                           .filePath((name.isEmpty() ? QStringLiteral("program") : name) +
                                     QLatin1Char('.') + suffix),
                       suffix);
    if (target.isEmpty()) {
        return;
    }
    refusal.clear();
    shared.done = 0;
    shared.total = 0;
    shared.cancelled = false;
    exportButton->setEnabled(false);
    addButton->setEnabled(false);
    mediumBox->setEnabled(false);
    progress->setValue(0);
    progress->setVisible(true);
    progressTimer->start();
    const std::filesystem::path path = ToPath(target);
    const disk::ImageRequest request{model, Medium()};
    worker = QThread::create([this, path, request, add] {
        std::vector<std::uint8_t> image;
        if (add) {
            const auto read = program::ReadRegularFile(
                path, largestImage, "Error: the file is larger than a disk image", image);
            if (!read) {
                refusal = read.text;
                return;
            }
        }
        disk::WavSampleWords words(program->programDirectory);
        const program::Status made =
            add ? disk::AddToImage(*program, request, words, image, &shared)
                : disk::MakeImage(*program, request, words, image, &shared);
        if (!made) {
            refusal = made.text + " Nothing was written.";
            return;
        }
        if (const auto written = program::ReplaceFile(path, image); !written) {
            refusal = written.text + (written.detail.empty() ? "" : " (" + written.detail + ")");
            return;
        }
        disk::ImageContents contents;
        disk::ReadImage(image, contents);
        std::size_t files = 0;
        for (const disk::ImageVolume& volume : contents.volumes) {
            files += volume.files.size();
        }
        summary = QStringLiteral("Wrote %1: %2 files, %3 free")
                      .arg(QFileInfo(target).fileName())
                      .arg(files)
                      .arg(Kilobytes(contents.freeBytes));
    });
    connect(worker, &QThread::finished, this, &ExportImageDlg::Finished);
    worker->start();
}

void ExportImageDlg::Finished() {
    worker->deleteLater();
    worker = nullptr;
    progressTimer->stop();
    progress->setVisible(false);
    exportButton->setEnabled(fits);
    addButton->setEnabled(fits);
    mediumBox->setEnabled(true);
    if (shared.cancelled && !refusal.empty()) {
        return; // the user's own Cancel needs no message; nothing was written
    }
    if (!refusal.empty()) {
        messages.Show(QFileInfo(target).fileName().toStdString() + ": " + refusal, caption);
        return;
    }
    accept();
}

} // namespace velomire::app
