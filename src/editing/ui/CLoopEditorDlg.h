#pragma once

// The Loop Editor dialog and its audio preview.
//
// Threading contract
// - UI thread: everything in this dialog, including every call into the BlockPlayer, the model
//   and the AudioOutput (Open, Queue, Reset, SamplesPlayed, Close).
// - Audio thread (the output's own): only the BlockFinished handler installed here, which pushes
//   the finished block's tag into `finishedBlocks` and returns; it never waits for the UI.
// - Shared state: the FinishedBlockQueue (lock-free, one producer, one consumer). The UI thread
//   drains it on a 10 ms timer while the preview plays and passes each tag to the player.

#include "editing/BlockPlayer.h"
#include "editing/FinishedBlockQueue.h"
#include "editing/LoopEditorModel.h"

#include <QDialog>

#include <array>
#include <cstddef>
#include <filesystem>

class QAbstractButton;
class QComboBox;
class QLabel;
class QLayout;
class QLineEdit;
class QPushButton;
class QScrollBar;
class QSpinBox;
class QTimer;
class QToolButton;

namespace velomire::editing {

class AudioOutput;
class SeamWidget;
class WaveformWidget;

// The Loop Editor: trims the sound and places the loops of one sample on its drawn waveform,
// with zoom, snapping and a looped preview, editing the given SampleBlock in place (there is no
// cancel). However it closes (the "Ok" button, Escape, the close box, or its destruction) it
// finishes the block the same way: loop end points relative to soundStart again, lengthWords and
// endPoint set, the output closed. The Enter key does nothing but take a value typed into a box.
// Start, End and Length take typed frames as clicks would; "Find loop" proposes loop edges that
// join cleanly, and the seam view beside the controls shows the current loop's join up close.
//
// Opening reads the sample's WAV file in the constructor. When that fails the dialog must not be
// shown: Opened() is false, the block is unchanged and the reason has been shown (the reader's
// own message, or "Waveform : Memory alloc error"). Run() does both steps.
class CLoopEditorDlg : public QDialog {
    Q_OBJECT

public:
    static constexpr int cursorIntervalMs = 50;
    static constexpr int drainIntervalMs = 10;

    // `waveOutDevice` is the settings' wave output device (AudioOutput::defaultDevice for the
    // system's default); `output` must outlive the dialog and is opened only at the first "P l a
    // y"; `messages` shows the reader's, the player's and the editor's failures. A sample of more
    // than `frameLimit` frames is refused as if its memory could not be had.
    // `programDirectory` is where the block's file lies.
    CLoopEditorDlg(program::SampleBlock& sample, const std::filesystem::path& programDirectory,
                   int waveOutDevice, AudioOutput& output, program::UserMessages& messages,
                   QWidget* parent = nullptr,
                   std::size_t frameLimit = LoopEditorModel::noFrameLimit);
    ~CLoopEditorDlg() override;

    // Opens the editor on the sample and runs it modally. Returns QDialog::Accepted after "Ok",
    // QDialog::Rejected after any other way of closing or when the sample could not be opened
    // (the block then stays as it was).
    static int Run(program::SampleBlock& sample, const std::filesystem::path& programDirectory,
                   int waveOutDevice, AudioOutput& output, program::UserMessages& messages,
                   QWidget* parent = nullptr);

    LoopEditorStatus OpenStatus() const { return openStatus; }
    bool Opened() const { return openStatus == LoopEditorStatus::ok; }

    const LoopEditorModel& Model() const { return model; }
    const BlockPlayer& Player() const { return player; }
    WaveformWidget* Waveform() const { return waveform; }
    SeamWidget* Seam() const { return seam; }

protected:
    void keyPressEvent(QKeyEvent* event) override;
    // Every way of ending the dialog comes here: the finishing steps run before it ends.
    void done(int result) override;

private:
    void BuildControls();
    QWidget* BuildPicture();
    QLayout* BuildViewRow();
    QWidget* BuildPartsBox();
    QWidget* BuildRegionBox();
    QWidget* BuildSnapBox();
    QWidget* BuildLoopBox();

    void OnSelectSound();
    void OnSelectLoop(int n);
    void OnRegionClicked();
    void OnRemoveSilence();
    // A value typed into Start, End or Length (Enter or leaving the box).
    void OnFigureTyped(QLineEdit* field);
    void OnFindLoop();
    void OnSnap(bool (LoopEditorModel::*snap)());
    void OnDwellChange(int ms);
    void OnSnapLevelChange(int level);
    void OnLoopCountChange(int count);
    void OnLoopModeChange(int mode);
    void OnZoomIn();
    void OnZoomOut();
    void OnZoomAll();
    void OnZoomRegion();
    void OnScrollAction(int action);

    void OnPlay();
    void OnStop();
    void OnCursorTimer();
    void DrainFinishedBlocks();
    void StopCursor();
    // Hands the current part's region and looping to the player.
    void SyncPlayerRegion();
    // Whether the current part repeats when played: a loop in "Normal Looping" or "Loop until
    // release".
    bool LoopPlays() const;
    // After an edit of the region: a playing loop goes on with its new edges.
    void Edited();

    // Shows the model's state in every control: picture, figures, part buttons, boxes, thumb.
    void Refresh();
    // The finishing steps: stop and close the output, give the block back in its stored form.
    void Finish();

    program::SampleBlock& sample;
    AudioOutput& output;
    program::UserMessages& messages;
    LoopEditorModel model;
    BlockPlayer player;
    FinishedBlockQueue finishedBlocks;
    LoopEditorStatus openStatus = LoopEditorStatus::noFrames;
    // Whether the output's BlockFinished handler is this dialog's (only after a good opening).
    bool reportsHere = false;

    WaveformWidget* waveform = nullptr;
    QScrollBar* scrollBar = nullptr;
    std::array<QToolButton*, LoopEditorModel::loopParts + 1> partButtons{};
    QLineEdit* startField = nullptr;
    QLineEdit* endField = nullptr;
    QLineEdit* lengthField = nullptr;
    QSpinBox* dwellField = nullptr;
    QPushButton* playButton = nullptr;
    QPushButton* stopButton = nullptr;
    QLabel* statusText = nullptr; // why Play is off, when it is
    QLabel* joinNote = nullptr;   // a join Find loop could not make clean
    QSpinBox* snapLevelField = nullptr;
    QSpinBox* loopCountField = nullptr;
    QComboBox* loopModeList = nullptr;
    QAbstractButton* findLoopButton = nullptr;
    SeamWidget* seam = nullptr;
    QSpinBox* verticalZoomField = nullptr;
    QTimer* cursorTimer = nullptr;
    QTimer* drainTimer = nullptr;
};

} // namespace velomire::editing
