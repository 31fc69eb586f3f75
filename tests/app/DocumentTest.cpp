// The document's life cycle driven as the menu commands drive it, with scripted file dialogs.

#include "app/CVelomireDoc.h"
#include "app/SamplerSession.h"
#include "program/ProgramFile.h"
#include "support/FakeFileDialogs.h"
#include "support/FakeLibrarian.h"
#include "support/FakeWaitClock.h"
#include "support/RecordingMessages.h"
#include "support/RecordingMidiDriver.h"
#include "support/ScriptedMidiInDriver.h"
#include "support/WavBuilder.h"
#include "transfer/OffPitch.h"
#include "transfer/ui/QtSettingsStore.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QListWidget>
#include <QPushButton>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <memory>
#include <random>

using velomire::app::CVelomireDoc;
using velomire::app::FileDialogs;
using velomire::program::FieldText;
using velomire::program::ProgramFile;
using velomire::testing::FakeFileDialogs;
using velomire::testing::RecordingMessages;
using velomire::testing::WavBuilder;
using velomire::transfer::QtSettingsStore;

namespace {

std::filesystem::path Native(const QString& path) {
    return std::filesystem::path(QFile::encodeName(path).toStdString());
}

std::vector<std::uint8_t> Image(const CVelomireDoc& doc) {
    return ProgramFile::Store(doc.GetProgram());
}

} // namespace

class DocumentTest : public QObject {
    Q_OBJECT

private:
    QString Wav(const QString& name, std::uint16_t channels = 1, std::uint32_t rate = 44100) {
        const QString path = dir->filePath(name);
        const std::vector<std::int16_t> samples(1001 * channels, 100);
        velomire::testing::WriteFile(Native(path),
                                     WavBuilder::Canonical(channels, rate, 16, samples));
        return path;
    }

    // A 24-bit file the reader refuses and the converter takes.
    QString Wav24(const QString& path) {
        velomire::testing::WriteFile(Native(path),
                                     WavBuilder()
                                         .Riff()
                                         .Fmt(1, 44100, 24)
                                         .Chunk("data", std::vector<std::uint8_t>(300))
                                         .Bytes());
        return path;
    }

    std::vector<std::string> FileNames() const {
        std::vector<std::string> names;
        const auto& program = doc->GetProgram();
        for (int i = 0; i < program.sampleCount; ++i) {
            names.push_back(
                FieldText(program.samples[static_cast<std::size_t>(i)].sample.fileName));
        }
        return names;
    }

    // A document after the start-up New.
    void StartUp() {
        velomire::app::AppServices services;
        services.makeMidiDriver = [] {
            return std::make_unique<velomire::testing::RecordingMidiDriver>();
        };
        services.makeMidiInDriver = [] {
            auto none = std::make_unique<velomire::testing::ScriptedMidiInDriver>();
            none->ports.clear();
            return none;
        };
        doc = std::make_unique<CVelomireDoc>(*store, messages, dialogs, services);
        doc->OnNewDocument();
    }

    QString startDirectory;
    std::unique_ptr<QTemporaryDir> dir;
    std::unique_ptr<QtSettingsStore> store;
    RecordingMessages messages;
    FakeFileDialogs dialogs;
    std::unique_ptr<CVelomireDoc> doc;

private slots:
    void init() {
        startDirectory = QDir::currentPath();
        dir = std::make_unique<QTemporaryDir>();
        // Every test starts from no settings: what one saved (Options) never reaches the next, nor
        // the next run.
        store.reset();
        QFile::remove(QtSettingsStore().FileName());
        store = std::make_unique<QtSettingsStore>();
        messages = {};
        dialogs = {};
        StartUp();
    }

    void cleanup() {
        doc.reset();
        QDir::setCurrent(startDirectory);
    }

    // An SFZ instrument of two regions playing one WAV file, in its own folder.
    QString Sfz() {
        QDir(dir->path()).mkpath(QStringLiteral("library"));
        const QString library = dir->filePath(QStringLiteral("library"));
        const std::vector<std::int16_t> samples(2000, 1000);
        velomire::testing::WriteFile(Native(library + QStringLiteral("/hum.wav")),
                                     WavBuilder::Canonical(1, 44100, 16, samples));
        const QString sfz = library + QStringLiteral("/Hum.sfz");
        QFile file(sfz);
        if (!file.open(QIODevice::WriteOnly)) {
            return {};
        }
        file.write("<region> sample=hum.wav lokey=36 hikey=59 pitch_keycenter=48\n"
                   "<region> sample=hum.wav lokey=60 hikey=84 pitch_keycenter=72 tune=10\n");
        return sfz;
    }

    static QStringList Entries(const QString& folder) {
        return QDir(folder).entryList(QDir::Files, QDir::Name);
    }

