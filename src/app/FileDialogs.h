#pragma once

#include "program/SampleConverter.h"

#include <QPointer>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <functional>
#include <optional>

namespace velomire::app {

// The questions the document asks about files: which file to open, under which name to save,
// and whether to save a modified program first. The application shows Qt's dialogs; tests answer
// from a script.
class FileDialogs {
public:
    enum class SaveAnswer { save, discard, cancel };

    virtual ~FileDialogs() = default;
    // An existing file, or an empty string when the user cancels. filter: "name (*.ext)".
    virtual QString OpenFileName(const QString& title, const QString& filter) = 0;
    // A file to write (overwriting confirmed by the dialog), or empty on cancel. proposal is the
    // path shown at first (may be empty); suffix is added to a name typed without one.
    virtual QString SaveFileName(const QString& title, const QString& filter,
                                 const QString& proposal, const QString& suffix) = 0;
    // "Save changes to <title>?" with Save, Discard and Cancel.
    virtual SaveAnswer AskToSave(const QString& documentTitle) = 0;
    // Whether to convert these files (names, with why when it is their rate) into 16-bit WAV
    // files, and how: the rate and the dither, starting from `proposal`. Nothing when the user
    // declines.
    virtual std::optional<program::ConvertOptions>
    AskToConvert(const QStringList& files, const program::ConvertOptions& proposal) = 0;
    // A yes/no question; true for yes.
    virtual bool Confirm(const QString& question) = 0;
    // An existing folder, starting from `from`, or empty on cancel.
    virtual QString FolderName(const QString& title, const QString& from) = 0;
    // Import instrument: which of the instruments `names` of `file` to import, seeing for the one
    // selected the report `reportFor` gives (what it becomes on `modelName`). Its index, or
    // nothing on Cancel.
    virtual std::optional<int>
    ChooseInstrument(const QString& file, const QString& modelName, const QStringList& names,
                     const std::function<QStringList(int)>& reportFor) = 0;
};

class QtFileDialogs : public FileDialogs {
public:
    explicit QtFileDialogs(QWidget* parent = nullptr) : parent(parent) {}
    void SetParent(QWidget* window) { parent = window; }

    QString OpenFileName(const QString& title, const QString& filter) override;
    QString SaveFileName(const QString& title, const QString& filter, const QString& proposal,
                         const QString& suffix) override;
    SaveAnswer AskToSave(const QString& documentTitle) override;
    std::optional<program::ConvertOptions>
    AskToConvert(const QStringList& files, const program::ConvertOptions& proposal) override;
    bool Confirm(const QString& question) override;
    QString FolderName(const QString& title, const QString& from) override;
    std::optional<int> ChooseInstrument(const QString& file, const QString& modelName,
                                        const QStringList& names,
                                        const std::function<QStringList(int)>& reportFor) override;

private:
    QPointer<QWidget> parent;
};

} // namespace velomire::app
