// The application put together as main() does, with scripted file dialogs and recorded message
// boxes: the command surface, the first start, the command line, the splash, drops and closing.

#include "app/CMainFrame.h"
#include "app/CSplashWnd.h"
#include "app/CVelomireApp.h"
#include "app/CVelomireDoc.h"
#include "app/CVelomireView.h"
#include "app/HelpWindow.h"
#include "app/RecentFiles.h"
#include "support/FakeFileDialogs.h"
#include "support/RecordingMessages.h"
#include "support/RecordingMidiDriver.h"
#include "support/WavBuilder.h"
#include "transfer/ui/CProgramNumberDlg.h"
#include "transfer/ui/CProgramSummaryDlg.h"
#include "transfer/ui/QtSettingsStore.h"
#include "ui/CommandIds.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QScopeGuard>
#include <QSettings>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>
#include <QTimer>
#include <QToolBar>
#include <QUrl>

#include <functional>
#include <memory>
#include <span>
#include <utility>

using namespace velomire::app;
using velomire::app::CVelomireDoc;
using velomire::testing::FakeFileDialogs;
using velomire::testing::RecordingMessages;
using velomire::testing::RecordingMidiDriver;
using velomire::transfer::QtSettingsStore;

namespace {

// Counts the mouse presses that reach a widget.
class PressCounter : public QObject {
public:
    int presses = 0;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::MouseButtonPress) {
            ++presses;
        }
        return QObject::eventFilter(watched, event);
    }
};

QStringList MenuTexts(const QMenu* menu) {
    QStringList texts;
    for (const QAction* action : menu->actions()) {
        texts << (action->isSeparator() ? QStringLiteral("-") : action->text());
    }
    return texts;
}

QMenu* TopMenu(CMainFrame* frame, const QString& title) {
    for (QAction* action : frame->menuBar()->actions()) {
        if (action->text() == title) {
            return action->menu();
        }
    }
    return nullptr;
}

} // namespace

class MainFrameTest : public QObject {
    Q_OBJECT

private:
    // Starts the application with these arguments after the program name.
    bool Start(
        QStringList arguments = {QStringLiteral("--no-splash")},
        std::function<std::unique_ptr<velomire::transfer::MidiDriver>()> makeDriver = [] {
            return std::make_unique<RecordingMidiDriver>();
        }) {
        AppServices services;
        services.makeMidiDriver = std::move(makeDriver);
        app = std::make_unique<CVelomireApp>(services, messages, dialogs);
        arguments.prepend(QStringLiteral("velomire"));
        const bool started = app->InitInstance(arguments);
        frame = app->MainFrame();
        doc = app->Document();
        return started;
    }

    QString startDirectory;
    QTemporaryDir demo;
    QString demoProgram;
    RecordingMessages messages;
    FakeFileDialogs dialogs;
    std::unique_ptr<CVelomireApp> app;
    CMainFrame* frame = nullptr;
    CVelomireDoc* doc = nullptr;

private slots:
    void initTestCase() {
        startDirectory = QDir::currentPath();
        const QDir source(QStringLiteral(VELOMIRE_SOURCE_DIR "/examples/demo"));
        for (const QString& name : source.entryList(QDir::Files)) {
            QVERIFY(QFile::copy(source.filePath(name), demo.filePath(name)));
        }
        demoProgram = demo.filePath(QStringLiteral("demo.vmp"));
    }

    void init() {
        // Every test is a first start: no settings, no recent files.
        const QString settings = QtSettingsStore().FileName();
        QFile::remove(settings);
        QFile::remove(RecentFiles::FileNameBeside(settings));
        messages = {};
        dialogs = {};
    }

    void cleanup() {
        app.reset();
        QDir::setCurrent(startDirectory);
    }

