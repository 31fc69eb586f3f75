#include "program/ProgramFile.h"
#include "program/WavInfo.h"
#include "support/HexMatch.h"
#include "support/RecordingMessages.h"
#include "support/RecordingMidiDriver.h"
#include "support/WavBuilder.h"
#include "transfer/MidiOutPort.h"
#include "transfer/SendCommand.h"
#include "transfer/WaitClock.h"
#include "transfer/ui/CProgramNumberDlg.h"
#include "transfer/ui/CProgramSummaryDlg.h"
#include "transfer/ui/CSendingDlg.h"
#include "transfer/ui/QtSendUi.h"

#include <QAbstractSpinBox>
#include <QApplication>
#include <QProcess>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include <filesystem>
#include <memory>

using namespace velomire::transfer;
namespace program = velomire::program;
using velomire::testing::ReadFile;
using velomire::testing::RecordingMessages;
using velomire::testing::RecordingMidiDriver;
using velomire::testing::TempDir;
using velomire::testing::WavBuilder;
using velomire::testing::WriteFile;

namespace {

constexpr int programsAnswer = 3;
constexpr int samplesAnswer = 10;
constexpr int midiChannel = 5;      // as typed in Options, 1-based
constexpr int exclusiveChannel = 9; // 1-based

// A sound that changes from frame to frame, so every data byte of the messages counts.
std::vector<std::int16_t> Ramp(std::size_t count, int step) {
    std::vector<std::int16_t> samples(count);
    for (std::size_t i = 0; i < count; ++i) {
        samples[i] = static_cast<std::int16_t>(static_cast<int>(i) * step - 12000);
    }
    return samples;
}

// How the numbers dialog is ended.
enum class NumbersEnding { ok, cancelButton, escape, closeButton };

// Answers the dialogs of a send the way a user would: "Send" in the summary, the two numbers
// typed and OK (or another ending) in the numbers dialog.
class DialogAnswerer {
public:
    explicit DialogAnswerer(NumbersEnding ending = NumbersEnding::ok) : ending(ending) {
        timer.setInterval(10);
        QObject::connect(&timer, &QTimer::timeout, [this] { Answer(); });
        timer.start();
    }

    int summaries = 0;
    int numberDialogs = 0;

private:
    void Answer() {
        QWidget* modal = QApplication::activeModalWidget();
        if (auto* summary = qobject_cast<CProgramSummaryDlg*>(modal)) {
            ++summaries;
            QTest::mouseClick(summary->findChild<QPushButton*>(QStringLiteral("sendButton")),
                              Qt::LeftButton);
        } else if (auto* numbers = qobject_cast<CProgramNumberDlg*>(modal)) {
            ++numberDialogs;
            Type(numbers->findChild<QAbstractSpinBox*>(QStringLiteral("programsSpin")),
                 programsAnswer);
            Type(numbers->findChild<QAbstractSpinBox*>(QStringLiteral("samplesSpin")),
                 samplesAnswer);
            switch (ending) {
            case NumbersEnding::ok:
                QTest::mouseClick(numbers->findChild<QPushButton*>(QStringLiteral("okButton")),
                                  Qt::LeftButton);
                break;
            case NumbersEnding::cancelButton:
                QTest::mouseClick(numbers->findChild<QPushButton*>(QStringLiteral("cancelButton")),
                                  Qt::LeftButton);
                break;
            case NumbersEnding::escape:
                QTest::keyClick(numbers->focusWidget(), Qt::Key_Escape);
                break;
            case NumbersEnding::closeButton:
                numbers->close(); // what the window's close button does
                break;
            }
        }
    }
    static void Type(QAbstractSpinBox* spin, int value) {
        spin->selectAll();
        QTest::keyClicks(spin, QString::number(value));
    }

    NumbersEnding ending;
    QTimer timer;
};

// QtSendUi, noting what its window showed while the send ran.
class WatchedSendUi : public QtSendUi {
public:
    using QtSendUi::QtSendUi;

