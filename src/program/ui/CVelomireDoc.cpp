#include "program/ui/CVelomireDoc.h"

#include "editing/SampleListCells.h"
#include "program/OpenSample.h"
#include "program/ProgramFile.h"
#include "program/ui/CSelectSamplesDlg.h"
#include "transfer/SendCommand.h"
#include "transfer/devices/SystemMidiDriver.h"
#include "transfer/ui/COptionsDlg.h"
#include "transfer/ui/CSendingDlg.h" // QtSendUi.h returns a QPointer of it inline
#include "transfer/ui/QtSendUi.h"
#include "ui/FileDialogs.h"
#include "ui/QtSettingsStore.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace velomire::program {
namespace {

constexpr std::string_view appCaption = "Velomire";

std::filesystem::path ToPath(const QString& path) {
#ifdef Q_OS_WIN
    return std::filesystem::path(path.toStdWString());
#else
    return std::filesystem::path(QFile::encodeName(path).toStdString());
#endif
}

QString FromStd(const std::string& text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

} // namespace

CVelomireDoc::CVelomireDoc(app::QtSettingsStore& store, UserMessages& messages,
                           app::FileDialogs& dialogs, app::AppServices services, QObject* parent)
    : QObject(parent), store(store), messages(messages), dialogs(dialogs),
      services(std::move(services)), program(std::make_unique<Program>()),
      settings(transfer::SamplerSettings::Read(store)) {}

CVelomireDoc::~CVelomireDoc() = default;

void CVelomireDoc::SetTitle(const QString& newTitle) {
    if (newTitle == title) {
        return;
    }
    title = newTitle;
    emit titleChanged(title);
}

void CVelomireDoc::SetModifiedFlag(bool isModified) {
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
            SetModifiedFlag(false);
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
    // Read into a fresh program and take it over only once every byte was there.
    auto fresh = std::make_unique<Program>();
    const FileResult result = ProgramFile::LoadFile(ToPath(path), *fresh);
    if (!result) {
        messages.Show(result.error, QFileInfo(path).fileName().toStdString());
        return false;
    }
    program->header = fresh->header;
    program->samples = fresh->samples;
    program->sampleCount = fresh->sampleCount;
    const std::string stem = program->SetProgramPath(ToPath(path), false);

    pathName = QFileInfo(path).absoluteFilePath();
    SetTitle(FromStd(stem));
    SetModifiedFlag(false);
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
    // The program keeps its name in memory; only the document takes the new file's.
    pathName = QFileInfo(path).absoluteFilePath();
    SetTitle(QFileInfo(path).completeBaseName());
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
    const auto newTitle = OpenSample(*program, ToPath(path), messages);
    if (!newTitle) {
        return;
    }
    // The program replaces the old one without a save prompt and has no file yet: Save asks.
    pathName.clear();
    SetTitle(FromStd(*newTitle));
    MarkChanged();
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
    if (dialog.Pending().ApplyTo(*program, messages)) {
        SetModifiedFlag(true);
    }
    UpdateAllViews();
}

void CVelomireDoc::OnOptions() {
    std::vector<std::string> waveOutNames;
    if (services.audioOutputNames) {
        waveOutNames = services.audioOutputNames();
    }
    transfer::COptionsDlg dialog(settings, Driver().PortNames(), std::move(waveOutNames), messages,
                                 window);
    if (dialog.exec() != QDialog::Accepted) {
        return;
    }
    settings = dialog.Result();
    settings.Write(store);
    store.Sync();
}

void CVelomireDoc::OnSendProgram() {
    transfer::QtSendUi ui(window, messages);
    ui.SetCancel([this] { CancelSend(); });
    sending = true;
    transfer::SendCommand(*program, settings, Port(), messages, ui).OnSendProgram();
    sending = false;
    emit sendEnded();
}

void CVelomireDoc::CancelSend() {
    if (sending) {
        Port().RequestCancel();
    }
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
        // The send runs on this thread: keep painting while it waits, and take the input of the
        // "Sending ..." window (its Cancel), which swallows every other.
        port->SetIdleHook([] { QCoreApplication::processEvents(); });
    }
    return *port;
}

void CVelomireDoc::EditSample(int row, EditScope scope,
                              const std::function<void(SampleEntry&)>& editor) {
    if (row < 0 || row >= program->sampleCount) {
        return;
    }
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
    MarkChanged();
}

void CVelomireDoc::RenameSample(int row, const std::string& name) {
    if (row < 0 || row >= program->sampleCount) {
        return;
    }
    SetFieldText(program->samples[static_cast<std::size_t>(row)].sample.sampleName,
                 editing::SampleListCells::CutSampleName(name));
    // A rename is a change like any other: without the flag it would be lost at Exit unasked.
    SetModifiedFlag(true);
}

} // namespace velomire::program
