#include "program/WavInfo.h"
#include "program/ui/CSelectSamplesDlg.h"
#include "support/RecordingMessages.h"
#include "support/WavBuilder.h"
#include "transfer/ui/COptionsDlg.h"
#include "transfer/ui/CProgramNumberDlg.h"
#include "transfer/ui/CProgramSummaryDlg.h"
#include "transfer/ui/CSendingDlg.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QtTest>

#include <filesystem>
#include <memory>

using namespace velomire;
using velomire::testing::RecordingMessages;
using velomire::testing::TempDir;
using velomire::testing::WavBuilder;
using velomire::testing::WriteFile;

namespace {

// Every text of the dialog fits its widget: labels, buttons, fields and drop-down lists show
// what they hold without cutting it.
QStringList ClippedTexts(QWidget& dialog) {
    QStringList clipped;
    for (QLabel* label : dialog.findChildren<QLabel*>()) {
        if (!label->isVisible() || label->text().isEmpty()) {
            continue;
        }
        const QRect room = label->contentsRect();
        const bool fits =
            label->wordWrap()
                ? room.height() >= label->heightForWidth(room.width())
                : room.width() >= label->fontMetrics().horizontalAdvance(label->text());
        if (!fits) {
            clipped << label->text();
        }
    }
    for (QAbstractButton* button : dialog.findChildren<QAbstractButton*>()) {
        if (button->isVisible() && button->width() < button->minimumSizeHint().width()) {
            clipped << button->text();
        }
    }
    for (QLineEdit* field : dialog.findChildren<QLineEdit*>()) {
        const int room = field->width() - 8; // frame and text margins
        if (field->isVisible() && room < field->fontMetrics().horizontalAdvance(field->text())) {
            clipped << field->text();
        }
    }
    for (QListWidget* list : dialog.findChildren<QListWidget*>()) {
        for (int i = 0; i < list->count(); ++i) {
            const QString text = list->item(i)->text();
            if (list->viewport()->width() < list->fontMetrics().horizontalAdvance(text)) {
                clipped << text;
            }
        }
    }
    for (QComboBox* list : dialog.findChildren<QComboBox*>()) {
        if (list->isVisible() && list->currentIndex() >= 0 &&
            list->width() - 32 < list->fontMetrics().horizontalAdvance(list->currentText())) {
            clipped << list->currentText();
        }
    }
    return clipped;
}

// Saves the dialog's picture when the screenshot script asks for it (VELOMIRE_SCREENSHOT_DIR).
void Capture(QWidget& dialog, const char* name) {
    const QByteArray directory = qgetenv("VELOMIRE_SCREENSHOT_DIR");
    if (directory.isEmpty()) {
        return;
    }
    QDir().mkpath(QString::fromLocal8Bit(directory));
    const QString path = QDir(QString::fromLocal8Bit(directory)).filePath(QLatin1String(name));
    QVERIFY2(dialog.grab().save(path), qPrintable(path));
}

bool Exposed(QWidget& dialog) {
    dialog.show();
    return QTest::qWaitForWindowExposed(&dialog);
}

} // namespace

class DialogLayoutTest : public QObject {
    Q_OBJECT

private slots:
    void optionsShowsEveryTextWhole();
    void selectSamplesShowsEveryTextWhole();
    void programSummaryShowsEveryTextWhole();
    void programNumberShowsEveryTextWhole();
    void sendingWindowShowsEveryTextWhole();
};

void DialogLayoutTest::optionsShowsEveryTextWhole() {
    RecordingMessages messages;
    transfer::SamplerSettings settings;
    settings.samplerModel = 3;
    settings.maxProgram = 100;
    settings.maxSample = 200;
    settings.polyphony = 16;
    settings.audioOutputs = 8;
    settings.midiChannel = 0;
    settings.exclusiveChannel = 0;
    settings.midiOutDevice = 1;
    settings.waveOutDevice = 0;
    transfer::COptionsDlg dialog(
        settings, {"Midi Through:Midi Through Port-0 14:0", "UM-ONE:UM-ONE MIDI 1 24:0"},
        {"Midi Through:Midi Through Port-0 14:0", "UM-ONE:UM-ONE MIDI 1 24:0"},
        {"Built-in Audio Analog Stereo"}, messages);
    QVERIFY(Exposed(dialog));
    QCOMPARE(ClippedTexts(dialog), QStringList());
    Capture(dialog, "options.png");
}

