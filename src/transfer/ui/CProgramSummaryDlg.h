#pragma once

#include "transfer/ProgramSummary.h"

#include <QDialog>

class QLineEdit;

namespace velomire::transfer {

// "Program Summary": what a send is about to transfer. "Send" (the default button) accepts,
// "Cancel", Esc and the close box reject.
class CProgramSummaryDlg : public QDialog {
    Q_OBJECT

public:
    explicit CProgramSummaryDlg(const ProgramSummary& summary, QWidget* parent = nullptr);
};

} // namespace velomire::transfer
