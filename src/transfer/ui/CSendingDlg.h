#pragma once

#include <QDialog>
#include <QStringList>

class QLabel;
class QListWidget;
class QProgressBar;
class QPushButton;

namespace velomire::transfer {

// The "Sending ..." window of a running send: the lines of what is sent, in order, the "Sample"
// and "Program" bars (0 to 100), the time left, and a Cancel button (Esc does the same). It has no
// close box. While the send runs every other mouse and key event of the application is swallowed,
// so nothing typed or clicked elsewhere during the send is acted on, not even afterwards; only its
// own window and a message box shown above it during the send get their input. Each change is
// painted at once, since the send runs on the user-interface thread and only handles events
// while it waits.
class CSendingDlg : public QDialog {
    Q_OBJECT

public:
    explicit CSendingDlg(const QString& title, QWidget* parent = nullptr);
    ~CSendingDlg() override;

    void AddLine(const QString& line);
    void SetSampleBar(int percent);
    void SetProgramBar(int percent);
    // "Time left: 1min 33sec".
    void SetTimeLeft(double seconds);

    QStringList Lines() const;
    int SampleBar() const;
    int ProgramBar() const;
    QString TimeLeft() const;

    // Shows the window and lets the window system map it before the first message goes out.
    void ShowNow();
    // Hides the window and drops the input that queued up during the send, and for a moment
    // after it, instead of letting it through.
    void Finish();
    // After a send that failed: drops that input as Finish does, then stays as a plain window
    // whose Cancel became Close (Esc too), the rest of the application working again; Close
    // deletes it.
    void KeepOpen();
    bool Kept() const { return kept; }

signals:
    // Cancel or Esc, once per window.
    void cancelRequested();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void reject() override;

private:
    // How long input is still dropped after the send, for events on their way when it ended.
    static constexpr int inputFlushMs = 150;

    void PaintNow();
    void DropQueuedInput();

    QPushButton* cancelButton;
    QListWidget* list;
    QProgressBar* sampleBar;
    QProgressBar* programBar;
    QLabel* timeLeft;
    bool kept = false;
};

} // namespace velomire::transfer
