#pragma once

#include <QDialog>
#include <QStringList>

#include <functional>

class QLabel;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QThread;

namespace velomire::instrument {

// Import instrument: the instruments of a file (the list is hidden when it holds one), and for
// the one selected what it becomes on the chosen model, before anything is written. `reportFor`
// gives the report's lines for an index of `names` (read and mapped when first asked). It runs on
// a thread of its own, one call at a time, so that reading a large file leaves the window alive;
// OK waits for the report of the instrument selected, and the dialog closes only once the call
// under way has returned (what `reportFor` uses stays the caller's until then).
class ImportInstrumentDlg : public QDialog {
    Q_OBJECT

public:
    ImportInstrumentDlg(const QString& fileName, const QString& modelName, const QStringList& names,
                        std::function<QStringList(int)> reportFor, QWidget* parent = nullptr);
    ~ImportInstrumentDlg() override;

    // The index of the instrument selected.
    int Selected() const;

    void done(int result) override;

private:
    void ShowReport();
    void StartReport();
    void WaitForReport();

    std::function<QStringList(int)> reportFor;
    QListWidget* list = nullptr;
    QPlainTextEdit* report = nullptr;
    QPushButton* ok = nullptr;
    // The call of `reportFor` under way, if any, and whether the dialog is closing.
    QThread* worker = nullptr;
    bool closing = false;
};

} // namespace velomire::instrument
