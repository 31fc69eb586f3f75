#include "program/ui/CVelomireDoc.h"

#include "editing/SampleListCells.h"
#include "program/OpenSample.h"
#include "program/ProgramDelta.h"
#include "program/ProgramFile.h"
#include "program/ui/CSelectSamplesDlg.h"
#include "transfer/SendCommand.h"
#include "transfer/devices/SystemMidiDriver.h"
#include "transfer/devices/SystemMidiInDriver.h"
#include "transfer/ui/COptionsDlg.h"
#include "transfer/ui/CSendingDlg.h" // QtSendUi.h returns a QPointer of it inline
#include "transfer/ui/QtSendUi.h"
#include "ui/FileDialogs.h"
#include "ui/QtText.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUndoCommand>

#include <optional>
#include <utility>

#include <optional>

namespace velomire::program {
namespace {

std::filesystem::path ToPath(const QString& path) {
#ifdef Q_OS_WIN
    return std::filesystem::path(path.toStdWString());
#else
    return std::filesystem::path(QFile::encodeName(path).toStdString());
#endif
}

using app::FromStd;

QString SampleLabel(const Program& program, int row) {
    return FromStd(FieldText(program.samples[static_cast<std::size_t>(row)].sample.sampleName));
}

} // namespace

// One step of the history: the program's delta and, when the change renamed or moved the
// document, its file state before and after. The change itself has already run when the step is
// pushed, so the first redo does nothing.
class CVelomireDoc::ChangeCommand : public QUndoCommand {
public:
    ChangeCommand(CVelomireDoc& doc, const QString& text, ProgramDelta delta,
                  std::optional<std::pair<FileState, FileState>> files)
        : QUndoCommand(text), doc(doc), delta(std::move(delta)), files(std::move(files)) {}

    void undo() override {
        delta.ApplyBefore(*doc.program);
        if (files) {
            doc.RestoreFileState(files->first);
        }
        doc.UpdateAllViews();
    }