    // The menus are built from one table: check what the table cannot show by itself (the
    // shortcut written once into the text, the order of the bar and of the File menu with the
    // recent files, the editors' commands lent by the list).
    void MenusAreBuiltFromTheCommandTable() {
        QVERIFY(Start());
        using namespace command;
        const QAction* fileNewAction = frame->Action(fileNew);
        QCOMPARE(fileNewAction->data().toInt(), fileNew);
        QCOMPARE(fileNewAction->text(), QStringLiteral("&New program\tCtrl+N"));
        QCOMPARE(fileNewAction->shortcut(), QKeySequence(QStringLiteral("Ctrl+N")));
        QCOMPARE(fileNewAction->statusTip(), QStringLiteral("Create a new program"));
        QCOMPARE(fileNewAction->toolTip(), QStringLiteral("New program"));

        QStringList bar;
        for (QAction* action : frame->menuBar()->actions()) {
            bar << action->text();
        }
        QCOMPARE(bar, (QStringList{"&File", "&Edit", "&Program", "&Sample", "&Options", "&View",
                                   "&Help"}));
        QVERIFY(!frame->Action(options)->menu()); // a command of the bar itself
        QCOMPARE(MenuTexts(TopMenu(frame, QStringLiteral("&File"))),
                 (QStringList{"&New program\tCtrl+N", "&Open program\tCtrl+O",
                              "&Save program\tCtrl+S", "Save program &As...", "-",
                              "&Import instrument...", "Export as S&FZ...", "Export &disk image...",
                              "-", "Open sample", "-", "Recent File", "-", "E&xit"}));

        // The toolbar: its entries in order, with 36-pixel buttons.
        QToolBar* toolBar = frame->ToolBar();
        QList<int> ids;
        for (QAction* action : toolBar->actions()) {
            ids << (action->isSeparator() ? 0 : action->data().toInt());
            if (!action->isSeparator()) {
                QVERIFY(!action->icon().isNull());
            }
        }
        QCOMPARE(ids, (QList<int>{57600, 57601, 32794, 32780, 57603, 0, 57643, 57644, 0, 32785, 0,
                                  57667}));
        QCOMPARE(toolBar->iconSize(), QSize(36, 36));
    }

    void SettingsOutOfRangeAreNamedOnceInTheStatusBarAndLeftAtTheirDefaults() {
        {
            QSettings file(QtSettingsStore().FileName(), QSettings::IniFormat);
            file.setValue(QStringLiteral("Velomire/Midi channel"), QStringLiteral("200"));
            file.setValue(QStringLiteral("Velomire/ConvertRate"), QStringLiteral("99999999999"));
        }
        QVERIFY(Start());
        QTRY_VERIFY(frame->MessagePane()->text() != QStringLiteral("Ready"));
        const QString shown = frame->MessagePane()->text();
        QVERIFY2(shown.contains(QStringLiteral("\"Midi channel\" = 200")) &&
                     shown.contains(QStringLiteral("\"ConvertRate\"")),
                 qPrintable(shown));
        QCOMPARE(doc->Settings().midiChannel, 0);
    }

    void TheViewMenuHidesAndShowsTheBarsAndTheStatusBarShowsPrompts() {
        QVERIFY(Start());
        QVERIFY(QTest::qWaitForWindowExposed(frame));
        frame->Action(command::viewToolbar)->trigger();
        QVERIFY(!frame->ToolBar()->isVisible());
        frame->Action(command::viewStatusBar)->trigger();
        QVERIFY(!frame->statusBar()->isVisible());
        frame->Action(command::viewToolbar)->trigger();
        frame->Action(command::viewStatusBar)->trigger();
        QVERIFY(frame->ToolBar()->isVisible());
        QVERIFY(frame->statusBar()->isVisible());
        QVERIFY(frame->Action(command::viewToolbar)->isChecked());

        // The status bar shows prompts over "Ready", and the lock indicators.
        QCOMPARE(frame->MessagePane()->text(), QStringLiteral("Ready"));
        QVERIFY(frame->MessagePane()->isVisible());
        frame->Action(command::sendProgram)->showStatusText(frame);
        QCOMPARE(frame->statusBar()->currentMessage(), QStringLiteral("Send Program and Samples"));
        QVERIFY(!frame->MessagePane()->isVisible());
        frame->statusBar()->clearMessage();
        QVERIFY(frame->MessagePane()->isVisible());
        for (int id : {command::indicatorCaps, command::indicatorNum, command::indicatorScroll}) {
            QVERIFY(frame->Indicator(id));
            QVERIFY(frame->Indicator(id)->isVisible());
        }
    }