void DialogLayoutTest::selectSamplesShowsEveryTextWhole() {
    const auto startDirectory = std::filesystem::current_path();
    TempDir dir;
    std::filesystem::create_directory(dir / "Samples");
    std::filesystem::current_path(dir / "Samples");
    for (const char* name : {"kick.wav", "snare.wav", "hat_closed.wav", "hat_open.wav",
                             "tom_low.wav", "ride.wav", "clap.wav"}) {
        WriteFile(name, WavBuilder::Canonical(1, 44100, 16, std::vector<std::int16_t>(22050)));
    }
    WriteFile("pad_strings_C3.wav",
              WavBuilder::Canonical(2, 44100, 16, std::vector<std::int16_t>(110250 * 2)));
    WriteFile("bass_finger_picked_long_sustain_C1.wav",
              WavBuilder::Canonical(1, 44100, 16, std::vector<std::int16_t>(88200)));
    WriteFile("drum_loop_ninety_bpm_take_three_final.wav",
              WavBuilder::Canonical(2, 44100, 16, std::vector<std::int16_t>(4)));

    RecordingMessages messages;
    auto program = std::make_unique<program::Program>();
    program->SetProgramPath(std::filesystem::current_path() / "Drums.vmp", true);
    for (const char* file : {"kick.wav", "snare.wav", "bass_finger_picked_long_sustain_C1.wav"}) {
        program::WavInfo wav(messages);
        QVERIFY(wav.Open(file));
        program->InitSampleEntry(program->sampleCount, file, wav);
        ++program->sampleCount;
    }

    program::CSelectSamplesDlg dialog(messages, program->programDirectory,
                                      [](const std::string&) { return 0; });
    dialog.Pending().FillFrom(*program);
    QVERIFY(Exposed(dialog));
    auto* files = dialog.findChild<QListWidget*>(QStringLiteral("fileList"));
    files->setCurrentRow(5); // pad_strings_C3.wav
    QCOMPARE(dialog.InformationLine()[0], QStringLiteral("pad_strings_C3.wav"));
    QCOMPARE(ClippedTexts(dialog), QStringList());
    QCOMPARE(dialog.findChild<QLabel*>(QStringLiteral("information0"))->text(),
             QStringLiteral("pad_strings_C3.wav"));
    Capture(dialog, "select-samples.png");

    // The longest name a sample entry holds fits: whole, or shortened in the middle with the
    // whole name in its tooltip, never cut.
    files->setCurrentRow(0);
    const QString longest = QStringLiteral("bass_finger_picked_long_sustain_C1.wav");
    const QLabel* name = dialog.findChild<QLabel*>(QStringLiteral("information0"));
    QCOMPARE(ClippedTexts(dialog), QStringList());
    QVERIFY(name->text() == longest
                ? name->toolTip().isEmpty()
                : name->text().contains(QChar(0x2026)) && name->toolTip() == longest);
    dialog.close();
    std::filesystem::current_path(startDirectory);
    QVERIFY(messages.messages.empty());
}

void DialogLayoutTest::programSummaryShowsEveryTextWhole() {
    transfer::CProgramSummaryDlg dialog(transfer::ProgramSummary{4, 511300});
    QVERIFY(Exposed(dialog));
    QCOMPARE(ClippedTexts(dialog), QStringList());
    Capture(dialog, "program-summary.png");
}

void DialogLayoutTest::programNumberShowsEveryTextWhole() {
    RecordingMessages messages;
    transfer::CProgramNumberDlg dialog(transfer::SendNumbers{1, 4, 254, 252}, messages);
    QVERIFY(Exposed(dialog));
    QCOMPARE(ClippedTexts(dialog), QStringList());
    Capture(dialog, "program-number.png");
}

void DialogLayoutTest::sendingWindowShowsEveryTextWhole() {
    transfer::CSendingDlg dialog(QStringLiteral("Sending samples to S3000 XL"));
    dialog.ShowNow();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    dialog.AddLine(QStringLiteral("Sending kick.wav [kick] ...Mono as sample#4"));
    dialog.AddLine(QStringLiteral("Sending snare.wav [snare] ...Mono as sample#5"));
    dialog.AddLine(QStringLiteral("Sending pad_strings_C3.wav [pad_strings_] ...Left channel as "
                                  "sample#6"));
    dialog.AddLine(QStringLiteral("Sending pad_strings_C3.wav [pad_strings_] ...Right channel as "
                                  "sample#7"));
    dialog.SetSampleBar(64);
    dialog.SetProgramBar(38);
    dialog.SetTimeLeft(52);
    QCOMPARE(dialog.TimeLeft(), QStringLiteral("Time left: 0min 52sec"));
    QCOMPARE(ClippedTexts(dialog), QStringList());
    Capture(dialog, "sending.png");
    dialog.Finish();
}

QTEST_MAIN(DialogLayoutTest)
#include "DialogLayoutTest.moc"
