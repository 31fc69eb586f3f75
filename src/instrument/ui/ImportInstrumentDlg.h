#pragma once

#include <QDialog>
#include <QStringList>

#include <functional>

class QLabel;
class QListWidget;
class QPlainTextEdit;

namespace velomire::instrument {

// Import instrument: the instruments of a file (the list is hidden when it holds one), and for
// the one selected what it becomes on the chosen model, before anything is written. `reportFor`
// gives the report's lines for an index of `names` (read and mapped when first asked).
class ImportInstrumentDlg : public QDialog {
    Q_OBJECT

public:
    ImportInstrumentDlg(const QString& fileName, const QString& modelName, const QStringList& names,
                        std::function<QStringList(int)> reportFor, QWidget* parent = nullptr);

    // The index of the instrument selected.
    int Selected() const;

private:
    void ShowReport();

    std::function<QStringList(int)> reportFor;
    QListWidget* list = nullptr;
    QPlainTextEdit* report = nullptr;
};

} // namespace velomire::instrument
