// The Loop Editor driven with real clicks and keys on a generated WAV file, with an audio output
// that plays nothing and lets the test say which blocks came back and how far the device got.

#include "editing/FakeAudioOutput.h"
#include "editing/ui/CLoopEditorDlg.h"
#include "editing/ui/SeamWidget.h"
#include "editing/ui/WaveformWidget.h"
#include "program/ByteWriter.h"
#include "program/Program.h"
#include "program/ProgramFile.h"
#include "support/RecordingMessages.h"
#include "support/WavBuilder.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSpinBox>
#include <QTest>
#include <QToolButton>
#include <QWheelEvent>

#include <filesystem>
#include <memory>
#include <vector>

using velomire::editing::CLoopEditorDlg;
using velomire::editing::LoopEditorModel;
using velomire::editing::LoopEditorStatus;
using velomire::editing::WaveformWidget;
using velomire::program::SampleBlock;
using velomire::testing::FakeAudioOutput;
using velomire::testing::RecordingMessages;
using velomire::testing::TempDir;
using velomire::testing::WavBuilder;

namespace {

constexpr std::uint32_t wavFrames = 20000;
constexpr std::uint32_t rate = 22050;
constexpr int testDevice = 3;

// Silent for its first 300 and last 300 frames, with single zero frames at 500, 1500, ...,
// 19500; 1000 everywhere else (a mean above 500, so the snap level opens at 0).
std::vector<std::int16_t> Frames() {
    std::vector<std::int16_t> frames(wavFrames, 1000);
    for (std::uint32_t i = 0; i < wavFrames; ++i) {
        if (i < 300 || i >= wavFrames - 300 || i % 1000 == 500) {
            frames[i] = 0;
        }
    }
    return frames;
}

// A block as a new entry has it: the whole file is the sound, loops 1-4 cover it, no looping.
SampleBlock NewBlock(const char* fileName) {
    SampleBlock block;
    velomire::program::SetFieldText(block.fileName, fileName);
    block.channels = 1;
    block.sampleRate = rate;
    block.frameCount = wavFrames;
    block.soundEnd = wavFrames - 1;
    block.lengthWords = wavFrames;
    block.endPoint = wavFrames - 1;
    for (std::size_t n = 0; n < 4; ++n) {
        block.loopAt[n] = wavFrames - 1;
        block.loopLength[n] = wavFrames;
    }
    block.loopMode = velomire::program::loopNone;
    return block;
}

std::vector<std::uint8_t> Stored(const SampleBlock& block) {
    std::vector<std::uint8_t> bytes;
    velomire::program::ByteWriter out(bytes);
    block.Write(out);
    return bytes;
}

// Reports finished blocks the way a device does, from the test's own call.
class ReportingAudioOutput : public FakeAudioOutput {
public:
    void Report(std::uint64_t tag) {
        if (blockFinished) {
            blockFinished(tag);
        }
    }
    bool HasHandler() const { return static_cast<bool>(blockFinished); }
};

template <typename T> T* Child(QWidget& dialog, const char* name) {
    auto* child = dialog.findChild<T*>(QLatin1String(name));
    if (child == nullptr) {
        qFatal("no child %s", name);
    }
    return child;
}

// The index-th button showing this text (the snap buttons come in pairs: Start's, then End's).
QAbstractButton* Button(QWidget& dialog, const QString& text, int index = 0) {
    for (auto* button : dialog.findChildren<QAbstractButton*>()) {
        if (button->text() == text && index-- == 0) {
            return button;
        }
    }
    qFatal("no button %s", qPrintable(text));
    return nullptr;
}

void Click(QWidget& dialog, const QString& text, int index = 0) {
    QTest::mouseClick(Button(dialog, text, index), Qt::LeftButton);
}

QString Text(QWidget& dialog, const char* field) {
    return Child<QLineEdit>(dialog, field)->text();
}

} // namespace

class LoopEditorDlgTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<CLoopEditorDlg> Open(std::size_t frameLimit = LoopEditorModel::noFrameLimit) {
        auto dialog = std::make_unique<CLoopEditorDlg>(block, directory->Path(), testDevice, output,
                                                       messages, nullptr, frameLimit);
        if (dialog->Opened()) {
            dialog->show();
            if (!QTest::qWaitForWindowExposed(dialog.get())) {
                qFatal("dialog not shown");
            }
        }
        return dialog;
    }

    static WaveformWidget* Picture(CLoopEditorDlg& dialog) { return dialog.Waveform(); }

    std::unique_ptr<TempDir> directory;
    std::unique_ptr<velomire::testing::WorkingDirectoryGuard> inDirectory;
    RecordingMessages messages;
    ReportingAudioOutput output;
    SampleBlock block;

