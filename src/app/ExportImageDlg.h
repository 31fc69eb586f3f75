#pragma once

#include "disk/S900FloppyImage.h"
#include "program/Program.h"
#include "program/UserMessages.h"

#include <QDialog>
#include <QString>

#include <cstdint>
#include <memory>

class QComboBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QThread;

namespace velomire::app {

class FileDialogs;

// File > Export disk image...: the medium for the model chosen in Options, with the room the
// program takes and the room the medium has; Export writes a new image, Add to image... writes
// the program into an image the user has. The image is built on a worker thread while a busy bar
// runs, so the window keeps painting; a refusal is one message, and nothing is written then.
class ExportImageDlg : public QDialog {
    Q_OBJECT

public:
    ExportImageDlg(const program::Program& program, std::int32_t model, FileDialogs& dialogs,
                   program::UserMessages& messages, QWidget* parent = nullptr);
    ~ExportImageDlg() override;

    // The line for the status bar after an export ("Wrote demo.img: 4 files, 748 KB free").
    const QString& Summary() const { return summary; }

    QComboBox* MediumBox() const { return mediumBox; }
    QLabel* SpaceLabel() const { return spaceLabel; }
    QProgressBar* Progress() const { return progress; }
    QPushButton* ExportButton() const { return exportButton; }
    QPushButton* AddButton() const { return addButton; }

private:
    void ShowSpace();
    disk::FloppyDensity Density() const;
    // Builds the image (into `existing` when given) on a worker thread, then writes it.
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
    QThread* worker = nullptr;
    QString target;
    QString summary;
    std::string refusal; // set by the worker
    bool adding = false;
};

} // namespace velomire::app