    void AddLine(const std::string& line) override {
        QtSendUi::AddLine(line);
        CSendingDlg* window = SendingWindow();
        titles << window->windowTitle();
        shownLines = window->Lines();
        allVisible = allVisible && window->isVisible();
        const QCursor* cursor = QGuiApplication::overrideCursor();
        waitCursor = waitCursor && cursor != nullptr && cursor->shape() == Qt::WaitCursor;
    }
    void SetProgramBar(int percent) override {
        QtSendUi::SetProgramBar(percent);
        programBar = SendingWindow()->ProgramBar();
        timeLeft = SendingWindow()->TimeLeft();
    }

    QStringList titles;
    QStringList shownLines;
    bool allVisible = true;
    bool waitCursor = true;
    int programBar = 0;
    QString timeLeft;
};

} // namespace

class QtSendTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void aWholeSendPutsTheSameBytesOnTheWireAsTheCommandLineRender_data();
    void aWholeSendPutsTheSameBytesOnTheWireAsTheCommandLineRender();
    void endingTheNumbersDialogOtherwiseThanOkSendsNothing_data();
    void endingTheNumbersDialogOtherwiseThanOkSendsNothing();

private:
    std::unique_ptr<velomire::testing::WorkingDirectoryGuard> restore;
    std::unique_ptr<TempDir> dir;
    std::filesystem::path programPath;
};

void QtSendTest::init() {
    restore = std::make_unique<velomire::testing::WorkingDirectoryGuard>();
    dir = std::make_unique<TempDir>();
    WriteFile(*dir / "pad.wav", WavBuilder::Canonical(2, 22050, 16, Ramp(2 * 700, 17)));
    WriteFile(*dir / "kick.wav", WavBuilder::Canonical(1, 44100, 16, Ramp(333, -29)));

    RecordingMessages messages;
    auto made = std::make_unique<program::Program>();
    programPath = *dir / "Set.vmp";
    made->SetProgramPath(programPath, true);
    for (const char* file : {"pad.wav", "kick.wav"}) {
        program::WavInfo wav(messages);
        QVERIFY(wav.Open(made->SampleFilePath(file), file));
        made->InitSampleEntry(made->sampleCount, file, wav);
        ++made->sampleCount;
    }
    QVERIFY(program::ProgramFile::SaveFile(programPath, *made).ok);
}

void QtSendTest::cleanup() {
    restore.reset();
    dir.reset();
}

void QtSendTest::aWholeSendPutsTheSameBytesOnTheWireAsTheCommandLineRender_data() {
    QTest::addColumn<int>("model");
    QTest::addColumn<QString>("title");
    QTest::addColumn<int>("lineCount");
    // The port's line, then one per sample part and the program's.
    QTest::newRow("SDS") << 0 << "Sending samples to SDS compatible sampler" << 4;
    QTest::newRow("S950") << 2 << "Sending samples to S950" << 5;
    QTest::newRow("S3000") << 5 << "Sending samples to S3000" << 5;
}

