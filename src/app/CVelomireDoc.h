#pragma once

#include "app/AppServices.h"
#include "program/IncomingFiles.h"
#include "program/MessageList.h"
#include "program/Program.h"
#include "program/SampleConverter.h"
#include "program/UserMessages.h"
#include "transfer/MidiOutPort.h"
#include "transfer/NumberMemory.h"
#include "transfer/SamplerSettings.h"
#include "transfer/SettingsStore.h"
#include "transfer/WaitClock.h"
#include "transfer/devices/MidiDevices.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QUndoStack>
#include <QWidget>

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace velomire::app {

class FileDialogs;

// The document: the one program of the application with its file path, title and modified flag,
// the transfer settings, and the commands that change them. Every change of stored data goes
// through Change, which records it as one step of the undo history and emits changed(); the views
// rebuild from it. The modified flag follows the history: back at the step last saved, the
// program is unmodified again.
class CVelomireDoc : public QObject {
    Q_OBJECT

public:
    // Which blocks of a row an editor works on: the Sample Editor both, the Loop Editor only the
    // SampleBlock.
    enum class EditScope { sampleAndKeygroup, sampleOnly };

    static constexpr const char* untitled = "Untitled";

    // Reads the settings from the store, each checked against its range.
    CVelomireDoc(transfer::SettingsStore& store, program::UserMessages& messages,
                 FileDialogs& dialogs, AppServices services, QObject* parent = nullptr);
    ~CVelomireDoc() override;

    program::Program& GetProgram() { return *program; }
    const program::Program& GetProgram() const { return *program; }
    transfer::SamplerSettings& Settings() { return settings; }
    // The settings refused at start (out of range or unreadable), for the status bar; empty when
    // all were fine.
    const std::string& SettingsWarning() const { return settingsWarning; }
    program::UserMessages& Messages() { return messages; }
    FileDialogs& Dialogs() { return dialogs; }

    const QString& Title() const { return title; }
    const QString& PathName() const { return pathName; }
    bool IsModified() const { return modified; }
    // The window the document's dialogs are modal to.
    void SetWindow(QWidget* window) { this->window = window; }

    // New without the save prompt: at start-up it shows nothing and creates no program; every
    // later New asks for the new program's file in "Create New Program" (cancel changes nothing),
    // which the first Save then writes.
    bool OnNewDocument();
    // Loads the program file (a relative path is taken from the current working directory) and,
    // only when it loaded, makes its directory the program's; a refused file is reported and
    // changes nothing.
    bool OnOpenDocument(const QString& path);
    // After start-up, New asks for a file name.
    void EndStartUp() { askProgramFile = true; }

    // The File commands, each with the save prompt where it belongs.
    void OnFileNew();
    void OnFileOpen();
    bool OnFileSave();
    bool OnFileSaveAs();
    // Import instrument: the instrument file (`file`, or asked for when empty; SFZ, SoundFont 2,
    // DLS, GigaStudio, Korg multisample, Decent Sampler, Akai disk image), the instrument in it
    // and, for the model in Options, what it becomes, before anything is written; then the new
    // program's file (its WAV files go beside it, never over an existing file), written and opened
    // as Open opens a program.
    void OnImportInstrument(const QString& file = {});
    // Export as SFZ: the program as an SFZ instrument with its WAV files, in a folder asked for.
    void OnExportSfz();
    // Asks to save a modified program: true to go on (saved or discarded), false to stop.
    bool SaveModified();

    // The document's own commands.
    void OnOpenSample();
    void OnAddSamples();
    void OnOptions();
    // "Map keys from names" on these rows (all when empty): one change of the document. Names
    // without a note are listed in one message.
    void OnMapKeysFromNames(const std::vector<int>& rows);
    // Files dropped on the list: added as Add Samples adds them, converted when needed, copied
    // into the program's directory when they are elsewhere (after one question). Without a
    // program, the new program's file is asked for first, as New does.
    void OnDropFiles(const QStringList& paths);
    void OnSendProgram();
    // Program > Sampler contents: the Sampler window, with a Midi In device set in Options.
    void OnSamplerContents();
    // True while a send runs.
    bool IsSending() const { return sending; }
    // Asks the running send to stop after the message in progress, as its Cancel button does.
    void CancelSend();

    // How a change ends: every view rebuilt, or none (the view that made it shows it already).
    enum class Views { update, keep };
    // The one entry point for every change of the program's stored data (and of the document's
    // name and file with it): runs `change` and, when it changed anything, records it as one undo
    // step called `what` ("Undo <what>") and marks the document modified. A change that changed
    // nothing leaves no step and no flag. Returns whether something changed.
    bool Change(const QString& what, const std::function<void()>& change,
                Views views = Views::update);

    // The editing protocol: copies the row into editEntry, runs the editor on it (none: the copy
    // goes straight back), copies it back over the row as one undo step called `what` when it
    // changed anything, and updates the views.
    void EditSample(int row, EditScope scope,
                    const std::function<void(program::SampleEntry&)>& editor,
                    const QString& what = QStringLiteral("Edit"));
    // Renames a row in place (cut to the 19 bytes the field holds) as one undo step; the views
    // are not rebuilt, only the renamed label changes.
    void RenameSample(int row, const std::string& name);
    // Removes rows from the program (never their files), as one undo step.
    void RemoveSamples(const std::vector<int>& rows);
    // Moves rows one place up (step -1) or down (+1), or all before the row at `before`, as one
    // undo step. Returns the rows' new indices (nothing when nothing moved).
    std::vector<int> MoveSamples(const std::vector<int>& rows, int step);
    std::vector<int> MoveSamplesTo(const std::vector<int>& rows, int before);

    // The undo history; New and Open clear it, Save marks its current step as the saved one.
    QUndoStack& UndoStack() { return undoStack; }
    // The hidden trace switch: later sends also write the trace dump.
    void SetTraceMode() { program->traceMode = 1; }

    // False also makes the history's current step the saved one.
    void SetModifiedFlag(bool isModified);
    // Marks the document modified and updates all views, for a change outside the history.
    void MarkChanged();
    void UpdateAllViews() { emit changed(); }

signals:
    // The program's rows may have changed: views rebuild.
    void changed();
    // A program was created or opened: views forget the row they last worked on.
    void initialUpdate();
    void titleChanged(const QString& title);
    // A send has ended, however it ended.
    void sendEnded();
    void modifiedChanged(bool modified);
    // A program file was opened or saved under this path (the recent-file list takes it).
    void pathRecorded(const QString& path);
    // A line for the status bar: how a command ended ("Sent 3 samples and the program in 12 s").
    void statusMessage(const QString& text);

private:
    // New's question for the program file; true when a program was created from the answer.
    bool AskForNewProgram();
    // How files are taken into the program (converted, copied, refused) with the model chosen,
    // asking through `questions`.
    program::IncomingFiles Incoming(program::IncomingQuestions& questions);
    // The files of a batch that were not added, with their reasons, as one message.
    void ShowRefusals(const program::MessageList& refusals);
    class ChangeCommand;
    // What the document keeps about its program besides the stored data.
    struct FileState {
        QString title;
        QString pathName;
        std::filesystem::path programDirectory;
        bool programCreated = false;
        bool operator==(const FileState&) const = default;
    };
    FileState CurrentFileState() const;
    void RestoreFileState(const FileState& state);
    // A new history: after New and Open, nothing before them can be undone.
    void ClearHistory();

    bool CanSave();
    bool DoSave(const QString& path);
    void SetTitle(const QString& newTitle);
    int Play(const std::string& name);

    transfer::SettingsStore& store;
    program::UserMessages& messages;
    FileDialogs& dialogs;
    AppServices services;
    transfer::MidiDevices midi;
    QPointer<QWidget> window;

    std::unique_ptr<program::Program> program;
    transfer::SamplerSettings settings;
    transfer::NumberMemory numberMemory;
    program::ConvertOptions
        convertProposal; // the conversion choices last made, kept with the settings
    std::string settingsWarning;
    QString title = QString::fromLatin1(untitled);
    QString pathName;
    bool modified = false;
    bool askProgramFile = false;
    bool sending = false;
    QUndoStack undoStack;

    std::unique_ptr<program::SampleConverter> converter;
};

} // namespace velomire::app