    void AnImportedInstrumentIsWrittenWhereAskedAndOpens() {
        const QString sfz = Sfz();
        QVERIFY(QDir(dir->path()).mkpath(QStringLiteral("out")));
        const QString out = dir->filePath(QStringLiteral("out"));
        dialogs.fileAnswers = {sfz, out + QStringLiteral("/Hum.vmp")};
        dialogs.instrumentAnswer = 0;
        QSignalSpy status(doc.get(), &CVelomireDoc::statusMessage);
        doc->OnImportInstrument();
        QVERIFY2(messages.messages.empty(),
                 messages.messages.empty() ? "" : messages.messages[0].text.c_str());
        QCOMPARE(dialogs.questions.size(), 3);
        QCOMPARE(dialogs.questions[0].kind, QStringLiteral("open"));
        QVERIFY(dialogs.questions[0].filter.contains(QStringLiteral("*.sfz")));
        // The report was shown before anything was written.
        QCOMPARE(dialogs.questions[1].kind, QStringLiteral("instrument"));
        QCOMPARE(dialogs.questions[1].title, QStringLiteral("Hum.sfz"));
        QVERIFY(dialogs.questions[1].proposal.contains(QStringLiteral("carried:")));
        QCOMPARE(dialogs.questions[2].kind, QStringLiteral("save"));
        QCOMPARE(dialogs.questions[2].proposal, dir->filePath(QStringLiteral("library/Hum.vmp")));

        QVERIFY(doc->GetProgram().programCreated);
        QCOMPARE(doc->PathName(), QFileInfo(out + QStringLiteral("/Hum.vmp")).absoluteFilePath());
        QCOMPARE(doc->Title(), QStringLiteral("Hum"));
        QVERIFY(!doc->IsModified());
        QCOMPARE(doc->GetProgram().sampleCount, 2);
        QVERIFY(Entries(out).contains(QStringLiteral("Hum.vmp")));
        for (const std::string& name : FileNames()) {
            QVERIFY2(QFile::exists(out + QLatin1Char('/') + QString::fromStdString(name)),
                     name.c_str());
        }
        QCOMPARE(status.size(), 1);

        // Export as SFZ writes the instrument and its WAV files into the folder chosen.
        QVERIFY(QDir(dir->path()).mkpath(QStringLiteral("sfz")));
        const QString sfzFolder = dir->filePath(QStringLiteral("sfz"));
        dialogs.fileAnswers = {sfzFolder};
        doc->OnExportSfz();
        QCOMPARE(dialogs.questions.last().kind, QStringLiteral("folder"));
        QVERIFY(messages.messages.empty());
        QVERIFY2(Entries(sfzFolder).contains(QStringLiteral("Hum.sfz")),
                 qPrintable(Entries(sfzFolder).join(',')));
        QVERIFY(Entries(sfzFolder).size() > 1);
        QVERIFY(status.last().constFirst().toString().contains(QStringLiteral("Hum.sfz")));
        // Again into the same folder: nothing is overwritten, and the message says why.
        doc->OnExportSfz();
        QCOMPARE(messages.messages.size(), 0u); // no folder answer left: cancelled
        dialogs.fileAnswers = {sfzFolder};
        doc->OnExportSfz();
        QCOMPARE(messages.messages.size(), 1u);
    }

    void ImportWritesNothingUntilTheReportIsAcceptedNorOverAFile() {
        const QString sfz = Sfz();
        const QStringList before = Entries(dir->filePath(QStringLiteral("library")));
        dialogs.fileAnswers = {sfz, dir->filePath(QStringLiteral("Hum.vmp"))};
        doc->OnImportInstrument(); // Cancel at the report
        QCOMPARE(dialogs.questions.size(), 2);
        QCOMPARE(dialogs.questions[1].kind, QStringLiteral("instrument"));
        QVERIFY(!doc->GetProgram().programCreated);
        QCOMPARE(Entries(dir->path()), QStringList());
        QCOMPARE(Entries(dir->filePath(QStringLiteral("library"))), before);

        // An existing program file is never written over.
        QFile existing(dir->filePath(QStringLiteral("Hum.vmp")));
        QVERIFY(existing.open(QIODevice::WriteOnly));
        existing.close();
        dialogs = {};
        dialogs.instrumentAnswer = 0;
        dialogs.fileAnswers = {dir->filePath(QStringLiteral("Hum.vmp"))};
        doc->OnImportInstrument(sfz); // as a drop: no file question
        QCOMPARE(dialogs.questions.size(), 2);
        QCOMPARE(messages.messages.size(), 1u);
        QVERIFY(messages.messages[0].text.find("exists already") != std::string::npos);
        QCOMPARE(Entries(dir->path()), QStringList{QStringLiteral("Hum.vmp")});
        QCOMPARE(QFileInfo(dir->filePath(QStringLiteral("Hum.vmp"))).size(), 0);

        // An instrument whose sound is missing: the report says so, OK shows it and asks nothing
        // more.
        QFile broken(dir->filePath(QStringLiteral("library/Broken.sfz")));
        QVERIFY(broken.open(QIODevice::WriteOnly));
        broken.write("<region> sample=missing.wav key=60\n");
        broken.close();
        dialogs = {};
        dialogs.instrumentAnswer = 0;
        dialogs.fileAnswers = {dir->filePath(QStringLiteral("Broken.vmp"))};
        doc->OnImportInstrument(broken.fileName());
        QCOMPARE(dialogs.questions.size(), 1);
        QVERIFY(dialogs.questions[0].proposal.contains(QStringLiteral("missing.wav")));
        QCOMPARE(messages.messages.size(), 2u);
        QVERIFY(messages.messages[1].text.find("missing.wav") != std::string::npos);
        QCOMPARE(Entries(dir->path()), QStringList{QStringLiteral("Hum.vmp")});

        // A file that is no instrument: one message, no more questions.
        dialogs = {};
        doc->OnImportInstrument(dir->filePath(QStringLiteral("Hum.vmp")));
        QCOMPARE(messages.messages.size(), 3u);
        QVERIFY(dialogs.questions.isEmpty());
    }

    void ImportAsksToSaveTheOpenProgramFirst() {
        dialogs.fileAnswers = {dir->filePath(QStringLiteral("Strings.vmp"))};
        doc->OnFileNew();
        doc->MarkChanged();
        dialogs = {};
        dialogs.saveAnswers = {FileDialogs::SaveAnswer::cancel};
        doc->OnImportInstrument(Sfz());
        QCOMPARE(dialogs.questions.size(), 1);
        QCOMPARE(dialogs.questions[0].kind, QStringLiteral("ask"));
        QCOMPARE(doc->Title(), QStringLiteral("Strings"));
    }

