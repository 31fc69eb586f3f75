#pragma once

#include "program/MessageList.h"
#include "program/PendingSamples.h"
#include "program/UserMessages.h"
#include "program/WavFileList.h"
#include "program/WavInfo.h"

#include <QDialog>

#include <array>
#include <filesystem>
#include <functional>
#include <string>

class QLabel;
class QLineEdit;
class QListWidget;

namespace velomire::program {

// "Select Samples ": the sound files of the working directory (the program's) on the left, the
// program's samples as they will be after OK on the right, and the information line of the file
// selected on the left. "Browse..." lists another folder instead; its files come with their
// folder (PendingEntry::source) and are copied into the program's directory on OK. The right list
// shows Pending(), which the document fills before exec() and reads after Accepted; the lists are
// built again each time the dialog is shown.
class CSelectSamplesDlg : public QDialog {
    Q_OBJECT

public:
    // `programDirectory`: the folder listed first, whose files are named as they are.
    // `play`: starts an asynchronous preview of a file's path and returns 0, or shows
    // "Error: Can't play File !" (caption = the name) and returns -1; play("") stops playing.
    CSelectSamplesDlg(UserMessages& messages, std::filesystem::path programDirectory,
                      std::function<int(const std::string&)> play, QWidget* parent = nullptr);

    PendingSamples& Pending() { return pending; }
    // Describes files of other formats in the information line (see InformationTexts).
    void SetProbe(SoundProbe soundProbe) { probe = std::move(soundProbe); }
    // How "Browse..." asks for a folder (given the one listed); an empty answer keeps the folder.
    void SetChooseFolder(std::function<QString(const QString&)> choose) {
        chooseFolder = std::move(choose);
    }

    // Texts of the information line as set, before any shortening to fit: file name, bits,
    // channels, rate, words, seconds.
    const std::array<QString, 6>& InformationLine() const { return information; }

    void accept() override;
    void reject() override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void Initialise();
    // Lists the sound files of `folder` on the left and shows it in the Directory field.
    void ListFolder(const std::filesystem::path& listed);
    void OnBrowse();
    // The name of a listed file as the reader and the player open it: relative to the working
    // directory when the program's directory is listed, the full path otherwise.
    std::string PathOf(const std::string& file) const;
    void FillRightList();
    void OnAdd();
    void OnRemove();
    void OnLeftSelectionChanged();
    void OnLeftDoubleClicked();
    void ShowInformation();
    static std::string FileOf(const QListWidget* list, int row);

    UserMessages& messages;
    std::function<int(const std::string&)> play;
    std::filesystem::path programDirectory;
    PendingSamples pending;
    // Browsing never opens a box: what the reader says of a file goes to the information panel.
    MessageList browsing;
    WavInfo wav;
    SoundProbe probe;
    std::function<QString(const QString&)> chooseFolder;
    std::filesystem::path folder; // listed on the left; empty: the program's directory

    QLineEdit* directoryLine;
    QListWidget* fileList;
    QListWidget* sampleList;
    std::array<QLabel*, 6> informationLabels{};
    std::array<QString, 6> information;
    QLabel* informationNote; // why the reader refuses the file shown
    QLabel* longNamesNote;
};

} // namespace velomire::program
