#include "program/ProgramFile.h"
#include "program/WavInfo.h"
#include "program/ui/CSelectSamplesDlg.h"
#include "support/RecordingMessages.h"
#include "support/WavBuilder.h"

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QtTest>

#include <filesystem>
#include <memory>

using namespace velomire::program;
using velomire::testing::RecordingMessages;
using velomire::testing::TempDir;
using velomire::testing::WavBuilder;
using velomire::testing::WorkingDirectoryGuard;
using velomire::testing::WriteFile;
using velomire::testing::WriteShortWav;

namespace {

QStringList Texts(const QListWidget* list) {
    QStringList texts;
    for (int i = 0; i < list->count(); ++i) {
        texts << list->item(i)->text();
    }
    return texts;
}

// Remembers, for each message, what the information line showed when the message came up.
class MessagesSeeingTheBitsLine : public RecordingMessages {
public:
    void Show(std::string_view text, std::string_view caption) override {
        RecordingMessages::Show(text, caption);
        bitsShownAtMessage.push_back(bits != nullptr ? bits->text() : QString());
    }
    const QLabel* bits = nullptr;
    QStringList bitsShownAtMessage;
};

} // namespace

class SelectSamplesDlgTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void removingTheSecondOfThreeAndAddingOneGivesFirstThirdAndNew();
    void anEightBitFileShowsItsValuesAndWhyItIsRefusedWithoutABox();
    void doubleClickPlaysAndClosingStopsThePreview();

private:
    QListWidget* Files() { return dialog->findChild<QListWidget*>(QStringLiteral("fileList")); }
    QListWidget* Samples() { return dialog->findChild<QListWidget*>(QStringLiteral("sampleList")); }
    void Click(const char* button) {
        QTest::mouseClick(dialog->findChild<QPushButton*>(QString::fromLatin1(button)),
                          Qt::LeftButton);
    }
    void SelectFiles(const QStringList& names) {
        Files()->clearSelection();
        for (const QString& name : names) {
            const auto found = Files()->findItems(name, Qt::MatchExactly);
            QVERIFY(!found.isEmpty());
            found.first()->setSelected(true);
        }
    }
    void AddRow(const std::string& file, const std::string& sampleName) {
        WriteShortWav(program->SampleFilePath(file));
        WavInfo wav(messages);
        QVERIFY(wav.Open(program->SampleFilePath(file), file));
        program->InitSampleEntry(program->sampleCount, file, wav);
        SetFieldText(
            program->samples[static_cast<std::size_t>(program->sampleCount)].sample.sampleName,
            sampleName);
        ++program->sampleCount;
    }
    // What the document does: fill, run, apply on OK.
    void Open() {
        dialog->Pending().FillFrom(*program);
        dialog->show();
        QVERIFY(QTest::qWaitForWindowExposed(dialog.get()));
    }
    std::vector<std::string> RowFiles() const {
        std::vector<std::string> files;
        for (int i = 0; i < program->sampleCount; ++i) {
            files.push_back(
                FieldText(program->samples[static_cast<std::size_t>(i)].sample.fileName));
        }
        return files;
    }

    std::unique_ptr<WorkingDirectoryGuard> restore;
    std::unique_ptr<TempDir> dir;
    MessagesSeeingTheBitsLine messages;
    std::vector<std::string> played;
    std::unique_ptr<Program> program;
    std::unique_ptr<CSelectSamplesDlg> dialog;
};

void SelectSamplesDlgTest::init() {
    dir = std::make_unique<TempDir>();
    restore = std::make_unique<WorkingDirectoryGuard>(dir->Path()); // the test writes files here
    program = std::make_unique<Program>();
    program->SetProgramPath(dir->Path() / "Drums.vmp", true);
    messages = MessagesSeeingTheBitsLine();
    played.clear();
    dialog =
        std::make_unique<CSelectSamplesDlg>(messages, dir->Path(), [this](const std::string& name) {
            played.push_back(name);
            return 0;
        });
    messages.bits = dialog->findChild<QLabel*>(QStringLiteral("information1"));
}

void SelectSamplesDlgTest::cleanup() {
    dialog.reset();
    restore.reset();
    dir.reset();
}