    void StartUpNewShowsNoDialogAndCreatesNoProgram() {
        QVERIFY(dialogs.questions.isEmpty());
        QVERIFY(!doc->GetProgram().programCreated);
        QCOMPARE(doc->Title(), QStringLiteral("Untitled"));
        QVERIFY(!doc->IsModified());
        doc->OnAddSamples();
        QCOMPARE(messages.messages.size(), 1u);
        QCOMPARE(messages.messages[0].text, std::string("Create a program first !"));
        // Nothing to save: a saved start-up document would hold an all-zero program header.
        QVERIFY(!doc->OnFileSave());
        QVERIFY(dialogs.questions.isEmpty());
        QCOMPARE(messages.messages.size(), 2u);
    }

    void TheSamplerWindowNeedsAMidiInDeviceAndSaysSo() {
        doc->OnSamplerContents();
        QCOMPARE(messages.messages.size(), 1u);
        QVERIFY(messages.messages[0].text.starts_with("Select a Midi In device in the Options"));
    }

    void ARelativePathIsTakenFromTheDirectoryItWasGivenIn() {
        // nest/a/p.vmp beside an unrelated nest/a/a/p.vmp, opened as a/p.vmp from nest.
        const QString nest = dir->filePath(QStringLiteral("nest"));
        QVERIFY(QDir().mkpath(nest + QStringLiteral("/a/a")));
        auto program = std::make_unique<velomire::program::Program>();
        program->SetProgramPath(Native(nest + QStringLiteral("/a/p.vmp")), true);
        const QString inner = nest + QStringLiteral("/a/a/p.vmp");
        QVERIFY(ProgramFile::SaveFile(Native(nest + QStringLiteral("/a/p.vmp")), *program));
        QVERIFY(ProgramFile::SaveFile(Native(inner), *program));
        const auto innerBytes = velomire::testing::ReadFile(Native(inner));
        QDir::setCurrent(nest);
        QVERIFY(doc->OnOpenDocument(QStringLiteral("a/p.vmp")));
        QCOMPARE(doc->PathName(), QFileInfo(nest + QStringLiteral("/a/p.vmp")).absoluteFilePath());
        doc->GetProgram().header.programParams[2] = 77;
        QVERIFY(doc->OnFileSave());
        QVERIFY(messages.messages.empty());
        QCOMPARE(velomire::testing::ReadFile(Native(inner)), innerBytes);
    }

    // The Sampler window waits for the sampler with the event loop running, so the user may open
    // another program from another folder meanwhile. The sample taken back still goes into the
    // folder chosen for it, the program opened finds its samples in its own folder, and the
    // process's working directory is never touched.
    void OpeningAProgramWhileTheSamplerWindowGetsASampleKeepsEveryFileInItsPlace() {
        const QDir root(dir->path());
        QVERIFY(root.mkpath(QStringLiteral("other")) && root.mkpath(QStringLiteral("got")));
        dialogs.fileAnswers = {Wav(QStringLiteral("other/b.wav"))};
        doc->OnOpenSample();
        dialogs.fileAnswers = {dir->filePath(QStringLiteral("other/B.vmp"))};
        QVERIFY(doc->OnFileSave());
        StartUp();
        dialogs.fileAnswers = {Wav(QStringLiteral("a.wav"))};
        doc->OnOpenSample();
        dialogs.fileAnswers = {dir->filePath(QStringLiteral("A.vmp"))};
        QVERIFY(doc->OnFileSave());
        auto& settings = doc->Settings();
        settings.samplerModel = 8; // S3000 XL
        settings.midiOutDevice = 0;
        settings.midiInDevice = 0;

        velomire::testing::RecordingMidiDriver outDriver;
        velomire::testing::ScriptedMidiInDriver inDriver;
        velomire::testing::FakeWaitClock clock;
        velomire::transfer::MidiOutPort out(outDriver, clock, messages);
        velomire::testing::FakeLibrarian librarian;
        librarian.entries = {{velomire::transfer::SamplerEntry::Kind::sample, 3, "TAKEN"}};
        auto& taken = librarian.samples[3];
        taken.family = velomire::transfer::SamplerFamily::s1000;
        taken.number = 3;
        taken.rate = 44100;
        taken.lengthWords = 100;
        taken.frames.assign(100, 200);
        taken.fields = {{"sampleName", std::string("TAKEN")}};
        const QString other = dir->filePath(QStringLiteral("other/B.vmp"));
        librarian.duringGet = [&] { QVERIFY(doc->OnOpenDocument(other)); };
        velomire::app::SamplerSession session(
            *doc, out, inDriver, clock,
            [&](std::int32_t, const velomire::transfer::LibrarianPorts&) {
                return std::make_unique<velomire::testing::FakeLibrarian>(librarian);
            },
            dialogs);
        velomire::transfer::CSamplerWnd window(session);
        window.Refresh();
        window.findChild<QTreeWidget*>(QStringLiteral("contentsList"))
            ->topLevelItem(0)
            ->setSelected(true);
        dialogs.fileAnswers = {dir->filePath(QStringLiteral("got"))};
        window.GetSamples();

        QCOMPARE(Entries(dir->filePath(QStringLiteral("got"))), QStringList{"TAKEN.wav"});
        QCOMPARE(Entries(dir->filePath(QStringLiteral("other"))), (QStringList{"B.vmp", "b.wav"}));
        QCOMPARE(doc->PathName(), QFileInfo(other).absoluteFilePath());
        const auto& program = doc->GetProgram();
        QCOMPARE(program.SampleFilePath("b.wav"),
                 Native(dir->filePath(QStringLiteral("other/b.wav"))));
        QCOMPARE(QDir::currentPath(), startDirectory);
        QVERIFY(messages.messages.empty());
    }

