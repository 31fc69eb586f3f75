#pragma once

#include "program/MessageList.h"
#include "program/PendingSamples.h"
#include "program/UserMessages.h"
#include "program/WavFileList.h"
#include "program/WavInfo.h"

#include <QDialog>

#include <array>
#include <functional>
#include <string>

class QLabel;
class QLineEdit;
class QListWidget;

namespace velomire::program {

// "Select Samples ": the *.wav files of the working directory on the left, the program's samples
// as they will be after OK on the right, and the information line of the file selected on the
// left. The right list shows Pending(), which the document fills before exec() and reads after
// Accepted; the lists are built again each time the dialog is shown.
class CSelectSamplesDlg : public QDialog {
    Q_OBJECT

public:
    // `play`: starts an asynchronous preview of a file name relative to the working directory and
    // returns 0, or shows "Error: Can't play File !" (caption = the name) and returns -1;
    // play("") stops playing.
    CSelectSamplesDlg(UserMessages& messages, std::function<int(const std::string&)> play,
                      QWidget* parent = nullptr);

    PendingSamples& Pending() { return pending; }
    // Describes files of other formats in the information line (see InformationTexts).
    void SetProbe(SoundProbe soundProbe) { probe = std::move(soundProbe); }

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
    void FillRightList();
    void OnAdd();
    void OnRemove();
    void OnLeftSelectionChanged();
    void OnLeftDoubleClicked();
    void ShowInformation();
    static std::string FileOf(const QListWidget* list, int row);

    UserMessages& messages;
    std::function<int(const std::string&)> play;
    PendingSamples pending;
    // Browsing never opens a box: what the reader says of a file goes to the information panel.
    MessageList browsing;
    WavInfo wav;
    SoundProbe probe;

    QLineEdit* directoryLine;
    QListWidget* fileList;
    QListWidget* sampleList;
    std::array<QLabel*, 6> informationLabels{};
    std::array<QString, 6> information;
    QLabel* informationNote; // why the reader refuses the file shown
    QLabel* longNamesNote;
};

} // namespace velomire::program
