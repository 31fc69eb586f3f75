#pragma once

#include "disk/DiskImage.h"
#include "program/Program.h"
#include "program/UserMessages.h"

#include <QDialog>
#include <QString>

#include <atomic>
#include <cstdint>
#include <memory>

class QComboBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QThread;
class QTimer;

namespace velomire::app {

class FileDialogs;

// File > Export disk image...: the media of the model chosen in Options, with the room the
// program takes and the room an empty one has (and why it cannot be written, which disables
// Export and Add); Export writes a new image, Add to image... writes
// the program into an image the user has. The image is built on a worker thread while the bar
// shows the words written, so the window keeps painting and Cancel stops the build between
// samples; a refusal is one message, and nothing is written then.
class ExportImageDlg : public QDialog {
    Q_OBJECT

public:
    ExportImageDlg(const program::Program& program, std::int32_t model, FileDialogs& dialogs,
                   program::UserMessages& messages, QWidget* parent = nullptr);
    ~ExportImageDlg() override;

    // The media the model's drives take; none for a model without disk images.
    static std::vector<disk::Medium> Media(std::int32_t model);

    // The line for the status bar after an export ("Wrote demo.img: 4 files, 748 KB free").
    const QString& Summary() const { return summary; }

    QComboBox* MediumBox() const { return mediumBox; }
    QLabel* SpaceLabel() const { return spaceLabel; }
    QProgressBar* Progress() const { return progress; }
    QPushButton* ExportButton() const { return exportButton; }
    QPushButton* AddButton() const { return addButton; }
    QPushButton* CancelButton() const { return cancelButton; }

    void reject() override;

private:
    // What the worker reports and the window reads: words written of the total, and the user's
    // Cancel.
    class SharedProgress : public disk::ImageProgress {
    public:
        void Progress(std::uint64_t done, std::uint64_t total) override;
        bool Cancelled() override { return cancelled; }
        std::atomic<std::uint64_t> done{0};
        std::atomic<std::uint64_t> total{0};
        std::atomic<bool> cancelled{false};
    };

    void ShowSpace();
    disk::Medium Medium() const;
    // Builds the image (into the chosen one for Add) on a worker thread, then writes it.
    void Export(bool add);
    void Finished();

    std::unique_ptr<program::Program> program; // a copy: the worker reads it
    std::int32_t model;
    FileDialogs& dialogs;
    program::UserMessages& messages;
    QComboBox* mediumBox;
    QLabel* spaceLabel;
    QProgressBar* progress;
    QPushButton* exportButton;
    QPushButton* addButton;
    QPushButton* cancelButton;
    QTimer* progressTimer;
    QThread* worker = nullptr;
    SharedProgress shared;
    QString target;
    QString summary;
    std::string refusal; // set by the worker
    bool fits = false;   // the program fits an empty image of the medium chosen
};

} // namespace velomire::app
