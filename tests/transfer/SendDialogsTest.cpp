#include "support/RecordingMessages.h"
#include "transfer/ui/CProgramNumberDlg.h"
#include "transfer/ui/CProgramSummaryDlg.h"
#include "transfer/ui/CSendingDlg.h"

#include <QAbstractSpinBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QScrollBar>
#include <QtTest>

using namespace velomire::transfer;
using velomire::testing::RecordingMessages;

namespace {

QAbstractSpinBox* Spin(QDialog& dialog, const char* name) {
    auto* spin = dialog.findChild<QAbstractSpinBox*>(QString::fromLatin1(name));
    Q_ASSERT(spin);
    return spin;
}

void Press(QAbstractSpinBox* spin, Qt::Key key, int times) {
    for (int i = 0; i < times; ++i) {
        QTest::keyClick(spin, key);
    }
}

void Retype(QAbstractSpinBox* spin, const QString& text) {
    spin->selectAll();
    QTest::keyClicks(spin, text);
}

} // namespace

class SendDialogsTest : public QObject {
    Q_OBJECT

private slots:
    void spinsStepTheStoredValueWithinZeroAndBelowTheLimit();
    void okReadsWholeNumbersWithoutRangeAndRefusesOthers();
    void theOverwriteWarningFollowsTheNumbersShown();
    void summaryShowsTheFiguresAndSendIsTheDefault();
    void sendingWindowShowsLinesInOrderAndTheBars();
    void sendingWindowSwallowsInputUntilItIsDone();
};

void SendDialogsTest::spinsStepTheStoredValueWithinZeroAndBelowTheLimit() {
    RecordingMessages messages;
    CProgramNumberDlg dialog(SendNumbers{1, 4, 3, 6}, messages);
    dialog.show();
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Program and Sample number"));
    QAbstractSpinBox* programs = Spin(dialog, "programsSpin");
    QAbstractSpinBox* samples = Spin(dialog, "samplesSpin");
    QCOMPARE(programs->text(), QStringLiteral("1"));
    QCOMPARE(samples->text(), QStringLiteral("4"));

    Press(programs, Qt::Key_Up, 3);
    QCOMPARE(programs->text(), QStringLiteral("2")); // the limit 3 minus 1
    Press(samples, Qt::Key_Down, 6);
    QCOMPARE(samples->text(), QStringLiteral("0"));

    // The arrows act on the stored value, not on what was typed since.
    Retype(programs, QStringLiteral("50"));
    Press(programs, Qt::Key_Down, 1);
    QCOMPARE(programs->text(), QStringLiteral("1"));
    Retype(samples, QStringLiteral("77"));

    // Esc keeps the values as the spins left them; the typing is not read.
    QTest::keyClick(&dialog, Qt::Key_Escape);
    QCOMPARE(dialog.result(), int(QDialog::Rejected));
    QCOMPARE(dialog.Numbers().programs, 1);
    QCOMPARE(dialog.Numbers().samples, 0);
    QVERIFY(messages.messages.empty());
}

void SendDialogsTest::okReadsWholeNumbersWithoutRangeAndRefusesOthers() {
    RecordingMessages messages;
    CProgramNumberDlg dialog(
        SendNumbers{1, 4, 254, 255, "Proposed: where the last send to the S950 ended."}, messages);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    QCOMPARE(dialog.findChild<QLabel*>(QStringLiteral("originLabel"))->text(),
             QStringLiteral("Proposed: where the last send to the S950 ended."));
    auto* ok = dialog.findChild<QPushButton*>(QStringLiteral("okButton"));
    Retype(Spin(dialog, "programsSpin"), QStringLiteral("300"));
    Retype(Spin(dialog, "samplesSpin"), QStringLiteral("four"));
    QTest::mouseClick(ok, Qt::LeftButton);
    QVERIFY(dialog.isVisible());
    QCOMPARE(messages.messages.size(), std::size_t{1});
    QCOMPARE(messages.messages[0].text, std::string("Please enter an integer."));
    QCOMPARE(QApplication::focusWidget(), Spin(dialog, "samplesSpin"));

    Retype(Spin(dialog, "samplesSpin"), QStringLiteral("12"));
    QTest::mouseClick(ok, Qt::LeftButton);
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(dialog.Numbers().programs, 300);
    QCOMPARE(dialog.Numbers().samples, 12);
}