    void LaterNewAsksForTheProgramFileAndStartsAnEmptyProgramThere() {
        dialogs.fileAnswers = {dir->filePath(QStringLiteral("Strings.vmp"))};
        QSignalSpy changed(doc.get(), &CVelomireDoc::changed);
        doc->OnFileNew();
        QCOMPARE(dialogs.questions.size(), 1);
        QCOMPARE(dialogs.questions[0].kind, QStringLiteral("save"));
        QCOMPARE(dialogs.questions[0].title, QStringLiteral("Create New Program"));
        QCOMPARE(dialogs.questions[0].filter, QStringLiteral("Velomire prog (*.vmp)"));
        QCOMPARE(dialogs.questions[0].suffix, QStringLiteral("vmp"));
        QVERIFY(doc->GetProgram().programCreated);
        QCOMPARE(doc->GetProgram().ProgramName(), std::string("Strings"));
        QCOMPARE(doc->Title(), QStringLiteral("Strings"));
        QCOMPARE(QDir(QString::fromStdString(doc->GetProgram().programDirectory.string()))
                     .canonicalPath(),
                 QDir(dir->path()).canonicalPath());
        QVERIFY(!doc->IsModified());
        QCOMPARE(changed.size(), 1);
        // The file is only named; the first Save writes it there without asking again.
        QVERIFY(!QFile::exists(dir->filePath(QStringLiteral("Strings.vmp"))));
        QVERIFY(doc->OnFileSave());
        QCOMPARE(dialogs.questions.size(), 1);
        QVERIFY(QFile::exists(dir->filePath(QStringLiteral("Strings.vmp"))));
    }

    void CancellingTheNewProgramDialogChangesNothing() {
        dialogs.fileAnswers = {Wav(QStringLiteral("kick.wav"))};
        doc->OnOpenSample();
        const QString titleBefore = doc->Title();
        dialogs.saveAnswers = {FileDialogs::SaveAnswer::discard};
        dialogs.fileAnswers = {}; // cancel "Create New Program"
        doc->OnFileNew();
        QCOMPARE(doc->GetProgram().sampleCount, 1);
        QVERIFY(doc->GetProgram().programCreated);
        QCOMPARE(doc->Title(), titleBefore);
        QVERIFY(doc->IsModified());
    }

    void OpenSampleOnAnUpperCaseExtensionStartsAProgramNamedAfterTheFile() {
        const QString path = Wav(QStringLiteral("Bass.WAV"), 2);
        dialogs.fileAnswers = {path};
        QSignalSpy title(doc.get(), &CVelomireDoc::titleChanged);
        doc->OnOpenSample();
        QCOMPARE(dialogs.questions[0].title, QStringLiteral("Open sample"));
        QCOMPARE(dialogs.questions[0].filter,
                 QStringLiteral("audio file (*.wav *.aif *.aiff *.aifc *.flac *.ogg *.oga)"));
        QCOMPARE(doc->Title(), QStringLiteral("Bass"));
        QCOMPARE(title.size(), 1); // the program itself is OpenSample's (its own test)
        QCOMPARE(doc->GetProgram().sampleCount, 1);
        QVERIFY(doc->IsModified());
        QVERIFY(messages.messages.empty());

        // No program file yet: Save asks, proposing the title in the program's directory.
        doc->OnFileSave();
        QCOMPARE(dialogs.questions.last().title, QStringLiteral("Save As"));
        QCOMPARE(dialogs.questions.last().filter, QStringLiteral("Velomire prog (*.vmp)"));
        QCOMPARE(QFileInfo(dialogs.questions.last().proposal).fileName(),
                 QStringLiteral("Bass.vmp"));
    }

    void OpenSampleAsksBeforeDroppingUnsavedChanges() {
        dialogs.fileAnswers = {Wav(QStringLiteral("kick.wav"))};
        doc->OnOpenSample();
        QVERIFY(doc->IsModified());
        dialogs.saveAnswers = {FileDialogs::SaveAnswer::cancel};
        dialogs.fileAnswers = {Wav(QStringLiteral("snare.wav"))};
        doc->OnOpenSample();
        QCOMPARE(doc->Title(), QStringLiteral("kick"));
        QCOMPARE(dialogs.fileAnswers.size(), 1); // the file dialog was never shown
    }

    void OpenSampleRefusesANameTheRowCannotHold() {
        dialogs.fileAnswers = {Wav(QString(36, QLatin1Char('x')) + QStringLiteral(".wav"))};
        doc->OnOpenSample();
        QCOMPARE(messages.messages.size(), 1u);
        QVERIFY(!doc->GetProgram().programCreated);
        QCOMPARE(doc->Title(), QStringLiteral("Untitled"));
        QVERIFY(!doc->IsModified());
    }

    void SaveAndReopenGivesBackTheProgram() {
        dialogs.fileAnswers = {Wav(QStringLiteral("pad.wav"), 2)};
        doc->OnOpenSample();
        auto& program = doc->GetProgram();
        const QString file = dir->filePath(QStringLiteral("Pads.vmp"));
        dialogs.fileAnswers = {file};
        QSignalSpy recorded(doc.get(), &CVelomireDoc::pathRecorded);
        QVERIFY(doc->OnFileSave());
        QCOMPARE(doc->Title(), QStringLiteral("Pads"));
        QCOMPARE(doc->PathName(), QFileInfo(file).absoluteFilePath());
        QVERIFY(!doc->IsModified());
        QCOMPARE(recorded.size(), 1);
        // Saving under another name keeps the program's name until it is opened again.
        QCOMPARE(program.ProgramName(), std::string("pad"));

        // A second Save writes to the same file without asking. (Every byte of the file is
        // ProgramFile's test.)
        const int asked = dialogs.questions.size();
        program.samples[0].keygroup.highKey = 96;
        doc->MarkChanged();
        QVERIFY(doc->OnFileSave());
        QCOMPARE(dialogs.questions.size(), asked);

        StartUp();
        QVERIFY(doc->OnOpenDocument(file));
        const auto& reopened = doc->GetProgram();
        QCOMPARE(reopened.sampleCount, 1);
        QCOMPARE(reopened.ProgramName(), std::string("Pads"));
        QCOMPARE(reopened.samples[0].keygroup.highKey, std::int16_t{96});
        QCOMPARE(doc->Title(), QStringLiteral("Pads"));
        QVERIFY(!doc->IsModified());
        QVERIFY(reopened.programCreated);
    }