    void redo() override {
        if (pushed) {
            pushed = false;
            return;
        }
        delta.ApplyAfter(*doc.program);
        if (files) {
            doc.RestoreFileState(files->second);
        }
        doc.UpdateAllViews();
    }

private:
    CVelomireDoc& doc;
    ProgramDelta delta;
    std::optional<std::pair<FileState, FileState>> files;
    bool pushed = true;
};

CVelomireDoc::CVelomireDoc(transfer::SettingsStore& store, UserMessages& messages,
                           app::FileDialogs& dialogs, app::AppServices services, QObject* parent)
    : QObject(parent), store(store), messages(messages), dialogs(dialogs),
      services(std::move(services)), program(std::make_unique<Program>()),
      settings(transfer::SamplerSettings::Read(store)) {
    connect(&undoStack, &QUndoStack::cleanChanged, this,
            [this](bool clean) { SetModifiedFlag(!clean); });
}

CVelomireDoc::~CVelomireDoc() = default;

void CVelomireDoc::SetTitle(const QString& newTitle) {
    if (newTitle == title) {
        return;
    }
    title = newTitle;
    emit titleChanged(title);
}

void CVelomireDoc::SetModifiedFlag(bool isModified) {
    if (!isModified && !undoStack.isClean()) {
        undoStack.setClean(); // comes back here through cleanChanged
    }
    if (isModified == modified) {
        return;
    }
    modified = isModified;
    emit modifiedChanged(modified);
}

void CVelomireDoc::MarkChanged() {
    SetModifiedFlag(true);
    UpdateAllViews();
}

CVelomireDoc::FileState CVelomireDoc::CurrentFileState() const {
    return {title, pathName, program->programDirectory, program->programCreated};
}

void CVelomireDoc::RestoreFileState(const FileState& state) {
    pathName = state.pathName;
    if (state.programDirectory != program->programDirectory) {
        program->programDirectory = state.programDirectory;
        std::error_code ec;
        std::filesystem::current_path(state.programDirectory, ec);
    }
    program->programCreated = state.programCreated;
    SetTitle(state.title);
}

void CVelomireDoc::ClearHistory() {
    undoStack.clear();
    SetModifiedFlag(false);
}

bool CVelomireDoc::Change(const QString& what, const std::function<void()>& change, Views views) {
    const StoredProgram before = StoredProgram::Of(*program);
    const FileState filesBefore = CurrentFileState();
    change();
    ProgramDelta delta = ProgramDelta::Between(before, *program);
    const FileState filesAfter = CurrentFileState();
    const bool filesChanged = !(filesBefore == filesAfter);
    const bool changedSomething = !delta.Empty() || filesChanged;
    if (changedSomething) {
        std::optional<std::pair<FileState, FileState>> files;
        if (filesChanged) {
            files.emplace(filesBefore, filesAfter);
        }
        undoStack.push(new ChangeCommand(*this, what, std::move(delta), std::move(files)));
    }
    if (views == Views::update) {
        UpdateAllViews();
    }
    return changedSomething;
}

bool CVelomireDoc::OnNewDocument() {
    if (askProgramFile) {
        const QString path = dialogs.SaveFileName(QStringLiteral("Create New Program"),
                                                  QStringLiteral("Velomire program (*.vmp)"),
                                                  QString(), QStringLiteral("vmp"));
        if (!path.isEmpty()) {
            // The chosen file only names the program and its directory; it is first written by
            // Save, which therefore asks for the name again.
            pathName.clear();
            SetTitle(FromStd(program->SetProgramPath(ToPath(path), true)));
            ClearHistory();
            emit initialUpdate();
            UpdateAllViews();
        }
    } else {
        // Start-up: an empty, untitled document without a program.
        emit initialUpdate();
        UpdateAllViews();
    }
    askProgramFile = true;
    return true;
}

bool CVelomireDoc::OnOpenDocument(const QString& path) {
    // The program in memory changes only once every byte was read.
    const FileResult result = ProgramFile::LoadFile(ToPath(path), *program);
    if (!result) {
        messages.Show(result.error, QFileInfo(path).fileName().toStdString());
        return false;
    }
    const std::string stem = program->SetProgramPath(ToPath(path), false);

    pathName = QFileInfo(path).absoluteFilePath();
    SetTitle(FromStd(stem));
    ClearHistory();
    emit pathRecorded(pathName);
    emit initialUpdate();
    UpdateAllViews();
    return true;
}

void CVelomireDoc::OnFileNew() {
    if (SaveModified()) {
        OnNewDocument();
    }
}

void CVelomireDoc::OnFileOpen() {
    if (!SaveModified()) {
        return;
    }
    const QString path =
        dialogs.OpenFileName(QStringLiteral("Open"), QStringLiteral("Velomire prog (*.vmp)"));
    if (!path.isEmpty()) {
        OnOpenDocument(path);
    }
}

bool CVelomireDoc::OnFileSave() {
    if (pathName.isEmpty()) {
        return OnFileSaveAs();
    }
    return DoSave(pathName);
}

bool CVelomireDoc::OnFileSaveAs() {
    const QString proposal = QDir::current().filePath(title + QStringLiteral(".vmp"));
    const QString path =
        dialogs.SaveFileName(QStringLiteral("Save As"), QStringLiteral("Velomire prog (*.vmp)"),
                             proposal, QStringLiteral("vmp"));
    if (path.isEmpty()) {
        return false;
    }
    return DoSave(path);
}

bool CVelomireDoc::DoSave(const QString& path) {
    const FileResult result = ProgramFile::SaveFile(ToPath(path), *program);
    if (!result) {
        messages.Show(result.error, QFileInfo(path).fileName().toStdString());
        return false;
    }
    // The program keeps its name in memory; only the document takes the new file's. A new name
    // is a step of the history, which is then the one saved.
    const QString newPath = QFileInfo(path).absoluteFilePath();
    Change(
        QStringLiteral("Save As"),
        [&] {
            pathName = newPath;
            SetTitle(QFileInfo(path).completeBaseName());
        },
        Views::keep);
    SetModifiedFlag(false);
    emit pathRecorded(pathName);
    return true;
}

bool CVelomireDoc::SaveModified() {
    if (!modified) {
        return true;
    }
    switch (dialogs.AskToSave(title)) {
    case app::FileDialogs::SaveAnswer::save:
        return OnFileSave();
    case app::FileDialogs::SaveAnswer::discard:
        return true;
    case app::FileDialogs::SaveAnswer::cancel:
        break;
    }
    return false;
}

void CVelomireDoc::OnOpenSample() {
    // The new program replaces the current one: unsaved changes get the usual question first
    // instead of being dropped.
    if (!SaveModified()) {
        return;
    }
    const QString path =
        dialogs.OpenFileName(QStringLiteral("Open sample"), QStringLiteral("audio file (*.wav)"));
    if (path.isEmpty()) {
        return;
    }
    Change(QStringLiteral("Open Sample"), [&] {
        const auto newTitle = OpenSample(*program, ToPath(path), messages);
        if (!newTitle) {
            return;
        }
        // The program replaces the old one and has no file yet: Save asks.
        pathName.clear();
        SetTitle(FromStd(*newTitle));
    });
}

int CVelomireDoc::Play(const std::string& name) {
    if (services.play) {
        return services.play(name);
    }
    if (!name.empty()) {
        messages.Show("Error: Can't play File !", name);
    }
    return -1;
}

void CVelomireDoc::OnAddSamples() {
    if (!program->programCreated) {
        messages.Show("Create a program first !", appCaption);
        return;
    }
    CSelectSamplesDlg dialog(
        messages, [this](const std::string& name) { return Play(name); }, window);
    dialog.Pending().FillFrom(*program);
    if (dialog.exec() != QDialog::Accepted) {
        return;
    }
    Change(QStringLiteral("Add Samples"), [&] { dialog.Pending().ApplyTo(*program, messages); });
}

void CVelomireDoc::OnOptions() {
    std::vector<std::string> waveOutNames;
    if (services.audioOutputNames) {
        waveOutNames = services.audioOutputNames();
    }
    transfer::COptionsDlg dialog(settings, Driver().PortNames(), InDriver().PortNames(),
                                 std::move(waveOutNames), messages, window);
    if (dialog.exec() != QDialog::Accepted) {
        return;
    }
    settings = dialog.Result();
    settings.Write(store);
    store.Sync();
}

void CVelomireDoc::OnSendProgram() {
    transfer::QtSendUi ui(window, messages);
    sending = true;
    transfer::SendCommand send(*program, settings, Port(), messages, ui);
    // The answers of a sampler whose MIDI Out is connected, when Options names that port.
    std::optional<transfer::MidiInPort> replyPort;
    if (settings.midiInDevice >= 0) {
        replyPort.emplace(InDriver(), clock);
        replyPort->SetIdleHook(
            [] { QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents); });
        send.SetReplyPort(&*replyPort);
    }
    send.OnSendProgram();
    sending = false;
}

