#pragma once

#include "program/UserMessages.h"
#include "transfer/OptionsForm.h"
#include "transfer/SamplerSettings.h"

#include <QDialog>

#include <array>
#include <memory>
#include <string>
#include <vector>

class QComboBox;
class QLineEdit;

namespace velomire::transfer {

// "Options : Sampler and Midi": the MIDI output and input devices (with how long the sampler may
// hold a send with WAIT), the audio output device, the sampler model with its limits, and the two
// channels. Only an OK button and no close box; Esc leaves everything as it was. Picking a model
// proposes its defaults; OK checks the seven fields and refuses the first wrong one with a
// message, giving it the focus.
class COptionsDlg : public QDialog {
    Q_OBJECT

public:
    // Refusals go to `messages` (a message box over the dialog in the application).
    COptionsDlg(const SamplerSettings& settings, const std::vector<std::string>& midiOutNames,
                std::vector<std::string> midiInNames, const std::vector<std::string>& waveOutNames,
                program::UserMessages& messages, QWidget* parent = nullptr);
    ~COptionsDlg() override;

    // After Accepted: the eleven values copied back.
    SamplerSettings Result() const { return form.Result(); }

    void accept() override;

private:
    void OnModelChanged(int index);
    void ShowFields();

    program::UserMessages& messages;
    OptionsForm form;
    QComboBox* midiOutList;
    QComboBox* midiInList;
    QComboBox* waveOutList;
    QComboBox* modelList;
    std::array<QLineEdit*, OptionsForm::fieldCount> fields{};
};

} // namespace velomire::transfer