    void ARefusedProgramFileIsReportedAndChangesNothing() {
        dialogs.fileAnswers = {Wav(QStringLiteral("kick.wav"))};
        doc->OnOpenSample();
        const QString bad = dir->filePath(QStringLiteral("Broken.vmp"));
        velomire::testing::WriteFile(Native(bad), {0x0F, 'V', 'e', 'l'});
        dialogs.saveAnswers = {FileDialogs::SaveAnswer::discard};
        dialogs.fileAnswers = {bad};
        doc->OnFileOpen();
        QCOMPARE(dialogs.questions[1].kind, QStringLiteral("ask"));
        QCOMPARE(dialogs.questions[2].title, QStringLiteral("Open"));
        QCOMPARE(dialogs.questions[2].filter, QStringLiteral("Velomire prog (*.vmp)"));
        QCOMPARE(messages.messages.size(), 1u);
        QCOMPARE(messages.messages[0].text,
                 std::string("Error: This program file is incomplete !"));
        QCOMPARE(messages.messages[0].caption, std::string("Broken.vmp"));
        QCOMPARE(doc->Title(), QStringLiteral("kick"));
        QCOMPARE(doc->GetProgram().sampleCount, 1);
        QCOMPARE(doc->GetProgram().ProgramName(), std::string("kick"));
        QVERIFY(doc->IsModified());

        // A file the system refuses: the message names it and gives the system's reason.
        const QString missing = dir->filePath(QStringLiteral("Missing.vmp"));
        QVERIFY(!doc->OnOpenDocument(missing));
        QCOMPARE(messages.messages.back().text, "Error: Can't open File !\n" +
                                                    Native(missing).string() +
                                                    ": No such file or directory");
    }

    void TheSavePromptGuardsNewAndOpen() {
        dialogs.fileAnswers = {Wav(QStringLiteral("kick.wav"))};
        doc->OnOpenSample();

        dialogs.saveAnswers = {FileDialogs::SaveAnswer::cancel};
        doc->OnFileNew();
        doc->OnFileOpen();
        // Cancel at the first prompt stops New; Open prompts again and an empty script cancels.
        QCOMPARE(dialogs.questions.size(), 3);
        QCOMPARE(dialogs.questions[1].kind, QStringLiteral("ask"));
        QCOMPARE(dialogs.questions[1].title, QStringLiteral("kick"));
        QCOMPARE(dialogs.questions[2].kind, QStringLiteral("ask"));
        QCOMPARE(doc->GetProgram().sampleCount, 1);

        // Save at the prompt saves first (asking for a name), then New goes on.
        const QString file = dir->filePath(QStringLiteral("Kit.vmp"));
        const QString next = dir->filePath(QStringLiteral("Next.vmp"));
        dialogs.saveAnswers = {FileDialogs::SaveAnswer::save};
        dialogs.fileAnswers = {file, next};
        doc->OnFileNew();
        QVERIFY(QFile::exists(file));
        QCOMPARE(doc->Title(), QStringLiteral("Next"));
        QCOMPARE(doc->GetProgram().sampleCount, 0);
    }

    void TheEditingProtocolCopiesTheRowOutAndBackAndMarksTheDocument() {
        dialogs.fileAnswers = {Wav(QStringLiteral("kick.wav"))};
        doc->OnOpenSample();
        doc->SetModifiedFlag(false);
        QSignalSpy changed(doc.get(), &CVelomireDoc::changed);
        // An editor closed without a change (Esc) leaves the document unmodified.
        doc->EditSample(0, CVelomireDoc::EditScope::sampleAndKeygroup, {});
        QVERIFY(!doc->IsModified());
        QCOMPARE(changed.size(), 0);
        doc->EditSample(0, CVelomireDoc::EditScope::sampleOnly,
                        [](velomire::program::SampleEntry& e) {
                            e.sample.loopCount = 2;
                            e.keygroup.lowKey = 99; // not the Loop Editor's to change
                        });
        const auto& row = doc->GetProgram().samples[0];
        QCOMPARE(row.sample.loopCount, std::int16_t{2});
        QCOMPARE(row.keygroup.lowKey, std::int16_t{24});
        QVERIFY(doc->IsModified());
        QCOMPARE(changed.size(), 1);

        doc->EditSample(0, CVelomireDoc::EditScope::sampleAndKeygroup,
                        [](velomire::program::SampleEntry& e) { e.keygroup.lowKey = 48; });
        QCOMPARE(doc->GetProgram().samples[0].keygroup.lowKey, std::int16_t{48});
        // A row that does not exist is left alone.
        doc->EditSample(1, CVelomireDoc::EditScope::sampleAndKeygroup, {});
        QCOMPARE(changed.size(), 2);
    }
    void EveryKindOfChangeIsOneStepUndoneAndRedoneByteForByte() {
        Wav(QStringLiteral("kick.wav"));
        dialogs.fileAnswers = {Wav(QStringLiteral("snare.wav"))};
        struct State {
            std::vector<std::uint8_t> image;
            QString title;
        };
        std::vector<State> states{{Image(*doc), doc->Title()}};
        const auto step = [&](const char* what, const std::function<void()>& change) {
            change();
            QCOMPARE(doc->UndoStack().undoText(), QString::fromLatin1(what));
            states.push_back({Image(*doc), doc->Title()});
        };
        step("Open Sample", [&] { doc->OnOpenSample(); });
        dialogs.fileAnswers = {dir->filePath(QStringLiteral("Kit.vmp"))};
        step("Save As", [&] { doc->OnFileSaveAs(); });
        QVERIFY(!doc->IsModified());
        QTimer::singleShot(0, this, [] {
            QWidget* dialog = QApplication::activeModalWidget();
            dialog->findChild<QListWidget*>(QStringLiteral("fileList"))->selectAll();
            dialog->findChild<QPushButton*>(QStringLiteral("addButton"))->click();
            dialog->findChild<QPushButton*>(QStringLiteral("okButton"))->click();
        });
        step("Add Samples", [&] { doc->OnAddSamples(); });
        QVERIFY(doc->GetProgram().sampleCount >= 2);
        step("Rename", [&] { doc->RenameSample(1, "Kick"); });
        step("Parameters on Kick", [&] {
            doc->EditSample(
                1, CVelomireDoc::EditScope::sampleAndKeygroup,
                [](auto& e) { e.keygroup.lowKey = 40; }, QStringLiteral("Parameters"));
        });
        step("Move", [&] { doc->MoveSamples({1}, -1); });
        step("Remove", [&] { doc->RemoveSamples({1}); });
        // An editor run that changes nothing is no step and leaves the flag alone.
        doc->SetModifiedFlag(false);
        doc->EditSample(0, CVelomireDoc::EditScope::sampleOnly, {});
        QVERIFY(!doc->IsModified());
        QCOMPARE(doc->UndoStack().index(), static_cast<int>(states.size()) - 1);

        for (auto i = states.size() - 1; i > 0; --i) {
            doc->UndoStack().undo();
            QCOMPARE(Image(*doc), states[i - 1].image);
            QCOMPARE(doc->Title(), states[i - 1].title);
            QCOMPARE(doc->IsModified(), i - 1 != states.size() - 1);
        }
        QVERIFY(!doc->GetProgram().programCreated); // back before Open Sample
        for (std::size_t i = 1; i < states.size(); ++i) {
            doc->UndoStack().redo();
            QCOMPARE(Image(*doc), states[i].image);
            QCOMPARE(doc->Title(), states[i].title);
        }
        QVERIFY(!doc->IsModified()); // at the step last saved

        // Open starts a new history.
        doc->OnOpenDocument(dir->filePath(QStringLiteral("Kit.vmp")));
        QVERIFY(!doc->UndoStack().canUndo());
    }

