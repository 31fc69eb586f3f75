#pragma once

#include "program/UserMessages.h"
#include "transfer/SendCommand.h"

#include <QElapsedTimer>
#include <QPointer>

#include <functional>
#include <memory>

class QWidget;

namespace velomire::transfer {

class CSendingDlg;

// The Send command's user interface in the desktop application: the wait cursor, the "Program
// Summary" and "Program and Sample number" dialogs, and the "Sending ..." window with its bars
// and the time left (from the summary's estimate and the share of the program sent).
class QtSendUi : public SendUi {
public:
    // Refusals inside the numbers dialog go to `messages`.
    QtSendUi(QWidget* parent, program::UserMessages& messages);
    ~QtSendUi() override;
    QtSendUi(const QtSendUi&) = delete;
    QtSendUi& operator=(const QtSendUi&) = delete;

    void BeginWait() override;
    void EndWait() override;
    bool ConfirmSummary(const ProgramSummary& summary) override;
    bool AskNumbers(SendNumbers& numbers) override;
    void OpenSending(const std::string& title) override;
    void AddLine(const std::string& line) override;
    void CloseSending() override;
    void KeepSending(const std::string& ending) override;
    void SetSampleBar(int percent) override;
    void SetProgramBar(int percent) override;

    // What Cancel in the "Sending ..." window does.
    void SetCancel(std::function<void()> action) { cancel = std::move(action); }

    // The window of the running send, or null.
    CSendingDlg* SendingWindow() const { return sending.data(); }

private:
    QWidget* parent;
    program::UserMessages& messages;
    QPointer<CSendingDlg> sending;
    std::function<void()> cancel;
    int waitCursors = 0;
    double estimate = 0; // seconds, from the summary
    QElapsedTimer sendingFor;
};

} // namespace velomire::transfer