void SendDialogsTest::theOverwriteWarningFollowsTheNumbersShown() {
    RecordingMessages messages;
    SendNumbers numbers{0, 2, 254, 255};
    numbers.inUse.emplace().samples = {{3, "KICK"}};
    numbers.shape = {2, false};
    CProgramNumberDlg dialog(numbers, messages);
    dialog.show();
    auto* warning = dialog.findChild<QLabel*>(QStringLiteral("overwriteWarning"));
    QVERIFY(warning->isVisible()); // two parts from 2 reach 3
    QCOMPARE(warning->text(),
             QStringLiteral("This send overwrites sample 3 \"KICK\" in the sampler."));
    Press(Spin(dialog, "samplesSpin"), Qt::Key_Up, 2);
    QVERIFY(!warning->isVisible());
    Retype(Spin(dialog, "samplesSpin"), QStringLiteral("3"));
    QVERIFY(warning->isVisible());
}

void SendDialogsTest::summaryShowsTheFiguresAndSendIsTheDefault() {
    CProgramSummaryDlg dialog(ProgramSummary{
        2, 88200, 92.4, "JACK: velomire-sampler:in", "", {"hum.wav [hum] is sampled at 48000 Hz"}});
    dialog.show();
    QVERIFY(QTest::qWaitForWindowActive(&dialog));
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Program Summary"));
    const auto field = [&](const char* name) {
        return dialog.findChild<QLineEdit*>(QString::fromLatin1(name));
    };
    QCOMPARE(field("samplesField")->text(), QStringLiteral("2"));
    QCOMPARE(field("memoryField")->text(), QStringLiteral("172.26 Ko"));
    QCOMPARE(field("timeField")->text(), QStringLiteral("1min 32sec"));
    QCOMPARE(field("midiOutField")->text(), QStringLiteral("JACK: velomire-sampler:in"));
    QCOMPARE(field("midiInField")->text(), QStringLiteral("None (one-way)"));
    QVERIFY(field("memoryField")->isReadOnly());
    QCOMPARE(field("memoryField")->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignRight);
    QCOMPARE(field("timeField")->alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter);
    const auto offPitch = [](const QDialog& shown) {
        return shown.findChild<QLabel*>(QStringLiteral("offPitchWarning"));
    };
    QVERIFY(offPitch(dialog)->isVisible());
    QVERIFY(offPitch(dialog)->text().endsWith(
        QStringLiteral("\nhum.wav [hum] is sampled at 48000 Hz")));
    QTest::keyClick(&dialog, Qt::Key_Return);
    QCOMPARE(dialog.result(), int(QDialog::Accepted));

    CProgramSummaryDlg cancelled(ProgramSummary{0, 0});
    cancelled.show();
    QVERIFY(!offPitch(cancelled)->isVisible());
    QTest::mouseClick(cancelled.findChild<QPushButton*>(QStringLiteral("cancelButton")),
                      Qt::LeftButton);
    QCOMPARE(cancelled.result(), int(QDialog::Rejected));
}