    // Random edits, undos, redos and saves against a model of the history: a list of program
    // images, the current one and the one saved.
    void ARandomRunOfEditsUndosAndRedosFollowsTheModel() {
        doc->Change(QStringLiteral("Fill"), [&] {
            auto& program = doc->GetProgram();
            program.programCreated = true;
            program.sampleCount = 8;
            for (int i = 0; i < 8; ++i) {
                velomire::program::SetFieldText(program.samples[i].sample.sampleName,
                                                std::string(1, static_cast<char>('a' + i)));
            }
        });
        doc->SetModifiedFlag(false);
        std::vector<std::vector<std::uint8_t>> history{Image(*doc)};
        std::size_t current = 0;
        std::ptrdiff_t saved = 0;
        std::mt19937 random(13);
        const auto pick = [&](int n) {
            return std::uniform_int_distribution<int>(0, n - 1)(random);
        };
        for (int round = 0; round < 600; ++round) {
            const int count = doc->GetProgram().sampleCount;
            const std::vector<int> rows{pick(std::max(count, 1)), pick(std::max(count, 1))};
            const auto before = Image(*doc);
            const int indexBefore = doc->UndoStack().index();
            bool edit = true;
            switch (pick(8)) {
            case 0:
                doc->RenameSample(rows[0], std::string(1, static_cast<char>('a' + pick(12))));
                break;
            case 1:
                if (count > 2) {
                    doc->RemoveSamples({rows[0]});
                }
                break;
            case 2:
                doc->MoveSamples(rows, pick(2) == 0 ? -1 : 1);
                break;
            case 3:
                doc->MoveSamplesTo(rows, pick(count + 1));
                break;
            case 4:
            case 5:
                edit = false;
                if (current > 0) {
                    doc->UndoStack().undo();
                    --current;
                }
                break;
            case 6:
                edit = false;
                if (current + 1 < history.size()) {
                    doc->UndoStack().redo();
                    ++current;
                }
                break;
            default:
                edit = false;
                doc->SetModifiedFlag(false);
                saved = static_cast<std::ptrdiff_t>(current);
                break;
            }
            const bool stepped = doc->UndoStack().index() != indexBefore;
            if (edit) {
                QCOMPARE(stepped, Image(*doc) != before);
            }
            if (edit && stepped) {
                history.resize(current + 1);
                history.push_back(Image(*doc));
                ++current;
                if (saved >= static_cast<std::ptrdiff_t>(current)) {
                    saved = -1; // the saved state can no longer be reached
                }
            }
            QCOMPARE(Image(*doc), history[current]);
            QCOMPARE(doc->IsModified(), static_cast<std::ptrdiff_t>(current) != saved);
        }
    }

