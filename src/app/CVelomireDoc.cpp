#include "app/CVelomireDoc.h"

#include "app/FileDialogs.h"
#include "app/SamplerSession.h"
#include "editing/SampleListCells.h"
#include "instrument/ImportWriter.h"
#include "instrument/ProgramMapping.h"
#include "instrument/SfzWriter.h"
#include "instrument/devices/InstrumentFiles.h"
#include "instrument/devices/NewFileWriter.h"
#include "program/IncomingFiles.h"
#include "program/KeyMapping.h"
#include "program/OpenSample.h"
#include "program/ProgramDelta.h"
#include "program/ProgramFile.h"
#include "program/devices/SndfileConverter.h"
#include "program/ui/CSelectSamplesDlg.h"
#include "transfer/OffPitch.h"
#include "transfer/OptionsPorts.h"
#include "transfer/SamplerModel.h"
#include "transfer/SendCommand.h"
#include "transfer/ui/COptionsDlg.h"
#include "transfer/ui/CSendingDlg.h" // QtSendUi.h returns a QPointer of it inline
#include "transfer/ui/QtSendUi.h"
#include "ui/QtText.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProgressDialog>
#include <QTimer>
#include <QUndoCommand>

#include <algorithm>
#include <map>
#include <optional>
#include <utility>

namespace velomire::app {

using program::appCaption;
using program::CSelectSamplesDlg;
using program::FieldText;
using program::FileResult;
using program::MapKeysFromNames;
using program::MessageList;
using program::OpenSample;
using program::PendingSamples;
using program::Program;
using program::ProgramDelta;
using program::ProgramFile;
using program::SampleEntry;
using program::SetFieldText;
using program::SndfileConverter;
using program::StoredProgram;
using program::TargetRate;
using program::UnmappedNamesText;
using program::UserMessages;

namespace {

// The conversion choices last made, kept with the settings.
constexpr std::string_view ditherKey = "ConvertDither";
constexpr std::string_view rateKey = "ConvertRate";

QString SampleLabel(const Program& program, int row) {
    return FromStd(FieldText(program.samples[static_cast<std::size_t>(row)].sample.sampleName));
}

// The questions of files taken into the program, put by the document's dialogs. The conversion
// choices the user made are proposed next time, also after a restart.
class DocumentQuestions final : public program::IncomingQuestions {
public:
    DocumentQuestions(FileDialogs& dialogs, transfer::SettingsStore& store,
                      program::ConvertOptions& proposal, QWidget* window)
        : dialogs(dialogs), store(store), proposal(proposal), window(window) {}

