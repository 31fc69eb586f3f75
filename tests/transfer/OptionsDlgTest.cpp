#include "support/RecordingMessages.h"
#include "transfer/SamplerModel.h"
#include "transfer/ui/COptionsDlg.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

using namespace velomire::transfer;
using velomire::testing::RecordingMessages;

namespace {

const std::vector<std::string> midiNames = {"Midi Through Port-0", "USB MIDI Interface"};
const std::vector<std::string> midiInNames = {"Midi Through Port-0", "USB MIDI In", "JACK: a:b",
                                              "JACK: sampler:out"};
const std::vector<std::string> audioNames = {"Built-in Audio"};

QLineEdit* Field(QDialog& dialog, const char* name) {
    auto* field = dialog.findChild<QLineEdit*>(QString::fromLatin1(name));
    Q_ASSERT(field);
    return field;
}

QComboBox* List(QDialog& dialog, const char* name) {
    auto* list = dialog.findChild<QComboBox*>(QString::fromLatin1(name));
    Q_ASSERT(list);
    return list;
}

// The six fields top to bottom, as shown.
QStringList Shown(QDialog& dialog) {
    QStringList texts;
    for (const char* name : {"numberOfProgramsField", "numberOfSamplesField", "polyphonyField",
                             "audioOutputsField", "midiChannelField", "exclusiveChannelField"}) {
        texts << Field(dialog, name)->text();
    }
    return texts;
}

void Retype(QLineEdit* field, const QString& text) {
    field->selectAll();
    QTest::keyClicks(field, text);
}

void ClickOk(QDialog& dialog) {
    QTest::mouseClick(dialog.findChild<QPushButton*>(QStringLiteral("okButton")), Qt::LeftButton);
}

SamplerSettings S3000() {
    SamplerSettings s;
    s.samplerModel = 5;
    s.maxProgram = 254;
    s.maxSample = 255;
    s.polyphony = 32;
    s.audioOutputs = 8;
    s.midiChannel = 0;
    s.exclusiveChannel = 0;
    s.midiOutDevice = 1;
    s.midiInDevice = 3;
    s.waveOutDevice = 0;
    return s;
}

} // namespace

class OptionsDlgTest : public QObject {
    Q_OBJECT

private slots:
    void firstUseShowsAModelAndPickingS1000FillsItsDefaults();
    void pickingS2800AfterS3000ChangesOnlyTheAudioOutputs();
    void escAfterPickingAnotherModelAcceptsNothing();
    void listsShowTheDevicesAndAStoredIndexBeyondThemSelectsNothing();
};

void OptionsDlgTest::firstUseShowsAModelAndPickingS1000FillsItsDefaults() {
    RecordingMessages messages;
    COptionsDlg dialog(SamplerSettings{}, midiNames, midiInNames, audioNames, messages);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Options : Sampler and Midi"));
    QVERIFY(!(dialog.windowFlags() & Qt::WindowCloseButtonHint));
    QCOMPARE(List(dialog, "modelList")->count(), SamplerModel::count);
    QCOMPARE(List(dialog, "modelList")->currentText(), QStringLiteral("SDS compatible sampler"));
    QCOMPARE(Shown(dialog), QStringList({"99", "99", "16", "2", "1", "1"}));

    List(dialog, "modelList")->setCurrentIndex(3);
    QCOMPARE(List(dialog, "modelList")->currentText(), QStringLiteral("Akai S1000/S1100"));
    QCOMPARE(Shown(dialog), QStringList({"100", "200", "16", "8", "1", "1"}));

    Retype(Field(dialog, "midiChannelField"), QStringLiteral("0"));
    ClickOk(dialog);
    QVERIFY(dialog.isVisible());
    QCOMPARE(messages.messages.size(), std::size_t{1});
    QCOMPARE(messages.messages[0].text,
             std::string("Midi channel: please enter an integer between 1 and 16."));
    QCOMPARE(QApplication::focusWidget(), Field(dialog, "midiChannelField"));

    // Enter presses the default button. The wait limit sits with the Midi In device.
    QCOMPARE(Field(dialog, "waitLimitField")->text(), QStringLiteral("60"));
    Retype(Field(dialog, "waitLimitField"), QStringLiteral("120"));
    Retype(Field(dialog, "midiChannelField"), QStringLiteral("16"));
    QTest::keyClick(Field(dialog, "midiChannelField"), Qt::Key_Return);
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(messages.messages.size(), std::size_t{1});
    const SamplerSettings result = dialog.Result();
    QCOMPARE(result.samplerModel, 3);
    QCOMPARE(result.maxProgram, 100);
    QCOMPARE(result.maxSample, 200);
    QCOMPARE(result.polyphony, 16);
    QCOMPARE(result.audioOutputs, 8);
    QCOMPARE(result.midiChannel, 15);
    QCOMPARE(result.exclusiveChannel, 0);
    QCOMPARE(result.midiOutDevice, -1);
    QCOMPARE(result.waveOutDevice, -1);
    QCOMPARE(result.waitLimit, 120);
}