private slots:
    void init() {
        directory = std::make_unique<TempDir>();
        inDirectory = std::make_unique<velomire::testing::WorkingDirectoryGuard>(directory->Path());
        velomire::testing::WriteFile("loop.wav", WavBuilder::Canonical(1, rate, 16, Frames()));
        messages = {};
        output = {};
        block = NewBlock("loop.wav");
    }

    void cleanup() {
        inDirectory.reset();
        directory.reset();
    }

    void OpensOnTheWholeSampleWithItsCaptionAndNoPartChosen() {
        auto dialog = Open();
        QCOMPARE(dialog->windowTitle(), QStringLiteral("Loop editor  -  loop.wav"));
        QCOMPARE(Text(*dialog, "startField"), QStringLiteral("0"));
        QCOMPARE(Text(*dialog, "endField"), QStringLiteral("19999"));
        QCOMPARE(Text(*dialog, "lengthField"), QStringLiteral("20000"));
        QVERIFY(!Child<QSpinBox>(*dialog, "dwellField")->isEnabled());
        QCOMPARE(Child<QSpinBox>(*dialog, "snapLevelField")->value(), 0);
        QCOMPARE(Child<QComboBox>(*dialog, "loopModeList")->currentText(),
                 QStringLiteral("No looping"));
        for (const char* part : {"Sound", "Loop 1", "Loop 2", "Loop 3", "Loop 4"}) {
            QVERIFY(!Button(*dialog, QLatin1String(part))->isChecked());
        }
        // The picture keeps its frames when it is resized with the dialog.
        QVERIFY(Picture(*dialog)->width() >= WaveformWidget::minimumPictureWidth);
        QCOMPARE(dialog->Model().View().PictureWidth(), Picture(*dialog)->width());
    }

    void TypedFiguresTheSeamFindLoopAndTheHeightFollowTheLoop() {
        auto dialog = Open();
        auto* start = Child<QLineEdit>(*dialog, "startField");
        QVERIFY(start->isReadOnly()); // no part chosen yet
        QVERIFY(!Button(*dialog, QStringLiteral("Find loop"))->isEnabled());
        QVERIFY(dialog->Seam()->Frames().empty());
        Click(*dialog, QStringLiteral("Loop 1"));
        QVERIFY(!start->isReadOnly());
        QVERIFY(Button(*dialog, QStringLiteral("Find loop"))->isEnabled());
        const auto type = [&](const char* text) {
            start->setFocus();
            start->selectAll();
            QTest::keyClicks(start, QString::fromLatin1(text));
            QTest::keyClick(start, Qt::Key_Return);
        };
        type("19960"); // 40 frames would remain: refused, and the box shows the start kept
        QCOMPARE(Text(*dialog, "startField"), QStringLiteral("0"));
        type("10000");
        QCOMPARE(dialog->Model().Figures().start, 10000);
        QCOMPARE(Text(*dialog, "lengthField"), QStringLiteral("10000"));
        QVERIFY(dialog->isVisible());
        // The seam: the loop's last frames (up to the silent end) joined to its first.
        const auto& seam = dialog->Seam()->Frames();
        QCOMPARE(seam.size(), std::size_t{2 * velomire::editing::SeamWidget::halfFrames});
        QCOMPARE(seam.front(), std::int16_t{0});
        QCOMPARE(seam.back(), std::int16_t{1000});

        QWheelEvent wheel(QPointF(10, 10), QPointF(10, 10), {}, QPoint(0, 120), Qt::NoButton,
                          Qt::ControlModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(Picture(*dialog), &wheel);
        QCOMPARE(Child<QSpinBox>(*dialog, "verticalZoomField")->value(), 2);
        QCOMPARE(Picture(*dialog)->Painter().VerticalZoom(), 2);
    }

    void TheCachedPictureShowsTheColoursAndIsDrawnOnlyAfterAChange() {
        auto dialog = Open();
        Click(*dialog, QStringLiteral("Sound"));
        Click(*dialog, QStringLiteral("Remove 0"));
        WaveformWidget* picture = Picture(*dialog);
        QImage image = picture->grab().toImage();
        const int drawn = picture->Painter().RenderCount();
        const auto& view = dialog->Model().View();
        const int middle = view.ColumnOfFrame(10000);
        QCOMPARE(image.pixelColor(view.ColumnOfFrame(100), 5), QColor(0, 0, 0));
        QCOMPARE(image.pixelColor(middle, 5), QColor(255, 255, 204));
        QCOMPARE(image.pixelColor(middle, view.MidY()), QColor(0, 255, 255));
        QCOMPARE(image.pixelColor(middle, view.MidY() - 1000 / 256), QColor(255, 51, 51));
        QCOMPARE(image.pixelColor(view.ColumnOfFrame(100), view.MidY()),
                 QColor(102, 51, 51)); // silence outside the sound

        picture->repaint();
        QCOMPARE(picture->Painter().RenderCount(), drawn);
        Click(*dialog, QStringLiteral("Zoom in"));
        picture->repaint();
        QCOMPARE(picture->Painter().RenderCount(), drawn + 1);
    }

    // Where each zoom and scroll leaves the view is WaveformView's; here the buttons and the bar
    // reach it and the bar follows it.
    void ZoomButtonsAndTheScrollBarMoveTheView() {
        auto dialog = Open();
        const auto& view = dialog->Model().View();
        auto* bar = Child<QScrollBar>(*dialog, "scrollBar");
        QVERIFY(!bar->isEnabled()); // everything is shown

        Click(*dialog, QStringLiteral("Zoom in"));
        QCOMPARE(view.ViewStart(), 4999);
        QVERIFY(bar->isEnabled());
        QCOMPARE(bar->maximum(), 32767);
        QCOMPARE(bar->value(), view.Thumb());

        bar->triggerAction(QAbstractSlider::SliderPageStepAdd);
        QVERIFY(view.ViewStart() > 4999);
        QCOMPARE(bar->value(), view.Thumb());
        bar->setSliderPosition(0); // dragging the thumb to the left end
        QCOMPARE(view.ViewStart(), 0);

        Click(*dialog, QStringLiteral("Zoom out"));
        QCOMPARE(view.ViewEnd(), 15001);

        Click(*dialog, QStringLiteral("Sound"));
        Click(*dialog, QStringLiteral("Remove 0"));
        Click(*dialog, QStringLiteral("Zoom"));
        QCOMPARE(view.ViewStart(), 300);
        QCOMPARE(view.ViewEnd(), 19699);

        Click(*dialog, QStringLiteral("Zoom All"));
        QCOMPARE(view.ViewStart(), 0);
        QCOMPARE(view.ViewEnd(), 19999);
        QVERIFY(!bar->isEnabled());
        // The sound stays chosen and its boxes take typing.
        QVERIFY(Button(*dialog, QStringLiteral("Sound"))->isChecked());
        QCOMPARE(Text(*dialog, "startField"), QStringLiteral("300"));
        QVERIFY(!Child<QLineEdit>(*dialog, "startField")->isReadOnly());
    }

    void ClicksOnThePictureMoveTheRegionEndsAsTheModelSays() {
        auto dialog = Open();
        WaveformWidget* picture = Picture(*dialog);
        const auto& view = dialog->Model().View();

        QTest::mouseClick(picture, Qt::LeftButton, {}, QPoint(100, 100));
        QCOMPARE(block.soundStart, 0u); // no part chosen yet

        Click(*dialog, QStringLiteral("Sound"));
        const std::int64_t start = *view.FrameAtPixel(100, 100);
        const std::int64_t end = *view.FrameAtPixel(600, 20);
        QTest::mouseClick(picture, Qt::LeftButton, {}, QPoint(100, 100));
        QTest::mouseClick(picture, Qt::RightButton, {}, QPoint(600, 20));
        QCOMPARE(std::int64_t{block.soundStart}, start);
        QCOMPARE(std::int64_t{block.soundEnd}, end);
        QCOMPARE(Text(*dialog, "startField"), QString::number(start));
        QCOMPARE(Text(*dialog, "lengthField"), QString::number(end - start + 1));
    }

    void PartButtonsSwitchTheFiguresAndTheDwellBox() {
        auto dialog = Open();
        auto* dwell = Child<QSpinBox>(*dialog, "dwellField");
        block.loopDwell[2] = 120;

        Click(*dialog, QStringLiteral("Loop 3"));
        QVERIFY(Button(*dialog, QStringLiteral("Loop 3"))->isChecked());
        QVERIFY(!Button(*dialog, QStringLiteral("Sound"))->isChecked());
        // Looking changes nothing.
        QCOMPARE(block.loopCount, 0);
        QCOMPARE(Child<QSpinBox>(*dialog, "loopCountField")->value(), 0);
        QVERIFY(dwell->isEnabled());
        QCOMPARE(dwell->value(), 120);
        dwell->selectAll();
        QTest::keyClicks(dwell, QStringLiteral("250"));
        QCOMPARE(block.loopDwell[2], 250u);

        Click(*dialog, QStringLiteral("Loop 1"));
        QCOMPARE(block.loopMode, velomire::program::loopNone);
        QCOMPARE(block.loopCount, 0);

        Click(*dialog, QStringLiteral("Sound"));
        QVERIFY(!dwell->isEnabled());
        QCOMPARE(dwell->value(), 0);
        QVERIFY(Button(*dialog, QStringLiteral("Sound"))->isChecked());
        // Choosing the chosen part again keeps it chosen.
        Click(*dialog, QStringLiteral("Sound"));
        QVERIFY(Button(*dialog, QStringLiteral("Sound"))->isChecked());
    }

    void RemoveZeroAndTheSnapButtonsMoveTheSoundToNearZeroFrames() {
        auto dialog = Open();
        Click(*dialog, QStringLiteral("Sound"));
        Click(*dialog, QStringLiteral("Remove 0"));
        QCOMPARE(block.soundStart, 300u);

        Click(*dialog, QStringLiteral(">0"), 0); // beside Start
        QCOMPARE(block.soundStart, 500u);
        Click(*dialog, QStringLiteral("0<"), 1); // beside End
        QCOMPARE(block.soundEnd, 19500u);
        QCOMPARE(Text(*dialog, "lengthField"), QStringLiteral("19001"));
    }

    void LoopCountModeAndSnapLevelBoxesEditTheBlock() {
        auto dialog = Open();
        Click(*dialog, QStringLiteral("Sound"));
        auto* count = Child<QSpinBox>(*dialog, "loopCountField");
        auto* mode = Child<QComboBox>(*dialog, "loopModeList");

        QTest::keyClick(mode, Qt::Key_Up, Qt::NoModifier); // "Loop until release"
        QCOMPARE(block.loopMode, velomire::program::loopUntilRelease);
        QTest::keyClick(count, Qt::Key_Up);
        QTest::keyClick(count, Qt::Key_Up);
        QCOMPARE(block.loopCount, 2);
        QCOMPARE(dialog->Model().Bands().size(), 3u); // the sound and two loop stripes

        // Typed up to 999; its arrows stay within 0..500.
        auto* snap = Child<QSpinBox>(*dialog, "snapLevelField");
        snap->selectAll();
        QTest::keyClicks(snap, QStringLiteral("999"));
        QCOMPARE(dialog->Model().SnapLevel(), 999);
        snap->selectAll();
        QTest::keyClicks(snap, QStringLiteral("499"));
        QTest::keyClick(snap, Qt::Key_Up);
        QTest::keyClick(snap, Qt::Key_Up);
        QCOMPARE(dialog->Model().SnapLevel(), 500);
        QCOMPARE(snap->value(), 500);
    }

    void EnterDoesNothing() {
        auto dialog = Open();
        auto* ok = Button(*dialog, QStringLiteral("Ok"));
        ok->setFocus();
        QTest::keyClick(ok, Qt::Key_Return);
        QTest::keyClick(dialog.get(), Qt::Key_Enter);
        QTest::keyClick(Child<QSpinBox>(*dialog, "snapLevelField"), Qt::Key_Return);
        QTest::keyClick(Button(*dialog, QStringLiteral("Zoom in")), Qt::Key_Return);
        QVERIFY(dialog->isVisible());
        QCOMPARE(dialog->Model().View().ViewStart(), 0);
        QVERIFY(dialog->Model().IsOpen());
    }

    void EveryWayOfClosingFinishesTheBlock_data() {
        QTest::addColumn<QString>("how");
        QTest::newRow("Ok") << QStringLiteral("ok");
        QTest::newRow("Escape") << QStringLiteral("escape");
        QTest::newRow("close box") << QStringLiteral("close");
    }

    void EveryWayOfClosingFinishesTheBlock() {
        QFETCH(QString, how);
        block.soundStart = 500;
        block.loopAt[0] = 1000; // relative to the sound's start: frame 1500
        block.loopLength[0] = 200;
        auto dialog = Open();
        QCOMPARE(dialog->Model().Loop(1).end, 1500);
        Click(*dialog, QStringLiteral("Sound"));
        const std::int64_t end = *dialog->Model().View().FrameAtPixel(601, 20);
        QTest::mouseClick(Picture(*dialog), Qt::RightButton, {}, QPoint(601, 20));
        Click(*dialog, QStringLiteral("P l a y"));
        QVERIFY(output.IsOpen());

        if (how == QLatin1String("ok")) {
            Click(*dialog, QStringLiteral("Ok"));
        } else if (how == QLatin1String("escape")) {
            QTest::keyClick(dialog.get(), Qt::Key_Escape);
        } else {
            QVERIFY(dialog->close());
        }
        QVERIFY(!dialog->isVisible());
        const auto length = static_cast<std::uint32_t>(end - 500 + 1);
        QCOMPARE(block.lengthWords, length & ~1u);
        QCOMPARE(block.endPoint, (length & ~1u) - 1);
        QCOMPARE(block.loopAt[0], 1000u);
        QCOMPARE(block.loopLength[0], 200u);
        QCOMPARE(output.calls.back(), std::string("Close"));
        QVERIFY(!output.HasHandler());
        QVERIFY(!dialog->Model().IsOpen());
    }

    void AFileThatCannotBeOpenedLeavesTheEntryUnchangedAfterItsMessage() {
        block = NewBlock("missing.wav");
        const auto before = Stored(block);
        QCOMPARE(CLoopEditorDlg::Run(block, directory->Path(), testDevice, output, messages),
                 int{QDialog::Rejected});
        QCOMPARE(Stored(block), before);
        QCOMPARE(messages.messages.size(), 1u);
        QCOMPARE(messages.messages[0].caption, std::string("missing.wav"));

        block = NewBlock("loop.wav");
        auto dialog = Open(wavFrames - 1);
        QCOMPARE(dialog->OpenStatus(), LoopEditorStatus::memoryAllocError);
        QVERIFY(!dialog->Opened());
        QCOMPARE(messages.messages.back(),
                 (RecordingMessages::Message{"Waveform : Memory alloc error", "Velomire"}));
        dialog.reset();
        QCOMPARE(Stored(block), Stored(NewBlock("loop.wav")));
        QVERIFY(output.calls.empty());
    }

    void PlayStreamsTheLoopAndTheCursorFollowsTheDevice() {
        block.loopMode = velomire::program::loopNormal;
        block.loopAt[0] = 19999;
        block.loopLength[0] = 10000; // frames 10000..19999
        auto dialog = Open();
        WaveformWidget* picture = Picture(*dialog);
        Click(*dialog, QStringLiteral("S t o p")); // nothing open: nothing happens
        QVERIFY(output.calls.empty());

        Click(*dialog, QStringLiteral("Loop 1"));
        Click(*dialog, QStringLiteral("P l a y"));
        QCOMPARE(output.calls, (std::vector<std::string>{"Open 3 22050"}));
        QCOMPARE(output.blocks.size(), 2u);
        QCOMPARE(output.blocks[0].frames.size(), 8192u);

        const int drawn = picture->Painter().RenderCount();
        output.played = 1000;
        QTRY_COMPARE(picture->CursorColumn(), dialog->Model().View().ColumnOfFrame(11000));
        QCOMPARE(picture->Painter().RenderCount(), drawn); // the cursor redraws no waveform

        // A block came back: the loop goes on in it.
        output.Report(output.PlayOldest());
        QTRY_COMPARE(output.blocks.size(), 3u);
        QVERIFY(dialog->Player().CursorRunning());

        Click(*dialog, QStringLiteral("S t o p"));
        QCOMPARE(output.calls.back(), std::string("Reset"));
        for (const std::uint64_t tag : output.returnedByReset) {
            output.Report(tag);
        }
        QTRY_VERIFY(!dialog->Player().CursorRunning());
        QTRY_COMPARE(picture->CursorColumn(), std::optional<int>());
        QCOMPARE(output.blocks.size(), 3u);
        QVERIFY(output.IsOpen()); // until the editor closes
    }

    void ADeviceThatCannotBeOpenedShowsItsMessageAndPlaysNothing() {
        output.openResult =
            velomire::editing::AudioStatus::Error(velomire::editing::AudioError::BadDeviceId);
        auto dialog = Open();
        Click(*dialog, QStringLiteral("P l a y"));
        QCOMPARE(messages.messages.size(), 1u);
        QCOMPARE(messages.messages[0].text,
                 std::string("WaveOut error: Specified device identifier is out of range"));
        QVERIFY(output.blocks.empty());
        QVERIFY(!dialog->Player().CursorRunning());
    }

    void WithoutAnyOutputTheEditorOpensWithPlayOffAndSaysWhy() {
        output.names.clear();
        auto dialog = Open();
        QVERIFY(!Button(*dialog, QStringLiteral("P l a y"))->isEnabled());
        QVERIFY(!Button(*dialog, QStringLiteral("S t o p"))->isEnabled());
        QVERIFY(!dialog->findChild<QLabel*>(QStringLiteral("statusText"))->text().isEmpty());
    }
};

QTEST_MAIN(LoopEditorDlgTest)
#include "LoopEditorDlgTest.moc"
