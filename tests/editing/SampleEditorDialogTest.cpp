// The Sample Editor driven with real mouse clicks and keys on its keyboard, spins and lists.

#include "editing/KeyboardGeometry.h"
#include "editing/ui/CSampleEditorDlg.h"
#include "editing/ui/KeyboardPainter.h"
#include "editing/ui/KeyboardWidget.h"
#include "editing/ui/NoteSpinBox.h"
#include "program/Program.h"

#include <QComboBox>
#include <QDir>
#include <QStyleOptionSpinBox>
#include <QTest>
#include <QTimer>

using velomire::editing::CSampleEditorDlg;
using velomire::editing::KeyboardGeometry;
using velomire::editing::KeyboardPainter;
using velomire::editing::KeyboardWidget;
using velomire::editing::NoteSpinBox;
using velomire::program::SampleEntry;
using velomire::program::SetFieldText;

namespace {

SampleEntry Entry(const char* fileName, int channels, int low, int high, int pitch) {
    SampleEntry e;
    SetFieldText(e.sample.fileName, fileName);
    e.sample.channels = static_cast<std::uint16_t>(channels);
    e.sample.rootKey = static_cast<std::int16_t>(pitch);
    e.keygroup.lowKey = static_cast<std::int16_t>(low);
    e.keygroup.highKey = static_cast<std::int16_t>(high);
    return e;
}

template <typename T> T* Child(QWidget& dialog, const char* name) {
    auto* child = dialog.findChild<T*>(QLatin1String(name));
    if (child == nullptr) {
        qFatal("no child %s", name);
    }
    return child;
}

// A press at a point given in the dialog pixels of the original layout, whose keyboard picture
// sits at (23, 41): moved onto the picture as the widget shows it here.
void ClickKey(QWidget& dialog, Qt::MouseButton button, int x, int y) {
    const KeyboardGeometry layout;
    auto* keyboard = Child<KeyboardWidget>(dialog, "keyboard");
    const QPoint picturePoint(x - layout.PictureLeft(), y - layout.PictureTop());
    QTest::mouseClick(keyboard, button, {}, keyboard->PictureOrigin() + picturePoint);
}

void ClickArrow(QWidget& dialog, const char* box, QStyle::SubControl arrow) {
    auto* spin = Child<NoteSpinBox>(dialog, box);
    QStyleOptionSpinBox option;
    option.initFrom(spin);
    option.subControls = QStyle::SC_SpinBoxUp | QStyle::SC_SpinBoxDown | QStyle::SC_SpinBoxFrame |
                         QStyle::SC_SpinBoxEditField;
    option.stepEnabled = QAbstractSpinBox::StepUpEnabled | QAbstractSpinBox::StepDownEnabled;
    option.frame = true;
    const QRect rect = spin->style()->subControlRect(QStyle::CC_SpinBox, &option, arrow, spin);
    QTest::mouseClick(spin, Qt::LeftButton, {}, rect.center());
}

QString Text(QWidget& dialog, const char* box) {
    return Child<NoteSpinBox>(dialog, box)->Text();
}

QStringList Items(QWidget& dialog, const char* list) {
    auto* combo = Child<QComboBox>(dialog, list);
    QStringList items;
    for (int i = 0; i < combo->count(); ++i) {
        items << combo->itemText(i);
    }
    return items;
}

// The centre of a note's dot on the picture (picture pixels).
QPoint DotCentre(int note) {
    const auto marks = KeyboardGeometry::KeyMarks(note, note, -1);
    return {(marks[0].left + marks[0].right) / 2, (marks[0].top + marks[0].bottom) / 2};
}

// The colour there on the keyboard as it is shown, at the screen's device pixel ratio.
QColor DotColour(QWidget& dialog, int note) {
    auto* keyboard = Child<KeyboardWidget>(dialog, "keyboard");
    const QImage shown = keyboard->grab().toImage();
    const QPoint point = keyboard->PictureOrigin() + DotCentre(note);
    return shown.pixelColor(point * shown.devicePixelRatio());
}

// The colour there on the keyboard without any dots.
QColor BareColour(QWidget& dialog, int note) {
    auto* keyboard = Child<KeyboardWidget>(dialog, "keyboard");
    const int scale = static_cast<int>(keyboard->grab().devicePixelRatio());
    KeyboardPainter bare;
    return bare.Picture(scale).pixelColor(DotCentre(note) * scale);
}

bool Exposed(QWidget& dialog) {
    dialog.show();
    return QTest::qWaitForWindowExposed(&dialog);
}

} // namespace

