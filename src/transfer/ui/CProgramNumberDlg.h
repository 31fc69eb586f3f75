#pragma once

#include "program/UserMessages.h"
#include "transfer/SendCommand.h"

#include <QDialog>

class QLabel;

#include <memory>

namespace velomire::transfer {

// "Program and Sample number": the numbers of programs and samples already in the sampler. The
// dialog keeps two stored values. A spin arrow changes its stored value (within 0 and the limit
// minus 1) and shows it again, whatever was typed; OK reads both fields, which must hold whole
// numbers. Numbers() gives the stored values however the dialog ended; the send goes on only
// after OK. When the sampler said what it holds, a line under the fields names what the numbers
// shown would overwrite.
class CProgramNumberDlg : public QDialog {
    Q_OBJECT

public:
    // Refusals go to `messages` (a message box over the dialog in the application).
    CProgramNumberDlg(const SendNumbers& numbers, program::UserMessages& messages,
                      QWidget* parent = nullptr);
    ~CProgramNumberDlg() override;

    SendNumbers Numbers() const { return numbers; }

    void accept() override;

private:
    class NumberSpin;

    bool ReadField(NumberSpin* spin, std::int32_t& value);
    void UpdateWarning();

    program::UserMessages& messages;
    SendNumbers numbers;
    NumberSpin* programsSpin;
    NumberSpin* samplesSpin;
    QLabel* warning;
};

} // namespace velomire::transfer
