#pragma once

#include "editing/SampleEditorModel.h"
#include "editing/Spin.h"
#include "program/KeygroupBlock.h"
#include "program/SampleBlock.h"
#include "transfer/SamplerModel.h"

#include <QDialog>

class QComboBox;

namespace velomire::editing {

class KeyboardWidget;
class NoteSpinBox;

// "Parameters  -  <file name>": the key range, pitch, send mode and audio output of one sample,
// run modally on the working copy of its row. Every control writes straight into the two blocks,
// so OK, Esc and the close box all leave the changes in place; the caller copies the blocks back
// however the dialog was closed. A left click on the keyboard sets the low key, a right click the
// high key.
class CSampleEditorDlg : public QDialog {
    Q_OBJECT

public:
    // The blocks must outlive the dialog. `samplerModel` (SamplerModel numbering) decides what
    // the output list offers.
    CSampleEditorDlg(program::SampleBlock& sample, program::KeygroupBlock& keygroup,
                     std::int32_t samplerModel = transfer::SamplerModel::none,
                     QWidget* parent = nullptr);

private:
    void OnSendModeChange(int index);
    void OnOutputChange(int index);
    void FillOutputList();
    void OnLowSpin(Spin step);
    void OnHighSpin(Spin step);
    void OnPitchSpin(Spin step);
    void OnLowKeyPicked(int note);
    void OnHighKeyPicked(int note);
    // The three names and the keyboard's dots, after any change of the keys or the pitch.
    void ShowKeys();

    SampleEditorModel model;
    KeyboardWidget* keyboard;
    NoteSpinBox* lowBox;
    NoteSpinBox* highBox;
    NoteSpinBox* pitchBox;
    QComboBox* sendModeList;
    QComboBox* outputList;
};

} // namespace velomire::editing