class SampleEditorDialogTest : public QObject {
    Q_OBJECT

private slots:
    void clicksSetTheLowAndHighKeysAndMarkThem();
    void spinsStepOneKeyWithinTheRangeAndLeaveThePitch();
    void typedNotesAreTakenWithEnterAndShownAsTaken();
    void sendModeRefillsTheOutputList();
    void captionAndEscapeKeepTheChangesInTheEntry();
    void stereoSampleShowsItsRangeAndOutputs();
};

void SampleEditorDialogTest::clicksSetTheLowAndHighKeysAndMarkThem() {
    SampleEntry e = Entry("piano.wav", 1, 24, 72, 60);
    CSampleEditorDlg dialog(e.sample, e.keygroup);
    QVERIFY(Exposed(dialog));

    // Which key a point hits is KeyboardGeometry's; here one click in the upper part.
    ClickKey(dialog, Qt::LeftButton, 40, 60);
    QCOMPARE(e.keygroup.lowKey, 27);
    QCOMPARE(Text(dialog, "lowText"), QStringLiteral("D#0"));
    ClickKey(dialog, Qt::LeftButton, 200, 80); // lower part: white key D3
    QCOMPARE(e.keygroup.lowKey, 62);
    QCOMPARE(DotColour(dialog, 62), QColor(0, 255, 255));
    // The pitch outside the range has no dot.
    QCOMPARE(DotColour(dialog, 60), BareColour(dialog, 60));

    ClickKey(dialog, Qt::LeftButton, 23, 60);  // the picture's border: nothing
    ClickKey(dialog, Qt::LeftButton, 300, 80); // above the high key: nothing
    QCOMPARE(e.keygroup.lowKey, 62);
    QCOMPARE(e.keygroup.highKey, 72);

    ClickKey(dialog, Qt::RightButton, 508, 50); // the last key's upper corner
    QCOMPARE(e.keygroup.highKey, 127);
    QCOMPARE(Text(dialog, "highText"), QStringLiteral("G8"));
    QCOMPARE(e.sample.rootKey, 60);

    // Keys meeting by a click take the pitch, which turns the dot red.
    ClickKey(dialog, Qt::RightButton, 200, 80);
    QCOMPARE(e.keygroup.highKey, 62);
    QCOMPARE(e.sample.rootKey, 62);
    QCOMPARE(Text(dialog, "pitchText"), QStringLiteral("D3"));
    QCOMPARE(DotColour(dialog, 62), QColor(255, 0, 0));

    // An unchanged keyboard repaints from its cached picture.
    auto* keyboard = Child<KeyboardWidget>(dialog, "keyboard");
    const int renders = keyboard->Painter().RenderCount();
    keyboard->repaint();
    ClickKey(dialog, Qt::LeftButton, 200, 80); // the same key again
    keyboard->repaint();
    QCOMPARE(keyboard->Painter().RenderCount(), renders);
}

void SampleEditorDialogTest::spinsStepOneKeyWithinTheRangeAndLeaveThePitch() {
    SampleEntry e = Entry("piano.wav", 1, 24, 127, 127);
    CSampleEditorDlg dialog(e.sample, e.keygroup);
    QVERIFY(Exposed(dialog));

    // Where the spins stop is SampleEditorModel's; here the arrows and keys reach it.
    ClickArrow(dialog, "highText", QStyle::SC_SpinBoxUp);
    QCOMPARE(e.keygroup.highKey, 127);
    ClickArrow(dialog, "lowText", QStyle::SC_SpinBoxUp);
    QCOMPARE(e.keygroup.lowKey, 25);
    QCOMPARE(Text(dialog, "lowText"), QStringLiteral("C#0"));
    QTest::keyClick(Child<NoteSpinBox>(dialog, "pitchText"), Qt::Key_Down);
    QCOMPARE(Text(dialog, "pitchText"), QStringLiteral("F#8"));
}