transfer::MidiInDriver& CVelomireDoc::InDriver() {
    if (!midiInDriver && services.makeMidiInDriver) {
        midiInDriver = services.makeMidiInDriver();
    }
    if (!midiInDriver) {
        midiInDriver = std::make_unique<transfer::SystemMidiInDriver>();
    }
    return *midiInDriver;
}

transfer::MidiDriver& CVelomireDoc::Driver() {
    if (!midiDriver && services.makeMidiDriver) {
        midiDriver = services.makeMidiDriver();
    }
    if (!midiDriver) {
        midiDriver = std::make_unique<transfer::SystemMidiDriver>();
    }
    return *midiDriver;
}

transfer::MidiOutPort& CVelomireDoc::Port() {
    if (!port) {
        port = std::make_unique<transfer::MidiOutPort>(Driver(), clock, messages);
        // The send runs on this thread: keep painting while it waits, but take no user input.
        port->SetIdleHook(
            [] { QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents); });
    }
    return *port;
}

void CVelomireDoc::EditSample(int row, EditScope scope,
                              const std::function<void(SampleEntry&)>& editor,
                              const QString& what) {
    if (row < 0 || row >= program->sampleCount) {
        return;
    }
    Change(what + QStringLiteral(" on ") + SampleLabel(*program, row), [&] {
        SampleEntry& entry = program->samples[static_cast<std::size_t>(row)];
        if (scope == EditScope::sampleAndKeygroup) {
            program->editEntry = entry;
        } else {
            program->editEntry.sample = entry.sample;
        }
        if (editor) {
            editor(program->editEntry);
        }
        // Copied back however the editor was closed.
        if (scope == EditScope::sampleAndKeygroup) {
            entry = program->editEntry;
        } else {
            entry.sample = program->editEntry.sample;
        }
    });
}

void CVelomireDoc::RenameSample(int row, const std::string& name) {
    if (row < 0 || row >= program->sampleCount) {
        return;
    }
    // A rename is a change like any other: without the flag it would be lost at Exit unasked.
    Change(
        QStringLiteral("Rename"),
        [&] {
            SetFieldText(program->samples[static_cast<std::size_t>(row)].sample.sampleName,
                         editing::SampleListCells::CutSampleName(name));
        },
        Views::keep);
}

void CVelomireDoc::RemoveSamples(const std::vector<int>& rows) {
    Change(QStringLiteral("Remove"), [&] { program->RemoveSampleEntries(rows); });
}

std::vector<int> CVelomireDoc::MoveSamples(const std::vector<int>& rows, int step) {
    std::vector<int> moved;
    Change(QStringLiteral("Move"), [&] { moved = program->MoveSampleEntries(rows, step); });
    return moved;
}

std::vector<int> CVelomireDoc::MoveSamplesTo(const std::vector<int>& rows, int before) {
    std::vector<int> moved;
    Change(QStringLiteral("Move"), [&] { moved = program->MoveSampleEntriesTo(rows, before); });
    return moved;
}

} // namespace velomire::program