    std::optional<program::ConvertOptions>
    AskToConvert(const std::vector<std::string>& names,
                 const program::ConvertOptions& asked) override {
        QStringList list;
        for (const std::string& name : names) {
            list.append(FromStd(name));
        }
        const auto options = dialogs.AskToConvert(list, asked);
        if (options) {
            proposal = *options;
            store.Write(ditherKey, options->dither ? "1" : "0");
            store.Write(rateKey, std::to_string(static_cast<int>(options->rate)));
            store.Sync();
        }
        return options;
    }
    void ConversionStarts() override {
        // Shown only when the batch takes longer than half a second.
        progress = std::make_unique<QProgressDialog>(QStringLiteral("Converting samples..."),
                                                     QStringLiteral("Cancel"), 0, 1000, window);
        progress->setWindowModality(Qt::WindowModal);
        progress->setMinimumDuration(500);
        progress->setAutoClose(false);
    }
    bool Converting(double done) override {
        progress->setValue(static_cast<int>(done * 1000));
        QCoreApplication::processEvents();
        return !progress->wasCanceled();
    }
    void ConversionEnded() override { progress.reset(); }
    bool ConfirmCopy(std::size_t count, const std::filesystem::path& directory) override {
        return dialogs.Confirm(
            QStringLiteral("Copy %1 into the program's directory %2?")
                .arg(count == 1 ? QStringLiteral("1 file") : QStringLiteral("%1 files").arg(count),
                     FromStd(directory.string())));
    }

private:
    FileDialogs& dialogs;
    transfer::SettingsStore& store;
    program::ConvertOptions& proposal;
    QWidget* window;
    std::unique_ptr<QProgressDialog> progress;
};

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
                           FileDialogs& dialogs, AppServices services, QObject* parent)
    : QObject(parent), store(store), messages(messages), dialogs(dialogs),
      services(std::move(services)),
      // The send runs on this thread: keep painting while it waits, and take the input of the
      // "Sending ..." window (its Cancel), which swallows every other.
      midi(this->services.makeMidiDriver, this->services.makeMidiInDriver, messages,
           [] { QCoreApplication::processEvents(); }),
      program(std::make_unique<Program>()), converter(std::make_unique<SndfileConverter>()) {
    // Every value is checked where it is read: a hand-edited file never reaches the wire.
    transfer::SettingsReader reader(store);
    settings = transfer::SamplerSettings::Read(reader);
    numberMemory = transfer::NumberMemory::Read(reader);
    convertProposal.dither = reader.Number(ditherKey, 0, 1, 0) == 1;
    convertProposal.rate =
        static_cast<TargetRate>(reader.Number(rateKey, 0, static_cast<int>(TargetRate::s900), 0));
    settingsWarning = reader.Warning();
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
    program->programDirectory = state.programDirectory;
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
    if (changedSomething && views == Views::update) {
        UpdateAllViews();
    }
    return changedSomething;
}

bool CVelomireDoc::AskForNewProgram() {
    const QString path = dialogs.SaveFileName(QStringLiteral("Create New Program"),
                                              QStringLiteral("Velomire prog (*.vmp)"), QString(),
                                              QStringLiteral("vmp"));
    if (path.isEmpty()) {
        return false;
    }
    // The chosen file names the program and its directory; the first Save writes it.
    pathName = QFileInfo(path).absoluteFilePath();
    SetTitle(FromStd(program->SetProgramPath(ToPath(pathName), true)));
    ClearHistory();
    emit initialUpdate();
    UpdateAllViews();
    return true;
}

bool CVelomireDoc::OnNewDocument() {
    if (askProgramFile) {
        AskForNewProgram();
    } else {
        // Start-up: an empty, untitled document without a program.
        emit initialUpdate();
        UpdateAllViews();
    }
    askProgramFile = true;
    return true;
}

bool CVelomireDoc::OnOpenDocument(const QString& givenPath) {
    // A relative path names a file in the working directory as it is now, before the program's
    // directory becomes the working directory.
    const QString path = QFileInfo(givenPath).absoluteFilePath();
    // The program in memory changes only once every byte was read.
    const FileResult result = ProgramFile::LoadFile(ToPath(path), *program);
    if (!result) {
        messages.Show(result.Text(), QFileInfo(path).fileName().toStdString());
        return false;
    }
    const std::string stem = program->SetProgramPath(ToPath(path), false);

    pathName = path;
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

namespace {

QString StatusText(const program::Status& status) {
    return FromStd(status.detail.empty() ? status.text : status.text + " (" + status.detail + ")");
}

} // namespace

void CVelomireDoc::OnImportInstrument(const QString& given) {
    if (!SaveModified()) {
        return;
    }
    const QString file =
        given.isEmpty()
            ? dialogs.OpenFileName(QStringLiteral("Import instrument"),
                                   QStringLiteral("Instrument files (*.sfz *.sf2 *.dls *.gig *.kmp "
                                                  "*.dspreset *.img *.hda *.iso);;All files (*)"))
            : QFileInfo(given).absoluteFilePath();
    if (file.isEmpty()) {
        return;
    }
    const std::string fileName = QFileInfo(file).fileName().toStdString();
    std::string error;
    const auto entries = instrument::ListInstruments(ToPath(file), error);
    if (!entries || entries->empty()) {
        messages.Show(entries ? fileName + ": holds no instrument" : error, appCaption);
        return;
    }
    QStringList names;
    for (const auto& entry : *entries) {
        names << FromStd(instrument::EntryLine(entry));
    }

    // Each instrument is read, probed and mapped once, when first selected: on the dialog's
    // reading thread, one at a time, and on this one once the dialog has closed.
    struct Mapped {
        std::optional<instrument::Instrument> read;
        instrument::ProgramMapping mapping;
        std::string error;
    };
    std::map<int, Mapped> mapped;
    const std::int32_t model = settings.samplerModel;
    const auto mapAt = [&](int index) -> Mapped& {
        auto [at, added] = mapped.try_emplace(index);
        Mapped& result = at->second;
        if (!added) {
            return result;
        }
        const auto& entry = (*entries)[static_cast<std::size_t>(index)];
        result.read =
            instrument::ReadInstrument(ToPath(file), {entry.number, std::nullopt}, result.error);
        if (result.read && !instrument::ProbeSounds(*result.read, *converter, result.error)) {
            result.read.reset();
            result.error = fileName + ": " + result.error;
        }
        if (result.read) {
            result.error.clear();
            result.mapping = instrument::MapInstrument(*result.read, model);
            if (result.mapping.rows.empty()) {
                result.error = fileName + ": the instrument gives no row; nothing can be imported";
            }
        }
        return result;
    };
    const auto reportFor = [&](int index) {
        if (index < 0 || index >= static_cast<int>(entries->size())) {
            return QStringList();
        }
        const Mapped& result = mapAt(index);
        if (!result.read) {
            return QStringList{FromStd(result.error)};
        }
        QStringList lines;
        for (const std::string& line : result.mapping.report.Lines()) {
            lines << FromStd(line);
        }
        if (!result.error.empty()) {
            lines << FromStd(result.error);
        }
        return lines;
    };
    const auto info = transfer::SamplerModel::Find(model);
    const auto chosen = dialogs.ChooseInstrument(
        FromStd(fileName), info ? FromStd(info->longName) : QStringLiteral("sampler"), names,
        reportFor);
    if (!chosen || *chosen < 0 || *chosen >= static_cast<int>(entries->size())) {
        return;
    }
    const Mapped& result = mapAt(*chosen);
    if (!result.error.empty()) {
        messages.Show(result.error, appCaption);
        return;
    }

    const QString proposal =
        QFileInfo(file).absoluteDir().filePath(QFileInfo(file).completeBaseName() + ".vmp");
    const QString programFile = dialogs.SaveFileName(QStringLiteral("Save the imported program"),
                                                     QStringLiteral("Velomire prog (*.vmp)"),
                                                     proposal, QStringLiteral("vmp"));
    if (programFile.isEmpty()) {
        return;
    }
    const QString programName = QFileInfo(programFile).fileName();
    if (const std::string problem =
            instrument::ProgramFileProblem(ToPath(programFile), programName.toStdString());
        !problem.empty()) {
        messages.Show(problem, appCaption);
        return;
    }
    // The sounds are read, converted and written with a progress dialog (shown after half a
    // second) whose Cancel removes what the import wrote.
    QProgressDialog progress(QStringLiteral("Importing %1...").arg(FromStd(fileName)),
                             QStringLiteral("Cancel"), 0, 1000, window);
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(500);
    progress.setAutoClose(false);
    bool cancelled = false;
    Program written;
    const program::Status status = instrument::WriteImportedProgram(
        *result.read, result.mapping, ToPath(programFile), *converter,
        instrument::DiskNewFileWriter(), written, [&](double done) {
            progress.setValue(static_cast<int>(done * 1000));
            QCoreApplication::processEvents();
            cancelled = progress.wasCanceled();
            return !cancelled;
        });
    progress.reset();
    if (!status) {
        if (!cancelled) { // the user's own Cancel needs no message
            messages.Show(programName.toStdString() + ": " + status.text +
                              (status.detail.empty() ? "" : " (" + status.detail + ")"),
                          appCaption);
        }
        return;
    }
    if (OnOpenDocument(programFile)) {
        emit statusMessage(QStringLiteral("Imported %1 rows from %2%3")
                               .arg(written.sampleCount)
                               .arg(FromStd(fileName))
                               .arg(result.mapping.report.Changed()
                                        ? QStringLiteral(" (some folded or dropped)")
                                        : QString()));
    }
}

void CVelomireDoc::OnExportSfz() {
    if (!program->programCreated) {
        return;
    }
    const QString folder = dialogs.FolderName(QStringLiteral("Export as SFZ"),
                                              FromStd(program->programDirectory.string()));
    if (folder.isEmpty()) {
        return;
    }
    const std::string name = title.toStdString();
    std::vector<std::filesystem::path> written;
    const program::Status status =
        instrument::ExportSfz(*program, program->programDirectory, name, ToPath(folder),
                              instrument::DiskNewFileWriter(), written);
    if (!status) {
        messages.Show("Export as SFZ: " + StatusText(status).toStdString(), appCaption);
        return;
    }
    QStringList names;
    for (const auto& file : written) {
        names << FromStd(file.filename().string());
    }
    emit statusMessage(
        QStringLiteral("Wrote %1 in %2").arg(names.join(QStringLiteral(", ")), folder));
}

bool CVelomireDoc::OnFileSave() {
    if (!CanSave()) {
        return false;
    }
    if (pathName.isEmpty()) {
        return OnFileSaveAs();
    }
    return DoSave(pathName);
}

bool CVelomireDoc::CanSave() {
    // The start-up document holds no program: its header would be saved as zeros.
    if (!program->programCreated) {
        messages.Show("Create a program first !", appCaption);
        return false;
    }
    return true;
}

bool CVelomireDoc::OnFileSaveAs() {
    if (!CanSave()) {
        return false;
    }
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
        messages.Show(result.Text(), QFileInfo(path).fileName().toStdString());
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
    case FileDialogs::SaveAnswer::save:
        return OnFileSave();
    case FileDialogs::SaveAnswer::discard:
        return true;
    case FileDialogs::SaveAnswer::cancel:
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
    const QString path = dialogs.OpenFileName(
        QStringLiteral("Open sample"),
        QStringLiteral("audio file (*.wav *.aif *.aiff *.aifc *.flac *.ogg *.oga)"));
    if (path.isEmpty()) {
        return;
    }
    const std::filesystem::path chosen = ToPath(path);
    MessageList refusals;
    DocumentQuestions questions(dialogs, store, convertProposal, window);
    const auto prepared = Incoming(questions).Prepare({chosen}, chosen.parent_path(), refusals);
    ShowRefusals(refusals);
    if (!prepared.front()) {
        return;
    }
    Change(QStringLiteral("Open Sample"), [&] {
        const auto newTitle = OpenSample(*program, *prepared.front(), messages);
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
        messages, program->programDirectory, [this](const std::string& name) { return Play(name); },
        window);
    dialog.SetProbe([this](const std::string& file) { return converter->Probe(file); });
    dialog.SetChooseFolder(
        [this](const QString& from) { return dialogs.FolderName(QStringLiteral("Browse"), from); });
    dialog.Pending().FillFrom(*program);
    if (dialog.exec() != QDialog::Accepted) {
        return;
    }
    // The chosen files of other formats are converted (when the user agrees) and those of other
    // folders copied into the program's directory (after one question); the pending entries then
    // name the files there. A file that did not get there drops its entry.
    PendingSamples& pending = dialog.Pending();
    MessageList refusals;
    DocumentQuestions questions(dialogs, store, convertProposal, window);
    Incoming(questions).TakeChosen(pending, program->programDirectory, refusals);
    Change(QStringLiteral("Add Samples"), [&] { pending.ApplyTo(*program, refusals); });
    ShowRefusals(refusals);
}

void CVelomireDoc::ShowRefusals(const MessageList& refusals) {
    if (!refusals.Empty()) {
        messages.Show(refusals.Text("These files were not added:"), appCaption);
    }
}

program::IncomingFiles CVelomireDoc::Incoming(program::IncomingQuestions& questions) {
    const std::int32_t model = settings.samplerModel;
    program::RateCheck rates{[model](std::uint32_t rate) -> std::optional<std::string> {
                                 if (const auto off = transfer::OffPitchAt(rate, model)) {
                                     return transfer::CentsText(off->cents);
                                 }
                                 return std::nullopt;
                             },
                             transfer::ProposedRate(convertProposal.rate, model)};
    return {*converter, questions, std::move(rates), convertProposal};
}

void CVelomireDoc::OnDropFiles(const QStringList& paths) {
    if (!program->programCreated && !AskForNewProgram()) {
        return;
    }
    std::vector<std::filesystem::path> files;
    for (const QString& path : paths) {
        files.push_back(ToPath(path));
    }
    MessageList refusals;
    DocumentQuestions questions(dialogs, store, convertProposal, window);
    const std::vector<std::string> names =
        Incoming(questions).TakeDropped(files, *program, refusals);
    Change(QStringLiteral("Drop Samples"),
           [&] { program::AddSampleFiles(*program, names, refusals); });
    ShowRefusals(refusals);
}

void CVelomireDoc::OnMapKeysFromNames(const std::vector<int>& rows) {
    std::vector<std::string> unmapped;
    Change(QStringLiteral("Map keys from names"), [&] {
        const int count = std::clamp(program->sampleCount, 0, Program::maxSamples);
        unmapped = MapKeysFromNames(
            std::span(program->samples).first(static_cast<std::size_t>(count)), rows);
    });
    if (!unmapped.empty()) {
        messages.Show(UnmappedNamesText(unmapped), appCaption);
    }
}

void CVelomireDoc::OnOptions() {
    std::vector<std::string> waveOutNames;
    if (services.audioOutputNames) {
        waveOutNames = services.audioOutputNames();
    }
    // The lists show the saved ports where they are today, found by name; one that is not there
    // stays chosen.
    const std::vector<std::string> outNames = midi.Driver().PortNames();
    const std::vector<std::string> inNames = midi.InDriver().PortNames();
    const transfer::PortsShown shown = transfer::ShowPorts(settings, outNames, inNames);
    transfer::COptionsDlg dialog(shown.settings, shown.outList, shown.inList, waveOutNames,
                                 messages, window);
    if (dialog.exec() != QDialog::Accepted) {
        return;
    }
    settings = transfer::TakePorts(dialog.Result(), settings, outNames, inNames);
    settings.Write(store);
    store.Sync();
    UpdateAllViews(); // what the list shows may depend on the model (its Out column does)
}

void CVelomireDoc::OnSendProgram() {
    transfer::QtSendUi ui(window, messages);
    ui.SetCancel([this] { CancelSend(); });
    sending = true;
    transfer::SendCommand command(*program, settings, midi.Port(), messages, ui);
    command.SetNumberMemory(&numberMemory, &store);
    // The answers of a sampler whose MIDI Out is connected, when Options names that port. Its
    // waits keep the window live as the output port's do, so Cancel works during them too.
    std::optional<transfer::MidiInPort> replyPort;
    if (settings.midiInDevice >= 0) {
        replyPort.emplace(midi.InDriver(), midi.Clock());
        replyPort->SetIdleHook([] { QCoreApplication::processEvents(); });
        command.SetReplyPort(&*replyPort);
        command.SetLibrarianFactory(services.makeLibrarian ? services.makeLibrarian
                                                           : transfer::MakeLibrarian);
    }
    const auto outcome = command.OnSendProgram();
    sending = false;
    using Outcome = transfer::SendCommand::Outcome;
    if (outcome == Outcome::sent || outcome == Outcome::sentWithWarning) {
        emit statusMessage(FromStd(command.Report()));
    }
    // Samples the sampler plays off pitch went as they are: named again once they are there.
    const auto offPitch = transfer::OffPitchWarnings(*program, settings.samplerModel);
    if (outcome == Outcome::sentWithWarning || (outcome == Outcome::sent && !offPitch.empty())) {
        // Done, but the user must check: the report's brackets and the warnings, in one box.
        std::string text = command.Report();
        for (const auto& lines : {command.Warnings(), offPitch}) {
            for (const std::string& warning : lines) {
                text += "\n\n" + warning;
            }
        }
        messages.Show(text, appCaption);
    }
    emit sendEnded();
}

void CVelomireDoc::OnSamplerContents() {
    if (settings.midiInDevice < 0) {
        messages.Show("Select a Midi In device in the Options menu: Velomire reads what the "
                      "sampler holds through the sampler's MIDI Out, connected back to this "
                      "computer.",
                      appCaption);
        return;
    }
    SamplerSession session(*this, midi.Port(), midi.InDriver(), midi.Clock(),
                           services.makeLibrarian, dialogs);
    transfer::CSamplerWnd contents(session, window);
    QTimer::singleShot(0, &contents, &transfer::CSamplerWnd::Refresh);
    contents.exec();
}

void CVelomireDoc::CancelSend() {
    if (sending) {
        midi.Port().RequestCancel();
    }
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

} // namespace velomire::app