void SelectSamplesDlgTest::removingTheSecondOfThreeAndAddingOneGivesFirstThirdAndNew() {
    AddRow("kick.wav", "Kick");
    AddRow("snare.wav", "Snare");
    AddRow("hat.wav", "Hat");
    WriteShortWav("Clap.WAV");
    WriteShortWav("an_unusually_long_file_name_of_the_take.wav"); // 43 characters
    WriteFile("notes.txt", {});

    Open();
    QCOMPARE(dialog->windowTitle(), QStringLiteral("Select Samples "));
    auto* directory = dialog->findChild<QLineEdit*>(QStringLiteral("directoryLine"));
    QCOMPARE(directory->text(), QDir::toNativeSeparators(QDir::currentPath()));
    // Return in the Directory field is no OK.
    directory->setFocus();
    QTest::keyClick(directory, Qt::Key_Return);
    QVERIFY(dialog->isVisible());
    QCOMPARE(Texts(Files()), QStringList({"Clap.WAV", "hat.wav", "kick.wav", "snare.wav"}));
    auto* note = dialog->findChild<QLabel*>(QStringLiteral("longNamesNote"));
    QVERIFY(note->isVisible());
    QCOMPARE(note->text(),
             QStringLiteral("1 file with a name of 40 characters or more is not listed"));
    QCOMPARE(Texts(Samples()),
             QStringList({"kick.wav [Kick]", "snare.wav [Snare]", "hat.wav [Hat]"}));

    Samples()->item(1)->setSelected(true);
    Click("removeButton");
    SelectFiles({"Clap.WAV"});
    Click("addButton");
    QCOMPARE(Texts(Samples()), QStringList({"kick.wav [Kick]", "hat.wav [Hat]", "Clap.WAV []"}));

    Click("okButton");
    QCOMPARE(dialog->result(), int(QDialog::Accepted));
    QVERIFY(dialog->Pending().ApplyTo(*program, messages));
    QCOMPARE(RowFiles(), (std::vector<std::string>{"kick.wav", "hat.wav", "Clap.WAV"}));
    QVERIFY(messages.messages.empty());

    // The next time, the lists are built again from the program as it is now.
    Open();
    QCOMPARE(Texts(Samples()),
             QStringList({"kick.wav [Kick]", "hat.wav [Hat]", "Clap.WAV [Clap]"}));
    QCOMPARE(dialog->InformationLine()[0], QString());
}

void SelectSamplesDlgTest::anEightBitFileShowsItsValuesAndWhyItIsRefusedWithoutABox() {
    WriteFile("lofi.wav", WavBuilder::Canonical(1, 22050, 8, std::vector<std::int16_t>(22050)));
    WriteFile("pad.wav",
              WavBuilder::Canonical(2, 44100, 16, std::vector<std::int16_t>(110250 * 2)));
    Open();

    // The texts are InformationTexts' (its own test); here they reach the line for the file
    // clicked, with the reader's reason beneath them.
    const auto note = [this] {
        return dialog->findChild<QLabel*>(QStringLiteral("informationNote"))->text();
    };
    const QRect lofi = Files()->visualItemRect(Files()->item(0));
    QTest::mouseClick(Files()->viewport(), Qt::LeftButton, {}, lofi.center());
    QVERIFY(messages.messages.empty());
    QCOMPARE(dialog->InformationLine()[0], QStringLiteral("lofi.wav"));
    QCOMPARE(messages.bits->text(), QStringLiteral("8 Bits"));
    QCOMPARE(note(), QStringLiteral("Invalid .Wav File"));

    const QRect pad = Files()->visualItemRect(Files()->item(1));
    QTest::mouseClick(Files()->viewport(), Qt::LeftButton, {}, pad.center());
    const auto padLine = dialog->InformationLine();
    QCOMPARE(padLine[5], QStringLiteral("2.5 Seconds"));
    QCOMPARE(note(), QString());

    // A file gone since the list was made: its name and why, not the previous file's details.
    std::filesystem::remove("lofi.wav");
    QTest::mouseClick(Files()->viewport(), Qt::LeftButton, {}, lofi.center());
    QVERIFY(messages.messages.empty());
    QCOMPARE(dialog->InformationLine()[0], QStringLiteral("lofi.wav"));
    QCOMPARE(dialog->InformationLine()[5], QString());
    QCOMPARE(note(), QStringLiteral("Can't open File"));

    // A file without a WAV header: its name and why, no zeros.
    WriteFile("lofi.wav", std::vector<std::uint8_t>(300, 0x55));
    QTest::mouseClick(Files()->viewport(), Qt::LeftButton, {}, pad.center());
    QTest::mouseClick(Files()->viewport(), Qt::LeftButton, {}, lofi.center());
    QCOMPARE(dialog->InformationLine()[1], QString());
    QCOMPARE(note(), QStringLiteral("Invalid .Wav File"));
}

void SelectSamplesDlgTest::doubleClickPlaysAndClosingStopsThePreview() {
    WriteShortWav("kick.wav");
    Open();
    const QRect kick = Files()->visualItemRect(Files()->item(0));
    // As the window system delivers it: a click, then the second press as a double click.
    QTest::mouseClick(Files()->viewport(), Qt::LeftButton, {}, kick.center());
    QTest::mouseDClick(Files()->viewport(), Qt::LeftButton, {}, kick.center());
    QTest::mouseRelease(Files()->viewport(), Qt::LeftButton, {}, kick.center());
    const std::string kickPath = (dir->Path() / "kick.wav").string(); // played by its full path
    QCOMPARE(played, std::vector<std::string>{kickPath});
    Click("okButton");
    QCOMPARE(played, (std::vector<std::string>{kickPath, ""}));
}

QTEST_MAIN(SelectSamplesDlgTest)
#include "SelectSamplesDlgTest.moc"