void SendDialogsTest::sendingWindowShowsLinesInOrderAndTheBars() {
    CSendingDlg window(QStringLiteral("Sending samples to S1000"));
    window.ShowNow();
    QVERIFY(window.isVisible());
    QCOMPARE(window.windowTitle(), QStringLiteral("Sending samples to S1000"));
    QVERIFY(!(window.windowFlags() & Qt::WindowCloseButtonHint));
    QCOMPARE(window.windowModality(), Qt::ApplicationModal);
    auto* list = window.findChild<QListWidget*>(QStringLiteral("linesList"));
    QCOMPARE(list->selectionMode(), QAbstractItemView::NoSelection);
    QCOMPARE(list->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);

    QStringList sent;
    for (int i = 0; i < 30; ++i) {
        sent << QStringLiteral("Sending piano.wav [piano] ...Left channel as sample#%1").arg(4 + i);
        window.AddLine(sent.back());
    }
    QCOMPARE(window.Lines(), sent);
    QCOMPARE(list->currentRow(), 29);
    QVERIFY(list->selectedItems().isEmpty());
    QCOMPARE(list->verticalScrollBar()->value(), list->verticalScrollBar()->maximum());
    QVERIFY(list->verticalScrollBar()->maximum() > 0);

    window.SetSampleBar(42);
    window.SetProgramBar(7);
    QCOMPARE(window.SampleBar(), 42);
    QCOMPARE(window.ProgramBar(), 7);
    // Cancel (or Esc) asks the send to stop, once; closing does not end the window: the send does.
    QSignalSpy cancels(&window, &CSendingDlg::cancelRequested);
    QTest::mouseClick(window.findChild<QPushButton*>(QStringLiteral("cancelButton")),
                      Qt::LeftButton);
    QTest::keyClick(&window, Qt::Key_Escape);
    window.close();
    QCOMPARE(cancels.count(), 1);
    QVERIFY(window.isVisible());
    window.Finish();
    QVERIFY(!window.isVisible());
}

void SendDialogsTest::sendingWindowSwallowsInputUntilItIsDone() {
    QWidget mainWindow;
    auto* button = new QPushButton(QStringLiteral("Send"), &mainWindow);
    int clicks = 0;
    connect(button, &QPushButton::clicked, [&clicks] { ++clicks; });
    mainWindow.show();

    auto window = std::make_unique<CSendingDlg>(QStringLiteral("Sending samples to S900"));
    window->ShowNow();
    QTest::mouseClick(button, Qt::LeftButton);
    QTest::keyClick(button, Qt::Key_Space);
    QCOMPARE(clicks, 0);

    // A message box that comes up during the send can still be answered.
    QDialog message;
    message.setWindowModality(Qt::ApplicationModal);
    auto* ok = new QPushButton(QStringLiteral("OK"), &message);
    connect(ok, &QPushButton::clicked, &message, &QDialog::accept);
    message.show();
    QVERIFY(QTest::qWaitForWindowExposed(&message));
    QTest::mouseClick(ok, Qt::LeftButton);
    QCOMPARE(message.result(), int(QDialog::Accepted));
    QTest::mouseClick(button, Qt::LeftButton);
    QCOMPARE(clicks, 0);

    // A click still on its way when the send ends is dropped with the rest, not replayed.
    QTimer::singleShot(20, [button] { QTest::mouseClick(button, Qt::LeftButton); });
    window->Finish();
    window.reset();
    QTest::qWait(100);
    QCOMPARE(clicks, 0);

    QTest::mouseClick(button, Qt::LeftButton);
    QCOMPARE(clicks, 1);

    // After a send that failed the window stays to be read while the rest works again; its
    // Close ends it.
    QPointer<CSendingDlg> kept = new CSendingDlg(QStringLiteral("Sending samples to S900"));
    kept->ShowNow();
    kept->KeepOpen();
    QVERIFY(kept->isVisible());
    QTest::mouseClick(button, Qt::LeftButton);
    QCOMPARE(clicks, 2);
    auto* close = kept->findChild<QPushButton*>(QStringLiteral("cancelButton"));
    QCOMPARE(close->text(), QStringLiteral("Close"));
    QTest::mouseClick(close, Qt::LeftButton);
    QTRY_VERIFY(kept.isNull());
}

QTEST_MAIN(SendDialogsTest)
#include "SendDialogsTest.moc"