    void FirstStartHasNoProgramDefaultSettingsAndRefusesToSend() {
        QVERIFY(Start());
        QCOMPARE(frame->windowTitle(), QStringLiteral("Untitled[*] - Velomire 98.05"));
        QVERIFY(dialogs.questions.isEmpty());
        QCOMPARE(doc->Settings().samplerModel, -1); // the defaults are SamplerSettings'
        QVERIFY(!frame->View()->isEnabled());

        frame->Action(command::sendProgram)->trigger();
        frame->Action(command::addSamples)->trigger();
        QCOMPARE(messages.messages.size(), 2u);
        QCOMPARE(messages.messages[0].text, std::string("Create a program first !"));
        QCOMPARE(messages.messages[1].text, std::string("Create a program first !"));

        frame->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(frame));
        dialogs.fileAnswers = {demoProgram};
        QTest::keySequence(frame, QKeySequence(QStringLiteral("Ctrl+O")));
        QCOMPARE(frame->windowTitle(), QStringLiteral("demo[*] - Velomire 98.05"));
        QVERIFY(frame->View()->isEnabled());
        QCOMPARE(frame->View()->model()->rowCount(), 3);
        frame->Action(command::sendProgram)->trigger();
        QCOMPARE(messages.messages.back().text, std::string("Select a Sampler in Options"));
    }

    void ClosingTheWindowDuringASendAsksToCancelIt() {
        // A driver that tries to close the main window while it takes the first message, as a
        // user pressing the window's close button in the middle of a transfer would.
        struct ClosingDriver : RecordingMidiDriver {
            std::function<void()> onWrite;
            velomire::transfer::MidiStatus Write(std::span<const std::uint8_t> bytes) override {
                if (onWrite) {
                    std::exchange(onWrite, nullptr)();
                }
                return RecordingMidiDriver::Write(bytes);
            }
        };
        ClosingDriver* driver = nullptr;
        QVERIFY(Start({QStringLiteral("--no-splash")}, [&driver] {
            auto made = std::make_unique<ClosingDriver>();
            driver = made.get();
            return made;
        }));

        const QString wav = demo.filePath(QStringLiteral("click.wav"));
        velomire::testing::WriteFile(wav.toStdString(),
                                     velomire::testing::WavBuilder::Canonical(
                                         1, 44100, 16, std::vector<std::int16_t>(100, 5)));
        dialogs.fileAnswers = {wav};
        doc->OnOpenSample();
        doc->Settings().samplerModel = 0;
        doc->Settings().midiOutDevice = 0;

        // Answer the summary and the numbers as a user would, and the question about the
        // running send as `cancelAnswer` says.
        QMessageBox::StandardButton cancelAnswer = QMessageBox::No;
        QTimer answer;
        connect(&answer, &QTimer::timeout, [&cancelAnswer] {
            QWidget* modal = QApplication::activeModalWidget();
            if (qobject_cast<velomire::transfer::CProgramSummaryDlg*>(modal) ||
                qobject_cast<velomire::transfer::CProgramNumberDlg*>(modal)) {
                static_cast<QDialog*>(modal)->accept();
            } else if (auto* question = qobject_cast<QMessageBox*>(modal)) {
                question->button(cancelAnswer)->click();
            }
        });
        answer.start(20);
        bool closeRefused = false;
        frame->Action(command::sendProgram)->trigger(); // makes the driver
        QVERIFY(driver != nullptr);
        QCOMPARE(driver->writes.size(), 4u); // the Dump Header and three packets
        // JACK missed a cycle on the way: the status bar and a message say so.
        driver->missAtWrite = driver->writeCalls + 2;
        frame->Action(command::sendProgram)->trigger();
        // The whole line, also where it is wider than the window: on a second line of the bar.
        const QLabel* pane = frame->MessagePane();
        QVERIFY2(pane->text().endsWith(QStringLiteral(" (JACK missed 1 cycle)")),
                 qPrintable(pane->text()));
        frame->resize(300, frame->height());
        QTRY_VERIFY(pane->isVisible() &&
                    pane->fontMetrics()
                            .boundingRect(pane->contentsRect(), Qt::TextWordWrap, pane->text())
                            .height() <= pane->contentsRect().height());
        QVERIFY(messages.messages.back().text.find("\n\nWarning: JACK missed 1 cycle during") !=
                std::string::npos);
        driver->writes.clear();
        doc->SetModifiedFlag(false); // no save question to stop the close
        const auto closeTheWindow = [this, &closeRefused] {
            QCloseEvent close;
            QApplication::sendEvent(frame, &close);
            closeRefused = !close.isAccepted();
        };
        driver->onWrite = closeTheWindow;
        frame->Action(command::sendProgram)->trigger();
        QVERIFY(closeRefused);
        QCOMPARE(driver->writes.size(), 4u); // "No": the send went on to its end
        QVERIFY(frame->isVisible());

        // Cancel in the "Sending ..." window stops the send after the message in progress.
        driver->writes.clear();
        driver->onWrite = [] {
            QTest::mouseClick(QApplication::activeModalWidget()->findChild<QPushButton*>(
                                  QStringLiteral("cancelButton")),
                              Qt::LeftButton);
        };
        frame->Action(command::sendProgram)->trigger();
        QCOMPARE(driver->writes.size(), 1u);
        QCOMPARE(messages.messages.back().text,
                 std::string("Transfer cancelled: 0 of 1 sample parts sent."));

        // "Yes" to the question on closing: the same, and the window closes.
        driver->writes.clear();
        messages.messages.clear();
        cancelAnswer = QMessageBox::Yes;
        driver->onWrite = closeTheWindow;
        frame->Action(command::sendProgram)->trigger();
        QVERIFY(closeRefused);
        QCOMPARE(driver->writes.size(), 1u);
        QCOMPARE(messages.messages.size(), 1u);
        QVERIFY(!doc->IsSending());
        QTRY_VERIFY(!frame->isVisible());
        QDir::setCurrent(startDirectory);
    }

    // The columns follow the font (Windows' is wider than the usual Linux one): the first window
    // shows them all without a sideways scroll bar.
    void TheFirstWindowShowsEveryColumnInALargerFont() {
        const QFont usual = QApplication::font();
        QFont larger = usual;
        larger.setPointSizeF(usual.pointSizeF() * 2);
        QApplication::setFont(larger);
        const auto restore = qScopeGuard([&] { QApplication::setFont(usual); });
        QVERIFY(Start({QStringLiteral("--no-splash"), demoProgram}));
        frame->show();
        QVERIFY(QTest::qWaitForWindowExposed(frame));
        QTableView* view = frame->View();
        QVERIFY(view->horizontalHeader()->length() > 580);
        QVERIFY2(view->horizontalHeader()->length() <= view->viewport()->width(),
                 qPrintable(QStringLiteral("columns %1, list %2")
                                .arg(view->horizontalHeader()->length())
                                .arg(view->viewport()->width())));
    }

    void AProgramOnTheCommandLineOpensWithoutAnyDialog() {
        QVERIFY(Start({QStringLiteral("--no-splash"), demoProgram}));
        QCOMPARE(doc->GetProgram().sampleCount, 3);
        QVERIFY(!frame->Splash());
        // F6 and Shift+F6 do nothing.
        QVERIFY(QTest::qWaitForWindowExposed(frame));
        QTest::keySequence(frame, QKeySequence(QStringLiteral("F6")));
        QTest::keySequence(frame, QKeySequence(QStringLiteral("Shift+F6")));
        QVERIFY(dialogs.questions.isEmpty());
        QVERIFY(messages.messages.empty());
        QCOMPARE(frame->windowTitle(), QStringLiteral("demo[*] - Velomire 98.05"));
        // Start-up is over: New asks for the new program's file.
        frame->Action(command::fileNew)->trigger();
        QCOMPARE(dialogs.questions.size(), 1);
        QCOMPARE(dialogs.questions[0].title, QStringLiteral("Create New Program"));
    }

    void AProgramFileThatDoesNotOpenEndsTheStartUp() {
        QVERIFY(!Start({QStringLiteral("--no-splash"), demo.filePath(QStringLiteral("none.vmp"))}));
        QCOMPARE(messages.messages.size(), 1u);
        QCOMPARE(messages.messages[0].caption, std::string("none.vmp"));
    }

    void OpenedProgramsJoinARecentFileListKeptApartFromTheSettings() {
        QVERIFY(Start({QStringLiteral("--no-splash"), demoProgram}));
        const QList<QAction*> recent = frame->RecentFileActions();
        QCOMPARE(recent.size(), 1);
        QCOMPARE(recent[0]->data().toInt(), command::fileMru1);
        // The path as the system writes it (backslashes on Windows).
        QCOMPARE(recent[0]->text(),
                 QStringLiteral("&1 ") +
                     QDir::toNativeSeparators(QFileInfo(demoProgram).absoluteFilePath()));
        QCOMPARE(recent[0]->statusTip(), QStringLiteral("Open this program"));

        const QString settingsFile = QtSettingsStore().FileName();
        QSettings recentFile(RecentFiles::FileNameBeside(settingsFile), QSettings::IniFormat);
        QCOMPARE(recentFile.value(QStringLiteral("Recent File List/File1")).toString(),
                 QFileInfo(demoProgram).absoluteFilePath());
        QSettings settings(settingsFile, QSettings::IniFormat);
        QVERIFY(settings.allKeys().filter(QStringLiteral("Recent")).isEmpty());

        // A later start offers it again, and choosing it opens it.
        app.reset();
        QVERIFY(Start());
        QCOMPARE(frame->RecentFileActions().size(), 1);
        frame->RecentFileActions()[0]->trigger();
        QCOMPARE(frame->windowTitle(), QStringLiteral("demo[*] - Velomire 98.05"));
    }

    void TheSplashGoesAtTheFirstPressWhichReachesNothingElse() {
        QVERIFY(Start({}));
        CSplashWnd* splash = frame->Splash();
        QVERIFY(splash);
        QTRY_VERIFY(splash->isVisible());
        QCOMPARE(splash->size(), QSize(391, 248));

        // A key first: it would be New's shortcut, but it only removes the splash.
        QTest::keySequence(frame, QKeySequence(QStringLiteral("Ctrl+N")));
        QTRY_VERIFY(!frame->Splash());
        QVERIFY(dialogs.questions.isEmpty());

        app.reset();
        QVERIFY(Start({}));
        QTRY_VERIFY(frame->Splash() && frame->Splash()->isVisible());
        PressCounter counter;
        frame->View()->viewport()->installEventFilter(&counter);
        QTest::mouseClick(frame->View()->viewport(), Qt::LeftButton, {}, QPoint(20, 20));
        QTRY_VERIFY(!frame->Splash());
        QCOMPARE(counter.presses, 0);
        QTest::mouseClick(frame->View()->viewport(), Qt::LeftButton, {}, QPoint(20, 20));
        QCOMPARE(counter.presses, 1);
    }

    void TheAboutBoxShowsTheVersionAndTheLicenceAndClosesWithOk() {
        QVERIFY(Start());
        QString title;
        QString text;
        QString licence;
        QTimer::singleShot(0, this, [&] {
            auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            QVERIFY(dialog);
            title = dialog->windowTitle();
            text = dialog->findChild<QLabel*>(QStringLiteral("versionText"))->text();
            licence = dialog->findChild<QLabel*>(QStringLiteral("licenceText"))->text();
            auto* buttons = dialog->findChild<QDialogButtonBox*>();
            QTest::mouseClick(buttons->button(QDialogButtonBox::Ok), Qt::LeftButton);
        });
        frame->Action(command::appAbout)->trigger();
        QCOMPARE(title, QStringLiteral("About Velomire"));
        QCOMPARE(text, QStringLiteral("Velomire Version 98.05"));
        QVERIFY(licence.contains(QStringLiteral("GPL-3.0-or-later")));
    }

    void HelpContentsShowsTheUserGuide() {
        QVERIFY(Start());
        frame->Action(command::helpContents)->trigger();
        QVERIFY(frame->Help());
        QVERIFY(frame->Help()->isVisible());
        QVERIFY(frame->Help()->Browser()->toPlainText().contains(
            QStringLiteral("Velomire user guide")));
        QVERIFY(QFile::exists(QStringLiteral(":/docs/screenshots/main-window.png")));
        // The screenshot script keeps a picture of it (VELOMIRE_SCREENSHOT_DIR).
        const QString pictures = qEnvironmentVariable("VELOMIRE_SCREENSHOT_DIR");
        if (!pictures.isEmpty()) {
            QVERIFY(QTest::qWaitForWindowExposed(frame->Help()));
            QVERIFY(frame->Help()->grab().save(QDir(pictures).filePath("help-window.png")));
        }
    }

    void AProgramDroppedOnTheWindowOpens() {
        QVERIFY(Start());
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(demoProgram)});
        QDragEnterEvent enter(QPoint(50, 50), Qt::CopyAction, &data, Qt::LeftButton, {});
        QApplication::sendEvent(frame, &enter);
        QVERIFY(enter.isAccepted());
        QDropEvent drop(QPointF(50, 50), Qt::CopyAction, &data, Qt::LeftButton, {});
        QApplication::sendEvent(frame, &drop);
        QCOMPARE(frame->windowTitle(), QStringLiteral("demo[*] - Velomire 98.05"));

        QMimeData other;
        other.setUrls({QUrl::fromLocalFile(demo.filePath(QStringLiteral("notes.txt")))});
        QDragEnterEvent refused(QPoint(50, 50), Qt::CopyAction, &other, Qt::LeftButton, {});
        refused.ignore();
        QApplication::sendEvent(frame, &refused);
        QVERIFY(!refused.isAccepted());
    }

    void AnInstrumentDroppedOnTheWindowIsImportedAndExportNeedsAProgram() {
        QVERIFY(Start());
        QVERIFY(!frame->Action(command::exportSfz)->isEnabled());

        QTemporaryDir folder;
        const std::vector<std::int16_t> words(500, 300);
        velomire::testing::WriteFile(
            std::filesystem::path(
                QFile::encodeName(folder.filePath(QStringLiteral("tone.wav"))).toStdString()),
            velomire::testing::WavBuilder::Canonical(1, 44100, 16, words));
        QFile sfz(folder.filePath(QStringLiteral("Tone.sfz")));
        QVERIFY(sfz.open(QIODevice::WriteOnly));
        sfz.write("<region> sample=tone.wav key=60\n<region> sample=tone.wav lokey=61 hikey=72\n");
        sfz.close();

        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(sfz.fileName())});
        QDragEnterEvent enter(QPoint(50, 50), Qt::CopyAction, &data, Qt::LeftButton, {});
        QApplication::sendEvent(frame, &enter);
        QVERIFY(enter.isAccepted());
        dialogs.instrumentAnswer = 0;
        dialogs.fileAnswers = {folder.filePath(QStringLiteral("Tone.vmp"))};
        QDropEvent drop(QPointF(50, 50), Qt::CopyAction, &data, Qt::LeftButton, {});
        QApplication::sendEvent(frame, &drop);
        QVERIFY(messages.messages.empty());
        QCOMPARE(frame->windowTitle(), QStringLiteral("Tone[*] - Velomire 98.05"));
        QVERIFY(QFile::exists(folder.filePath(QStringLiteral("Tone.vmp"))));
        QVERIFY(frame->Action(command::exportSfz)->isEnabled());
    }

    void UndoAndRedoNameTheirStepAndTheTitleMarksUnsavedChanges() {
        QVERIFY(Start({QStringLiteral("--no-splash"), demoProgram}));
        QAction* undo = frame->Action(command::editUndo);
        QAction* redo = frame->Action(command::editRedo);
        QVERIFY(!undo->isEnabled());
        QCOMPARE(redo->shortcuts(),
                 (QList<QKeySequence>{QKeySequence(QStringLiteral("Ctrl+Shift+Z")),
                                      QKeySequence(QStringLiteral("Ctrl+Y"))}));
        doc->RenameSample(0, "kick");
        QCOMPARE(undo->text(), QStringLiteral("&Undo Rename\tCtrl+Z"));
        QVERIFY(frame->isWindowModified());
        undo->trigger();
        QVERIFY(!frame->isWindowModified()); // back at what was opened
        QCOMPARE(redo->text(), QStringLiteral("&Redo Rename\tCtrl+Shift+Z"));
        QVERIFY(!undo->isEnabled());
    }

    void ClosingAModifiedProgramAsksToSaveFirst() {
        QVERIFY(Start({QStringLiteral("--no-splash"), demoProgram}));
        QVERIFY(QTest::qWaitForWindowExposed(frame));
        doc->MarkChanged();
        dialogs.saveAnswers = {FileDialogs::SaveAnswer::cancel};
        frame->Action(command::appExit)->trigger();
        QVERIFY(frame->isVisible());
        QCOMPARE(dialogs.questions.size(), 1);
        QCOMPARE(dialogs.questions[0].kind, QStringLiteral("ask"));
        QCOMPARE(dialogs.questions[0].title, QStringLiteral("demo"));
        dialogs.saveAnswers = {FileDialogs::SaveAnswer::discard};
        frame->Action(command::appExit)->trigger();
        QVERIFY(!frame->isVisible());
    }
};

QTEST_MAIN(MainFrameTest)
#include "MainFrameTest.moc"