    void AddSamplesAppliesWhatTheDialogAcceptedAndMarksTheDocument() {
        Wav(QStringLiteral("kick.wav"));
        Wav(QStringLiteral("snare.wav"), 2);
        Wav24(dir->filePath(QStringLiteral("deep.wav")));
        dialogs.convertAnswer = velomire::program::ConvertOptions{};
        dialogs.fileAnswers = {dir->filePath(QStringLiteral("Kit.vmp"))};
        doc->OnFileNew();
        QSignalSpy changed(doc.get(), &CVelomireDoc::changed);
        QTimer::singleShot(0, this, [] {
            QWidget* dialog = QApplication::activeModalWidget();
            QVERIFY(dialog);
            QCOMPARE(dialog->windowTitle(), QStringLiteral("Select Samples "));
            dialog->findChild<QListWidget*>(QStringLiteral("fileList"))->selectAll();
            dialog->findChild<QPushButton*>(QStringLiteral("addButton"))->click();
            dialog->findChild<QPushButton*>(QStringLiteral("okButton"))->click();
        });
        doc->OnAddSamples();
        const auto& program = doc->GetProgram();
        // The 24-bit file was converted after one question and the row names the converted file.
        QCOMPARE(dialogs.questions.last().kind, QStringLiteral("convert"));
        QCOMPARE(FileNames(), (std::vector<std::string>{"deep-16.wav", "kick.wav", "snare.wav"}));
        QVERIFY(doc->IsModified());
        QCOMPARE(changed.size(), 1);

        // Rows removed, then Esc: nothing changes, and the views are not told of anything.
        doc->SetModifiedFlag(false);
        QTimer::singleShot(0, this, [] {
            QWidget* dialog = QApplication::activeModalWidget();
            dialog->findChild<QListWidget*>(QStringLiteral("sampleList"))->selectAll();
            dialog->findChild<QPushButton*>(QStringLiteral("removeButton"))->click();
            QTest::keyClick(dialog, Qt::Key_Escape);
        });
        doc->OnAddSamples();
        QCOMPARE(program.sampleCount, 3);
        QVERIFY(!doc->IsModified());
        QCOMPARE(changed.size(), 1);

        // A file of another folder, chosen with Browse: copied into the program's directory on
        // OK, after one question.
        QTemporaryDir elsewhere;
        velomire::testing::WriteFile(
            Native(elsewhere.filePath(QStringLiteral("tom.wav"))),
            WavBuilder::Canonical(1, 44100, 16, std::vector<std::int16_t>(500, 7)));
        dialogs.fileAnswers = {elsewhere.path()};
        dialogs.confirmAnswer = true;
        QTimer::singleShot(0, this, [] {
            QWidget* dialog = QApplication::activeModalWidget();
            dialog->findChild<QPushButton*>(QStringLiteral("browseButton"))->click();
            dialog->findChild<QListWidget*>(QStringLiteral("fileList"))->selectAll();
            dialog->findChild<QPushButton*>(QStringLiteral("addButton"))->click();
            dialog->findChild<QPushButton*>(QStringLiteral("okButton"))->click();
        });
        doc->OnAddSamples();
        QCOMPARE(dialogs.questions.last().kind, QStringLiteral("confirm"));
        QCOMPARE(FileNames(),
                 (std::vector<std::string>{"deep-16.wav", "kick.wav", "snare.wav", "tom.wav"}));
        QVERIFY(QFile::exists(dir->filePath(QStringLiteral("tom.wav"))));
        QVERIFY(messages.messages.empty());
    }

    void AddSamplesProposesConvertingARateTheModelPlaysOffPitch() {
        const QString hum = Wav(QStringLiteral("hum48.wav"), 1, 48000);
        dialogs.fileAnswers = {dir->filePath(QStringLiteral("Kit.vmp"))};
        doc->OnFileNew();
        doc->Settings().samplerModel = 8; // S3000 XL
        dialogs.convertAnswer =
            velomire::program::ConvertOptions{velomire::program::TargetRate::rate44100};
        QTimer::singleShot(0, this, [] {
            QWidget* dialog = QApplication::activeModalWidget();
            dialog->findChild<QListWidget*>(QStringLiteral("fileList"))->selectAll();
            dialog->findChild<QPushButton*>(QStringLiteral("addButton"))->click();
            dialog->findChild<QPushButton*>(QStringLiteral("okButton"))->click();
        });
        doc->OnAddSamples();
        const auto& question = dialogs.questions.last();
        QCOMPARE(question.kind, QStringLiteral("convert"));
        QCOMPARE(question.title,
                 QStringLiteral("hum48.wav (48000 Hz: 146.7 cents flat on the sampler)"));
        QCOMPARE(question.proposal, QString::number(int(velomire::program::TargetRate::rate44100)));
        const auto& program = doc->GetProgram();
        QCOMPARE(FileNames(), (std::vector<std::string>{"hum48-16.wav"}));
        QCOMPARE(program.samples[0].sample.sampleRate, 44100u);
        QVERIFY(velomire::transfer::OffPitchWarnings(program, 8).empty());

        // The S950 plays the rate it is sent: the file goes in as it is, nothing asked.
        doc->Settings().samplerModel = 2;
        const auto asked = dialogs.questions.size();
        doc->OnDropFiles({hum});
        QCOMPARE(dialogs.questions.size(), asked);
        QCOMPARE(FileNames(), (std::vector<std::string>{"hum48-16.wav", "hum48.wav"}));
        QVERIFY(messages.messages.empty());
    }