void SampleEditorDialogTest::typedNotesAreTakenWithEnterAndShownAsTaken() {
    SampleEntry e = Entry("piano.wav", 1, 36, 72, 60);
    CSampleEditorDlg dialog(e.sample, e.keygroup);
    QVERIFY(Exposed(dialog));
    const auto type = [&](const char* box, const char* text) {
        auto* spin = Child<NoteSpinBox>(dialog, box);
        spin->setFocus();
        QTest::keyClick(spin, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(spin, QString::fromLatin1(text));
        QTest::keyClick(spin, Qt::Key_Return);
    };
    type("pitchText", "a3");
    QCOMPARE(e.sample.rootKey, 69);
    QCOMPARE(Text(dialog, "pitchText"), QStringLiteral("A3"));
    QVERIFY(dialog.isVisible()); // Enter took the note, it did not close the editor
    type("highText", "30");      // below the low key: the high key stops there
    QCOMPARE(e.keygroup.highKey, 36);
    QCOMPARE(Text(dialog, "highText"), QStringLiteral("C1"));
    type("lowText", "H2"); // no note: the name shown before comes back
    QCOMPARE(e.keygroup.lowKey, 36);
    QCOMPARE(Text(dialog, "lowText"), QStringLiteral("C1"));
}

void SampleEditorDialogTest::sendModeRefillsTheOutputList() {
    SampleEntry e = Entry("pad.wav", 2, 24, 127, 60);
    e.keygroup.output = 5;
    CSampleEditorDlg dialog(e.sample, e.keygroup);
    QVERIFY(Exposed(dialog));
    auto* sendMode = Child<QComboBox>(dialog, "sendModeList");
    auto* output = Child<QComboBox>(dialog, "outputList");
    QCOMPARE(Items(dialog, "sendModeList"),
             QStringList({"Mono sound", "Left Channel", "Right Channel", "Stereo sound"}));
    QCOMPARE(output->currentText(), QStringLiteral("Ch 6"));

    QTest::keyClick(sendMode, Qt::Key_End);
    QCOMPARE(e.sample.sendMode, 3);
    QCOMPARE(Items(dialog, "outputList"), QStringList({"Ch 1-2", "Ch 3-4", "Ch 5-6", "Ch 7-8"}));
    QCOMPARE(output->currentText(), QStringLiteral("Ch 5-6"));
    QCOMPARE(e.keygroup.output, 5); // kept until an output is picked

    QTest::keyClick(output, Qt::Key_Down);
    QCOMPARE(e.keygroup.output, 6); // "Ch 7-8": the pair's even first output

    // A stored mode the file cannot have (stereo for a mono file) selects nothing and stays.
    SampleEntry mono = Entry("kick.wav", 1, 24, 127, 60);
    mono.sample.sendMode = 3;
    CSampleEditorDlg monoDialog(mono.sample, mono.keygroup);
    QCOMPARE(Child<QComboBox>(monoDialog, "sendModeList")->currentIndex(), -1);
    QCOMPARE(mono.sample.sendMode, 3);
}

void SampleEditorDialogTest::captionAndEscapeKeepTheChangesInTheEntry() {
    // Keys from a file written elsewhere are shown as they are and kept until changed.
    SampleEntry e = Entry("piano.wav", 1, 10, 200, 300);
    CSampleEditorDlg dialog(e.sample, e.keygroup);
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Parameters  -  piano.wav"));
    QCOMPARE(Text(dialog, "lowText"), QStringLiteral("A#-2"));
    QCOMPARE(Text(dialog, "highText"), QStringLiteral("G#14"));

    QTimer::singleShot(0, &dialog, [&dialog] {
        ClickKey(dialog, Qt::LeftButton, 200, 80);
        ClickArrow(dialog, "pitchText", QStyle::SC_SpinBoxUp);
        QTest::keyClick(&dialog, Qt::Key_Escape);
    });
    QCOMPARE(dialog.exec(), int(QDialog::Rejected));
    QCOMPARE(e.keygroup.lowKey, 62);
    QCOMPARE(e.keygroup.highKey, 200);
    QCOMPARE(e.sample.rootKey, 127);
}

void SampleEditorDialogTest::stereoSampleShowsItsRangeAndOutputs() {
    SampleEntry e = Entry("pad_strings_C3.wav", 2, 36, 84, 60);
    e.sample.sendMode = 3;
    e.keygroup.output = 2;
    CSampleEditorDlg dialog(e.sample, e.keygroup);
    QVERIFY(Exposed(dialog));
    QCOMPARE(Text(dialog, "pitchText"), QStringLiteral("C3"));
    QCOMPARE(Child<QComboBox>(dialog, "sendModeList")->currentText(),
             QStringLiteral("Stereo sound"));
    QCOMPARE(Child<QComboBox>(dialog, "outputList")->currentText(), QStringLiteral("Ch 3-4"));
    QCOMPARE(DotColour(dialog, 61), QColor(0, 255, 255)); // a black key of the range
    QCOMPARE(DotColour(dialog, 60), QColor(255, 0, 0));
    QCOMPARE(DotColour(dialog, 85), BareColour(dialog, 85)); // past the range
    QVERIFY(Child<QComboBox>(dialog, "outputList")->isEnabled());

    // The S950 plays it on all voices: the list says so and cannot be changed.
    CSampleEditorDlg s950(e.sample, e.keygroup, 2);
    QCOMPARE(Items(s950, "outputList"), QStringList({"All voices"}));
    QVERIFY(!Child<QComboBox>(s950, "outputList")->isEnabled());
}

QTEST_MAIN(SampleEditorDialogTest)
#include "SampleEditorDialogTest.moc"