void QtSendTest::aWholeSendPutsTheSameBytesOnTheWireAsTheCommandLineRender() {
    QFETCH(int, model);
    QFETCH(QString, title);
    QFETCH(int, lineCount);

    auto loaded = std::make_unique<program::Program>();
    QVERIFY(program::ProgramFile::LoadFile(programPath, *loaded).ok);
    loaded->SetProgramPath(programPath, false);
    SamplerSettings settings;
    settings.samplerModel = model;
    settings.midiOutDevice = 0;
    settings.maxProgram = 254;
    settings.maxSample = 255;
    settings.midiChannel = midiChannel - 1;
    settings.exclusiveChannel = exclusiveChannel - 1;

    RecordingMessages messages;
    RecordingMidiDriver driver;
    InstantWaitClock clock;
    MidiOutPort port(driver, clock, messages);
    QWidget mainWindow;
    WatchedSendUi ui(&mainWindow, messages);
    DialogAnswerer answerer;
    const auto outcome = SendCommand(*loaded, settings, port, messages, ui).OnSendProgram();

    QCOMPARE(int(outcome), int(SendCommand::Outcome::sent));
    QVERIFY(messages.messages.empty());
    QCOMPARE(answerer.summaries, 1);
    QCOMPARE(answerer.numberDialogs, 1);
    QCOMPARE(ui.titles.size(), lineCount);
    QCOMPARE(ui.titles.front(), title);
    QCOMPARE(ui.shownLines.size(), lineCount);
    QCOMPARE(ui.shownLines.front(), QStringLiteral("Midi Out device: Test Port A"));
    QCOMPARE(ui.shownLines[1],
             QStringLiteral("Sending pad.wav [pad] ...Left channel as sample#10"));
    QVERIFY(ui.allVisible);
    QVERIFY(ui.waitCursor);
    QCOMPARE(ui.programBar, 100);
    QCOMPARE(ui.timeLeft, QStringLiteral("Time left: 0min 0sec"));
    QVERIFY(ui.SendingWindow() == nullptr);
    QVERIFY(QGuiApplication::overrideCursor() == nullptr);

    const std::filesystem::path rendered = *dir / "render.syx";
    QProcess cli;
    cli.start(QStringLiteral(VELOMIRE_CLI),
              {QStringLiteral("render"), QString::fromStdString(programPath.string()),
               QStringLiteral("--model"), QString::number(model), QStringLiteral("-o"),
               QString::fromStdString(rendered.string()), QStringLiteral("--program-number"),
               QString::number(programsAnswer), QStringLiteral("--sample-number"),
               QString::number(samplesAnswer), QStringLiteral("--midi-channel"),
               QString::number(midiChannel), QStringLiteral("--exclusive-channel"),
               QString::number(exclusiveChannel)});
    QVERIFY(cli.waitForFinished(60000));
    QVERIFY2(cli.exitCode() == 0, cli.readAllStandardError().constData());

    const std::vector<std::uint8_t> expected = ReadFile(rendered);
    const std::vector<std::uint8_t> sent = driver.AllBytes();
    QVERIFY(expected.size() > 1000);
    const auto same = velomire::testing::BytesEqual(sent, expected);
    QVERIFY2(same, same.message());
}

void QtSendTest::endingTheNumbersDialogOtherwiseThanOkSendsNothing_data() {
    QTest::addColumn<int>("ending");
    QTest::newRow("Cancel") << int(NumbersEnding::cancelButton);
    QTest::newRow("Esc") << int(NumbersEnding::escape);
    QTest::newRow("close button") << int(NumbersEnding::closeButton);
}

void QtSendTest::endingTheNumbersDialogOtherwiseThanOkSendsNothing() {
    QFETCH(int, ending);
    auto loaded = std::make_unique<program::Program>();
    QVERIFY(program::ProgramFile::LoadFile(programPath, *loaded).ok);
    loaded->SetProgramPath(programPath, false);
    SamplerSettings settings;
    settings.samplerModel = 5;
    settings.midiOutDevice = 0;

    RecordingMessages messages;
    RecordingMidiDriver driver;
    InstantWaitClock clock;
    MidiOutPort port(driver, clock, messages);
    QWidget mainWindow;
    WatchedSendUi ui(&mainWindow, messages);
    DialogAnswerer answerer(static_cast<NumbersEnding>(ending));
    const auto outcome = SendCommand(*loaded, settings, port, messages, ui).OnSendProgram();

    QCOMPARE(int(outcome), int(SendCommand::Outcome::cancelled));
    QCOMPARE(answerer.numberDialogs, 1);
    QVERIFY(ui.titles.isEmpty()); // the Sending window never opened
    QVERIFY(driver.AllBytes().empty());
    QVERIFY(!port.IsOpen());
}

QTEST_MAIN(QtSendTest)
#include "QtSendTest.moc"
