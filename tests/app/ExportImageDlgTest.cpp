#include "app/ExportImageDlg.h"

#include "program/WavInfo.h"
#include "support/FakeFileDialogs.h"
#include "support/RecordingMessages.h"
#include "support/WavBuilder.h"
#include "transfer/SamplerModel.h"

#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QtTest>

#include <filesystem>

using namespace velomire;

// The dialog's wiring: the media the model takes, the room shown for the one chosen, the image
// written on the worker thread, a refusal as one message. The rules of the images themselves are
// the core's tests.
class ExportImageDlgTest : public QObject {
    Q_OBJECT

private slots:
    void init() {
        dialogs = {};
        messages.messages.clear();
        directory = std::make_unique<testing::TempDir>();
        std::filesystem::current_path(directory->Path());
        testing::WriteFile(
            directory->Path() / "tone.wav",
            testing::WavBuilder::Canonical(1, 22050, 16, std::vector<std::int16_t>(2000, 100)));
        program = std::make_unique<program::Program>();
        program->SetProgramPath(directory->Path() / "Tone.vmp", true);
        program::WavInfo wav(messages);
        QVERIFY(wav.Open("tone.wav"));
        program->InitSampleEntry(0, "tone.wav", wav);
        program->sampleCount = 1;
    }

    void cleanup() {
        std::filesystem::current_path(std::filesystem::temp_directory_path());
        directory.reset();
    }

    void TheS950OffersBothFloppiesAndShowsTheRoomOfTheOneChosen() {
        app::ExportImageDlg dialog(*program, transfer::SamplerModel::s950, dialogs, messages);
        QCOMPARE(dialog.MediumBox()->count(), 2);
        QVERIFY(dialog.SpaceLabel()->text().contains(QStringLiteral("796 KB free")));
        dialog.MediumBox()->setCurrentIndex(1);
        QVERIFY(dialog.SpaceLabel()->text().contains(QStringLiteral("1595 KB free")));

        app::ExportImageDlg s900(*program, transfer::SamplerModel::s900, dialogs, messages);
        QCOMPARE(s900.MediumBox()->count(), 1);

        // Too much for the double-density floppy: the reason, and nothing to press until the
        // high-density one is chosen.
        program->samples[0].sample.lengthWords = 600000;
        app::ExportImageDlg big(*program, transfer::SamplerModel::s950, dialogs, messages);
        QVERIFY(big.SpaceLabel()->text().contains(
            QStringLiteral("It cannot be written: The files need 880 KB")));
        QVERIFY(!big.ExportButton()->isEnabled() && !big.AddButton()->isEnabled());
        big.MediumBox()->setCurrentIndex(1);
        QVERIFY(big.ExportButton()->isEnabled() && big.AddButton()->isEnabled());
    }

    void ExportWritesTheImageOnAWorkerAndCloses() {
        app::ExportImageDlg dialog(*program, transfer::SamplerModel::s950, dialogs, messages);
        dialog.MediumBox()->setCurrentIndex(1);
        const QString target = QString::fromStdString((directory->Path() / "tone.img").string());
        dialogs.fileAnswers << target;
        QSignalSpy accepted(&dialog, &QDialog::accepted);
        dialog.ExportButton()->click();
        QVERIFY(!dialog.ExportButton()->isEnabled() || accepted.count() == 1);
        QVERIFY(accepted.count() == 1 || accepted.wait(10000));
        // Proposed: the program's name in its folder.
        QCOMPARE(QDir::fromNativeSeparators(dialogs.questions.first().proposal),
                 QDir::fromNativeSeparators(
                     QString::fromStdString((directory->Path() / "Tone.img").string())));
        QCOMPARE(QFileInfo(target).size(), 1638400);
        QVERIFY(dialog.Summary().contains(QStringLiteral("tone.img: 2 files")));
        QVERIFY(messages.messages.empty());
    }

    void ARefusalIsOneMessageAndTheFileStaysAsItWas() {
        app::ExportImageDlg dialog(*program, transfer::SamplerModel::s900, dialogs, messages);
        const auto junk = directory->Path() / "junk.img";
        testing::WriteFile(junk, {1, 2, 3});
        dialogs.fileAnswers << QString::fromStdString(junk.string());
        dialog.AddButton()->click();
        QTRY_COMPARE_WITH_TIMEOUT(messages.messages.size(), std::size_t{1}, 10000);
        QVERIFY(messages.messages.front().text.find("junk.img: The image cannot be added to") !=
                std::string::npos);
        QCOMPARE(testing::ReadFile(junk), (std::vector<std::uint8_t>{1, 2, 3}));
        QVERIFY(dialog.ExportButton()->isEnabled());
    }

private:
    std::unique_ptr<testing::TempDir> directory;
    std::unique_ptr<program::Program> program;
    testing::FakeFileDialogs dialogs;
    testing::RecordingMessages messages;
};

QTEST_MAIN(ExportImageDlgTest)
#include "ExportImageDlgTest.moc"