void OptionsDlgTest::pickingS2800AfterS3000ChangesOnlyTheAudioOutputs() {
    RecordingMessages messages;
    COptionsDlg dialog(S3000(), midiNames, midiInNames, audioNames, messages);
    dialog.show();
    QCOMPARE(Shown(dialog), QStringList({"254", "255", "32", "8", "1", "1"}));

    // Typing not yet confirmed is replaced by the stored values when a model is picked.
    Retype(Field(dialog, "polyphonyField"), QStringLiteral("4"));
    Retype(Field(dialog, "midiChannelField"), QStringLiteral("9"));
    List(dialog, "modelList")->setCurrentIndex(4);
    QCOMPARE(Shown(dialog), QStringList({"254", "255", "32", "2", "1", "1"}));

    ClickOk(dialog);
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(dialog.Result().samplerModel, 4);
    QCOMPARE(dialog.Result().audioOutputs, 2);
    QCOMPARE(dialog.Result().midiInDevice, 3);
}

void OptionsDlgTest::escAfterPickingAnotherModelAcceptsNothing() {
    RecordingMessages messages;
    COptionsDlg dialog(S3000(), midiNames, midiInNames, audioNames, messages);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    List(dialog, "modelList")->setCurrentIndex(1);
    Retype(Field(dialog, "midiChannelField"), QStringLiteral("77"));
    QTest::keyClick(&dialog, Qt::Key_Escape);
    QVERIFY(!dialog.isVisible());
    QCOMPARE(dialog.result(), int(QDialog::Rejected));
    QVERIFY(messages.messages.empty());
}

void OptionsDlgTest::listsShowTheDevicesAndAStoredIndexBeyondThemSelectsNothing() {
    RecordingMessages messages;
    SamplerSettings settings = S3000();
    settings.waveOutDevice = 5;
    COptionsDlg dialog(settings, midiNames, midiInNames, audioNames, messages);
    dialog.show();
    QCOMPARE(List(dialog, "midiOutList")->count(), 2);
    QCOMPARE(List(dialog, "midiOutList")->currentText(), QStringLiteral("USB MIDI Interface"));
    QCOMPARE(List(dialog, "audioOutList")->currentIndex(), -1);
    QCOMPARE(List(dialog, "modelList")->currentText(), QStringLiteral("Akai S3000"));
    // The Midi In list starts with one-way; the stored device 3 is its row 4.
    QCOMPARE(List(dialog, "midiInList")->itemText(0), QStringLiteral("None (one-way)"));
    QCOMPARE(List(dialog, "midiInList")->currentText(), QStringLiteral("JACK: sampler:out"));
    List(dialog, "midiOutList")->setCurrentIndex(0);
    List(dialog, "midiInList")->setCurrentIndex(0);
    ClickOk(dialog);
    QCOMPARE(dialog.Result().midiInDevice, -1);
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(dialog.Result().midiOutDevice, 0);
    QCOMPARE(dialog.Result().waveOutDevice, -1);
    QCOMPARE(dialog.Result().samplerModel, 5);
}

QTEST_MAIN(OptionsDlgTest)
#include "OptionsDlgTest.moc"