    void DroppedFilesAreCopiedOrConvertedIntoTheProgramAfterOneQuestionEach() {
        // No program yet: the drop asks for the new program's file first.
        QTemporaryDir elsewhere;
        const QString clash = Wav(QStringLiteral("Pad_C2.wav"));
        QFile::copy(clash, elsewhere.filePath(QStringLiteral("Pad_C2.wav")));
        const QString inside = Wav(QStringLiteral("kick.wav"));
        const QString copied = elsewhere.filePath(QStringLiteral("Pad_C3.wav"));
        QFile::copy(inside, copied);
        const QString deep = Wav24(elsewhere.filePath(QStringLiteral("Pad_E3.wav")));
        dialogs.fileAnswers = {dir->filePath(QStringLiteral("Kit.vmp"))};
        dialogs.convertAnswer = velomire::program::ConvertOptions{};
        dialogs.confirmAnswer = true;
        doc->OnDropFiles({elsewhere.filePath(QStringLiteral("Pad_C2.wav")), copied, deep, inside});

        QCOMPARE(doc->Title(), QStringLiteral("Kit"));
        QStringList kinds;
        for (const auto& question : dialogs.questions) {
            kinds << question.kind;
        }
        QCOMPARE(kinds, (QStringList{QStringLiteral("save"), QStringLiteral("convert"),
                                     QStringLiteral("confirm")}));
        // The clash is reported and skipped; the copy and the conversion land in the program's
        // directory; the originals stay.
        QCOMPARE(messages.messages.size(), 1u);
        QVERIFY(messages.messages[0].text.find("\nPad_C2.wav: ") != std::string::npos);
        QCOMPARE(FileNames(), (std::vector<std::string>{"Pad_C3.wav", "Pad_E3.wav", "kick.wav"}));
        QVERIFY(QFile::exists(dir->filePath(QStringLiteral("Pad_E3.wav"))));
        QVERIFY(QFile::exists(deep));
        QVERIFY(doc->IsModified());

        // Map keys from names: one change of the document, names without a note listed once.
        QSignalSpy changed(doc.get(), &CVelomireDoc::changed);
        doc->OnMapKeysFromNames({});
        QCOMPARE(changed.size(), 1);
        const auto& program = doc->GetProgram();
        QCOMPARE(program.samples[0].sample.rootKey, std::int16_t{60});
        QCOMPARE(program.samples[1].keygroup.lowKey, std::int16_t{63});
        QCOMPARE(messages.messages.size(), 2u);
        QVERIFY(messages.messages[1].text.find("kick.wav") != std::string::npos);
    }

    void FilesNotAddedAreListedInOneMessageAfterTheConversion() {
        dialogs.fileAnswers = {dir->filePath(QStringLiteral("Kit.vmp"))};
        QVERIFY(doc->OnNewDocument());
        const QString kick = Wav(QStringLiteral("kick.wav"));
        const QString deep = Wav24(dir->filePath(QStringLiteral("deep.wav")));
        // Three channels: the converter reads the file but refuses to convert it.
        const QString surround = dir->filePath(QStringLiteral("surround.wav"));
        velomire::testing::WriteFile(Native(surround),
                                     WavBuilder()
                                         .Riff()
                                         .Fmt(3, 44100, 24)
                                         .Chunk("data", std::vector<std::uint8_t>(900))
                                         .Bytes());

        // A refused conversion, a converted file and one already in the program: one message
        // once the conversion is over, and what could be added is added.
        dialogs.convertAnswer = velomire::program::ConvertOptions{};
        doc->OnDropFiles({kick});
        doc->OnDropFiles({surround, deep, kick});
        QCOMPARE(messages.messages.size(), 1u);
        const std::string& text = messages.messages[0].text;
        QCOMPARE(messages.messages[0].caption, std::string("Velomire"));
        QVERIFY(text.starts_with("These files were not added:\nsurround.wav: can't convert"));
        QVERIFY(text.find("\nkick.wav: in the program already") != std::string::npos);
        QCOMPARE(FileNames(), (std::vector<std::string>{"kick.wav", "deep-16.wav"}));
    }

    void OptionsWritesTheTenKeysWhenAccepted() {
        auto& s = doc->Settings();
        s = {5, 255, 254, 8, 32, 2, 15, 1, 3, 0};
        QTimer::singleShot(0, this, [] {
            QWidget* dialog = QApplication::activeModalWidget();
            QVERIFY(dialog);
            QCOMPARE(dialog->windowTitle(), QStringLiteral("Options : Sampler and Midi"));
            dialog->findChild<QPushButton*>(QStringLiteral("okButton"))->click();
        });
        QSignalSpy changed(doc.get(), &CVelomireDoc::changed);
        doc->OnOptions();
        QVERIFY(messages.messages.empty());
        QCOMPARE(changed.count(), 1); // the list shows what the model takes (its Out column)
        QSettings written(store->FileName(), QSettings::IniFormat);
        written.beginGroup(QStringLiteral("Velomire"));
        // The keys and their order are SamplerSettings' own test; here that OK writes them.
        QCOMPARE(written.value(QStringLiteral("Midi channel")).toString(), QStringLiteral("15"));
        // No audio outputs are listed yet, so the dialog gives back none chosen.
        QCOMPARE(written.value(QStringLiteral("WaveOut device")).toString(), QStringLiteral("-1"));
        // No input ports are listed here, so the dialog gives back one-way.
        QCOMPARE(written.value(QStringLiteral("MidiIn device")).toString(), QStringLiteral("-1"));
        // The port is kept by name as well; one that is not there today stays chosen.
        QCOMPARE(written.value(QStringLiteral("MidiOut device name")).toString(),
                 QStringLiteral("Test Port B"));
        s.midiOutName = "Unplugged";
        QTimer::singleShot(0, this, [] {
            QWidget* dialog = QApplication::activeModalWidget();
            QCOMPARE(dialog->findChild<QComboBox*>(QStringLiteral("midiOutList"))->currentText(),
                     QStringLiteral("Unplugged (not there)"));
            dialog->findChild<QPushButton*>(QStringLiteral("okButton"))->click();
        });
        doc->OnOptions();
        QCOMPARE(s.midiOutName, std::string("Unplugged"));
        QCOMPARE(s.midiOutDevice, 1);

        // Esc after picking another model: neither the document nor the file changes.
        QTimer::singleShot(0, this, [] {
            QWidget* dialog = QApplication::activeModalWidget();
            dialog->findChild<QComboBox*>(QStringLiteral("modelList"))->setCurrentIndex(1);
            QTest::keyClick(dialog, Qt::Key_Escape);
        });
        doc->OnOptions();
        QCOMPARE(s.samplerModel, 5);
        QSettings after(store->FileName(), QSettings::IniFormat);
        QCOMPARE(after.value(QStringLiteral("Velomire/Sampler model")).toString(),
                 QStringLiteral("5"));
    }
};

QTEST_MAIN(DocumentTest)
#include "DocumentTest.moc"
