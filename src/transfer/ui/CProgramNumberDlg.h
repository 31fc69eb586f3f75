#pragma once

#include "program/UserMessages.h"
#include "transfer/SendCommand.h"

#include <QDialog>

#include <memory>

namespace velomire::transfer {

// "Program and Sample number": the numbers of programs and samples already in the sampler. The
// dialog keeps two stored values. A spin arrow changes its stored value (within 0 and the limit
// minus 1) and shows it again, whatever was typed; OK reads both fields, which must hold whole
// numbers. Numbers() gives the stored values however the dialog ended; the send goes on only
// after OK.
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

    program::UserMessages& messages;
    SendNumbers numbers;
    NumberSpin* programsSpin;
    NumberSpin* samplesSpin;
};

} // namespace velomire::transfer
