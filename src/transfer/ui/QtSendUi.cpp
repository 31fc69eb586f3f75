#include "transfer/ui/QtSendUi.h"

#include "transfer/ProgramSummary.h"

#include "transfer/ui/CProgramNumberDlg.h"
#include "transfer/ui/CProgramSummaryDlg.h"
#include "transfer/ui/CSendingDlg.h"

#include <QCursor>
#include <QGuiApplication>

namespace velomire::transfer {
namespace {

// The questions of a send are answered with the mouse: the arrow comes back over them while the
// rest of the command keeps the wait cursor.
class ArrowWhileAsking {
public:
    ArrowWhileAsking() { QGuiApplication::setOverrideCursor(QCursor(Qt::ArrowCursor)); }
    ~ArrowWhileAsking() { QGuiApplication::restoreOverrideCursor(); }
    ArrowWhileAsking(const ArrowWhileAsking&) = delete;
    ArrowWhileAsking& operator=(const ArrowWhileAsking&) = delete;
};

} // namespace

QtSendUi::QtSendUi(QWidget* parent, program::UserMessages& messages)
    : parent(parent), messages(messages) {}

QtSendUi::~QtSendUi() {
    CloseSending();
    while (waitCursors > 0) {
        EndWait();
    }
}

void QtSendUi::BeginWait() {
    QGuiApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
    ++waitCursors;
}

void QtSendUi::EndWait() {
    if (waitCursors > 0) {
        QGuiApplication::restoreOverrideCursor();
        --waitCursors;
    }
}

bool QtSendUi::ConfirmSummary(const ProgramSummary& summary) {
    const ArrowWhileAsking arrow;
    estimate = summary.seconds;
    CProgramSummaryDlg dialog(summary, parent);
    return dialog.exec() == QDialog::Accepted;
}

bool QtSendUi::AskNumbers(SendNumbers& numbers) {
    const ArrowWhileAsking arrow;
    CProgramNumberDlg dialog(numbers, messages, parent);
    if (dialog.exec() != QDialog::Accepted) {
        return false;
    }
    numbers = dialog.Numbers();
    return true;
}

void QtSendUi::OpenSending(const std::string& title) {
    CloseSending();
    sending = new CSendingDlg(QString::fromStdString(title), parent);
    QObject::connect(sending.data(), &CSendingDlg::cancelRequested, [this] {
        if (cancel) {
            cancel();
        }
    });
    sending->SetTimeLeft(estimate);
    sendingFor.start();
    sending->ShowNow();
}

void QtSendUi::AddLine(const std::string& line) {
    if (sending) {
        sending->AddLine(QString::fromStdString(line));
    }
}

void QtSendUi::CloseSending() {
    if (sending) {
        sending->Finish();
        delete sending.data();
    }
}

void QtSendUi::KeepSending(const std::string& ending) {
    if (sending) {
        sending->AddLine(QString::fromStdString("Stopped: " + ending));
        sending->KeepOpen(); // it closes itself when the user is done reading it
        sending = nullptr;
    }
}

void QtSendUi::SetSampleBar(int percent) {
    if (sending) {
        sending->SetSampleBar(percent);
    }
}

void QtSendUi::SetProgramBar(int percent) {
    if (sending) {
        sending->SetProgramBar(percent);
        sending->SetTimeLeft(TimeLeftSeconds(estimate, percent / 100.0,
                                             static_cast<double>(sendingFor.elapsed()) / 1000));
    }
}

} // namespace velomire::transfer
