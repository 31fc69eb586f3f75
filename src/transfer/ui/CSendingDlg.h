#pragma once

#include <QDialog>
#include <QStringList>

class QListWidget;
class QProgressBar;

namespace velomire::transfer {

// The "Sending ..." window of a running send: the lines of what is sent, in order, and the
// "Sample" and "Program" bars (0 to 100). It has no close box and takes no input: while it exists
// every mouse and key event of the application is swallowed, so nothing typed or clicked during
// the send is acted on, not even afterwards; only a message box shown above it during the send
// gets its input. Each change is painted at once, since the send runs on the user-interface
// thread and only lets paint and timer events through between messages.
class CSendingDlg : public QDialog {
    Q_OBJECT

public:
    explicit CSendingDlg(const QString& title, QWidget* parent = nullptr);
    ~CSendingDlg() override;

    void AddLine(const QString& line);
    void SetSampleBar(int percent);
    void SetProgramBar(int percent);

    QStringList Lines() const;
    int SampleBar() const;
    int ProgramBar() const;

    // Shows the window and lets the window system map it before the first message goes out.
    void ShowNow();
    // Hides the window and drops the input that queued up during the send, and for a moment
    // after it, instead of letting it through.
    void Finish();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void reject() override {}

private:
    // How long input is still dropped after the send, for events on their way when it ended.
    static constexpr int inputFlushMs = 150;

    void PaintNow();

    QListWidget* list;
    QProgressBar* sampleBar;
    QProgressBar* programBar;
};

} // namespace velomire::transfer
