#include "app/CMainFrame.h"

#include "app/CAboutDlg.h"
#include "app/CSplashWnd.h"
#include "app/CVelomireDoc.h"
#include "app/CVelomireView.h"
#include "app/DroppedFiles.h"
#include "app/ExportImageDlg.h"
#include "app/HelpWindow.h"
#include "app/LockKeyState.h"
#include "app/RecentFiles.h"
#include "app/Resources.h"
#include "program/RecentFileList.h"
#include "transfer/SamplerModel.h"
#include "ui/CommandIds.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QUndoStack>

#include <algorithm>
#include <utility>

namespace velomire::app {
namespace {

// Every command of the menus and the toolbar: its menu text (the shortcut is appended from the
// key), status-bar prompt, tool tip and toolbar picture.
struct CommandEntry {
    int id;
    const char* text;
    QKeyCombination key;
    const char* prompt;
    const char* toolTip;
    const char* icon;
};

constexpr QKeyCombination noKey{};

const CommandEntry commandTable[] = {
    {command::fileNew, "&New program", Qt::CTRL | Qt::Key_N, "Create a new program", "New program",
     "new"},
    {command::fileOpen, "&Open program", Qt::CTRL | Qt::Key_O, "Open an existing program",
     "Open program", "open"},
    {command::fileSave, "&Save program", Qt::CTRL | Qt::Key_S, "Save the active program",
     "Save program", "save"},
    {command::fileSaveAs, "Save program &As...", noKey, "Save the active program with a new name",
     "Save As", ""},
    {command::exportDiskImage, "Export &disk image...", noKey,
     "Write the program as a disk image for the sampler's floppy emulator", "Export disk image",
     ""},
    {command::importInstrument, "&Import instrument...", noKey,
     "Make a program from an SFZ, SoundFont 2, DLS, GigaStudio, Korg multisample or Decent Sampler "
     "instrument or an Akai disk image program",
     "Import instrument", ""},
    {command::exportSfz, "Export as S&FZ...", noKey,
     "Write the program as an SFZ instrument with its WAV files", "Export as SFZ", ""},
    {command::openSample, "Open sample", noKey, "Open a sample (.wav file)", "Open sample",
     "open-sample"},
    {command::appExit, "E&xit", noKey, "Quit the application; prompts to save program", "Exit", ""},
    {command::editUndo, "&Undo", Qt::CTRL | Qt::Key_Z, "Undo the last change", "Undo", "undo"},
    {command::editRedo, "&Redo", Qt::CTRL | Qt::SHIFT | Qt::Key_Z, "Redo the change undone", "Redo",
     "redo"},
    {command::addSamples, "&Add Samples to the Program", noKey, "Add samples to the program",
     "Add samples", "add-samples"},
    {command::mapKeysFromNames, "&Map keys from names", noKey,
     "Set pitch and key range of the selected samples (all when none is selected) from the notes "
     "in their file names",
     "Map keys from names", ""},
    {command::sendProgram, "&Send Program+Samples thru midi", noKey, "Send Program and Samples",
     "Midi Send", "send"},
    {command::samplerContents, "Sampler &contents...", noKey,
     "See what the sampler holds, take samples and programs back, delete", "Sampler contents", ""},
    {command::options, "&Options", noKey, "", "", ""},
    {command::viewToolbar, "&Toolbar", noKey, "Show or hide the toolbar", "Toggle ToolBar", ""},
    {command::viewStatusBar, "&Status Bar", noKey, "Show or hide the status bar",
     "Toggle StatusBar", ""},
    {command::helpContents, "&Contents", noKey, "displays the contents of the help file", "",
     "help"},
    {command::appAbout, "&About Velomire...", noKey,
     "Display program information and version number", "About", ""},
    // The window has no split panes to move between: the two accelerators do nothing.
    {command::nextPane, "Next Pane", Qt::Key_F6, "", "", ""},
    {command::previousPane, "Previous Pane", Qt::SHIFT | Qt::Key_F6, "", "", ""},
};

// The menus in their order; 0 is a separator, recentFilesMark where the recent files go.
constexpr int separator = 0;
constexpr int recentFilesMark = -1;
struct MenuEntry {
    const char* title;
    std::initializer_list<int> commands;
};

// The toolbar, left to right; 0 is a separator.
constexpr int toolBarCommands[] = {command::fileNew,     command::fileOpen, command::openSample,
                                   command::addSamples,  command::fileSave, separator,
                                   command::editUndo,    command::editRedo, separator,
                                   command::sendProgram, separator,         command::helpContents};

QString Latin1(const char* text) {
    return QString::fromLatin1(text);
}

} // namespace

CMainFrame::CMainFrame(CVelomireDoc& doc, RecentFiles& recentFiles, bool showSplash,
                       QWidget* parent)
    : QMainWindow(parent), doc(doc), recentFiles(recentFiles), view(new CVelomireView(doc, this)) {
    InitResources();
    setWindowIcon(QIcon(QStringLiteral(":/images/velomire.png")));
    setCentralWidget(view);
    setAcceptDrops(true);
    // Wide enough for every column of the list in this system's font.
    resize(std::max(580, view->WidthShowingEveryColumn()), 420);

    CreateMenus();
    CreateToolBar();
    CreateStatusBar();

    connect(&doc, &CVelomireDoc::titleChanged, this, &CMainFrame::UpdateTitle);
    connect(&doc, &CVelomireDoc::modifiedChanged, this, &QWidget::setWindowModified);
    connect(&doc, &CVelomireDoc::sendEnded, this, [this] {
        if (std::exchange(closeAfterSend, false)) {
            QTimer::singleShot(0, this, &QWidget::close);
        }
    });
    connect(&doc, &CVelomireDoc::pathRecorded, &recentFiles, &RecentFiles::Add);
    connect(&doc, &CVelomireDoc::statusMessage, this, &CMainFrame::ShowStatus);
    connect(&recentFiles, &RecentFiles::changed, this, &CMainFrame::RebuildRecentFiles);
    UpdateTitle();
    // Settings refused at start are said once, where the user looks for how things stand; once
    // the window is up, so that the message covers "Ready".
    if (!doc.SettingsWarning().empty()) {
        QTimer::singleShot(
            0, this, [this] { ShowStatus(QString::fromStdString(this->doc.SettingsWarning())); });
    }

    if (showSplash) {
        splash = CSplashWnd::ShowSplashScreen(this);
    }
}

CSplashWnd* CMainFrame::Splash() const {
    return splash;
}

HelpWindow* CMainFrame::Help() const {
    return help;
}

CMainFrame::~CMainFrame() {
    qApp->removeEventFilter(this);
}

void CMainFrame::CreateMenus() {
    using namespace command;
    for (const CommandEntry& entry : commandTable) {
        QString text = Latin1(entry.text);
        const bool hasKey = entry.key != noKey;
        // The two pane accelerators are in no menu: their text stays bare.
        if (hasKey && entry.id != nextPane && entry.id != previousPane) {
            text +=
                QLatin1Char('\t') + QKeySequence(entry.key).toString(QKeySequence::PortableText);
        }
        auto* action = new QAction(text, this);
        action->setData(entry.id);
        if (hasKey) {
            action->setShortcut(QKeySequence(entry.key));
        }
        if (*entry.prompt != '\0') {
            action->setStatusTip(Latin1(entry.prompt));
        }
        if (*entry.toolTip != '\0') {
            action->setToolTip(Latin1(entry.toolTip));
        }
        if (*entry.icon != '\0') {
            action->setIcon(QIcon(QStringLiteral(":/images/toolbar/") + Latin1(entry.icon) +
                                  QStringLiteral(".png")));
        }
        actions.insert(entry.id, action);
    }
    addAction(Action(nextPane));
    addAction(Action(previousPane));
    actions.insert(sampleParameters, view->ParametersAction());
    actions.insert(sampleLoopsEditor, view->LoopsEditorAction());
    for (int id : {viewToolbar, viewStatusBar}) {
        Action(id)->setCheckable(true);
        Action(id)->setChecked(true);
    }
    actions.insert(editRemove, view->RemoveAction());
    actions.insert(moveUp, view->MoveUpAction());
    actions.insert(moveDown, view->MoveDownAction());

    // Undo and Redo name the step they take back or make again.
    QAction* undoAction = Action(editUndo);
    QAction* redoAction = Action(editRedo);
    redoAction->setShortcuts(
        {QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z), QKeySequence(Qt::CTRL | Qt::Key_Y)});
    QUndoStack& history = doc.UndoStack();
    const auto updateUndo = [undoAction, &history] {
        const QString what = history.undoText();
        undoAction->setText(QStringLiteral("&Undo") +
                            (what.isEmpty() ? QString() : QStringLiteral(" ") + what) +
                            QStringLiteral("\tCtrl+Z"));
        undoAction->setEnabled(history.canUndo());
    };
    const auto updateRedo = [redoAction, &history] {
        const QString what = history.redoText();
        redoAction->setText(QStringLiteral("&Redo") +
                            (what.isEmpty() ? QString() : QStringLiteral(" ") + what) +
                            QStringLiteral("\tCtrl+Shift+Z"));
        redoAction->setEnabled(history.canRedo());
    };
    connect(&history, &QUndoStack::indexChanged, this, updateUndo);
    connect(&history, &QUndoStack::indexChanged, this, updateRedo);
    updateUndo();
    updateRedo();
    connect(undoAction, &QAction::triggered, &history, &QUndoStack::undo);
    connect(redoAction, &QAction::triggered, &history, &QUndoStack::redo);

    const MenuEntry menus[] = {
        {"&File",
         {fileNew, fileOpen, fileSave, fileSaveAs, separator, importInstrument, exportSfz,
          exportDiskImage, separator, openSample, separator, recentFilesMark, appExit}},
        {"&Edit", {editUndo, editRedo, separator, editRemove, moveUp, moveDown}},
        {"&Program", {addSamples, mapKeysFromNames, sendProgram, samplerContents}},
        {"&Sample", {sampleParameters, sampleLoopsEditor}},
        {nullptr, {options}}, // an item of the menu bar itself
        {"&View", {viewToolbar, viewStatusBar}},
        {"&Help", {helpContents, appAbout}},
    };
    for (const MenuEntry& entry : menus) {
        if (entry.title == nullptr) {
            for (int id : entry.commands) {
                menuBar()->addAction(Action(id));
            }
            continue;
        }
        QMenu* menu = menuBar()->addMenu(Latin1(entry.title));
        for (int id : entry.commands) {
            if (id == separator) {
                menu->addSeparator();
            } else if (id == recentFilesMark) {
                fileMenu = menu;
                recentEnd = menu->addSeparator();
            } else {
                menu->addAction(Action(id));
            }
        }
    }
    RebuildRecentFiles();

    using Doc = CVelomireDoc;
    connect(Action(fileNew), &QAction::triggered, &doc, &Doc::OnFileNew);
    connect(Action(fileOpen), &QAction::triggered, &doc, &Doc::OnFileOpen);
    connect(Action(fileSave), &QAction::triggered, &doc, &Doc::OnFileSave);
    connect(Action(fileSaveAs), &QAction::triggered, &doc, &Doc::OnFileSaveAs);
    connect(Action(exportDiskImage), &QAction::triggered, this, &CMainFrame::OnExportDiskImage);
    connect(Action(importInstrument), &QAction::triggered, &doc,
            [this] { this->doc.OnImportInstrument(); });
    connect(Action(exportSfz), &QAction::triggered, &doc, &Doc::OnExportSfz);
    // Export as SFZ needs a program.
    const auto updateExport = [this] {
        Action(command::exportSfz)->setEnabled(this->doc.GetProgram().programCreated);
    };
    connect(&doc, &Doc::changed, this, updateExport);
    connect(&doc, &Doc::initialUpdate, this, updateExport);
    updateExport();
    connect(Action(openSample), &QAction::triggered, &doc, &Doc::OnOpenSample);
    connect(Action(addSamples), &QAction::triggered, &doc, &Doc::OnAddSamples);
    connect(Action(mapKeysFromNames), &QAction::triggered, this,
            [this] { doc.OnMapKeysFromNames(view->MapKeysRows()); });
    connect(Action(sendProgram), &QAction::triggered, &doc, &Doc::OnSendProgram);
    connect(Action(samplerContents), &QAction::triggered, &doc, &Doc::OnSamplerContents);
    connect(Action(options), &QAction::triggered, &doc, &Doc::OnOptions);
    connect(Action(appExit), &QAction::triggered, this, &QWidget::close);
    connect(Action(viewStatusBar), &QAction::toggled, this,
            [this](bool on) { statusBar()->setVisible(on); });
    connect(Action(helpContents), &QAction::triggered, this, &CMainFrame::OnHelpContents);
    connect(Action(appAbout), &QAction::triggered, this, &CMainFrame::OnAppAbout);
}

void CMainFrame::OnExportDiskImage() {
    const std::int32_t model = doc.Settings().samplerModel;
    if (ExportImageDlg::Media(model).empty()) {
        const auto info = transfer::SamplerModel::Find(model);
        doc.Messages().Show(
            (info ? "The " + std::string(info->longName) : std::string("No sampler")) +
                " has no disk drive Velomire writes for: choose an Akai sampler in "
                "Options.",
            program::appCaption);
        return;
    }
    ExportImageDlg dialog(doc.GetProgram(), model, doc.Dialogs(), doc.Messages(), this);
    if (dialog.exec() == QDialog::Accepted) {
        ShowStatus(dialog.Summary());
    }
}

void CMainFrame::CreateToolBar() {
    toolBar = new QToolBar(QStringLiteral("Toolbar"), this);
    toolBar->setObjectName(QStringLiteral("toolBar"));
    toolBar->setIconSize(QSize(36, 36));
    toolBar->setMovable(true);
    toolBar->setFloatable(true);
    toolBar->setAllowedAreas(Qt::AllToolBarAreas);
    for (int id : toolBarCommands) {
        if (id == separator) {
            toolBar->addSeparator();
        } else {
            toolBar->addAction(Action(id));
        }
    }
    addToolBar(Qt::TopToolBarArea, toolBar);

    QAction* toggle = Action(command::viewToolbar);
    connect(toggle, &QAction::toggled, toolBar, &QWidget::setVisible);
    connect(toolBar, &QToolBar::visibilityChanged, toggle, &QAction::setChecked);
}

void CMainFrame::CreateStatusBar() {
    // The message pane shows "Ready" whenever no command prompt is shown over it.
    messagePane = new QLabel(QStringLiteral("Ready"), this);
    messagePane->setObjectName(QStringLiteral("messagePane"));
    // A long line (a send's report with its notes) takes a second line of the bar rather than
    // ending at the window's edge.
    messagePane->setWordWrap(true);
    statusBar()->addWidget(messagePane, 1);

    const struct {
        int id;
        const char* text;
    } panes[] = {{command::indicatorCaps, "CAP"},
                 {command::indicatorNum, "NUM"},
                 {command::indicatorScroll, "SCRL"}};
    for (const auto& pane : panes) {
        auto* label = new QLabel(this);
        label->setObjectName(QString::fromLatin1(pane.text));
        label->setAlignment(Qt::AlignCenter);
        label->setFrameShape(QFrame::Panel);
        label->setFrameShadow(QFrame::Sunken);
        // Room for the text whether shown or not, so the panes never move.
        label->setMinimumWidth(
            label->fontMetrics().horizontalAdvance(QString::fromLatin1(pane.text)) + 12);
        label->setProperty("indicatorText", QString::fromLatin1(pane.text));
        statusBar()->addPermanentWidget(label);
        indicators.insert(pane.id, label);
    }
    indicatorsAvailable = QueryLockKeys().has_value();
    if (indicatorsAvailable) {
        qApp->installEventFilter(this);
        UpdateIndicators();
    }
}

void CMainFrame::ShowStatus(const QString& text) {
    statusBar()->clearMessage(); // a prompt still shown would cover it
    messagePane->setText(text);
}

void CMainFrame::UpdateIndicators() {
    const auto keys = QueryLockKeys();
    const std::pair<int, bool> states[] = {{command::indicatorCaps, keys && keys->caps},
                                           {command::indicatorNum, keys && keys->num},
                                           {command::indicatorScroll, keys && keys->scroll}};
    for (const auto& [id, on] : states) {
        QLabel* label = indicators.value(id);
        label->setText(on ? label->property("indicatorText").toString() : QString());
    }
}

bool CMainFrame::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::KeyRelease:
    case QEvent::ApplicationStateChange:
        UpdateIndicators();
        break;
    default:
        break;
    }
    return QMainWindow::eventFilter(watched, event);
}

void CMainFrame::RebuildRecentFiles() {
    for (QAction* action : std::as_const(recentActions)) {
        fileMenu->removeAction(action);
        actions.remove(action->data().toInt());
        action->deleteLater();
    }
    recentActions.clear();

    const QStringList entries = recentFiles.Entries();
    if (entries.isEmpty()) {
        auto* placeholder = new QAction(QStringLiteral("Recent File"), this);
        placeholder->setData(command::fileMru1);
        placeholder->setEnabled(false);
        recentActions << placeholder;
    }
    for (int i = 0; i < entries.size(); ++i) {
        const QString& path = entries[i];
        const auto text = program::RecentFileList::MenuText(
            static_cast<std::size_t>(i), QDir::toNativeSeparators(path).toStdString());
        auto* action = new QAction(QString::fromStdString(text), this);
        action->setData(command::fileMru1 + i);
        action->setStatusTip(i == 0 ? QStringLiteral("Open this program")
                                    : QStringLiteral("Open this document"));
        connect(action, &QAction::triggered, this, [this, path] { OpenDocumentFile(path); });
        recentActions << action;
        actions.insert(command::fileMru1 + i, action);
    }
    fileMenu->insertActions(recentEnd, recentActions);
}

bool CMainFrame::OpenDocumentFile(const QString& path) {
    if (!doc.SaveModified()) {
        return false;
    }
    if (!doc.OnOpenDocument(path)) {
        // A file that no longer opens leaves the list, as it would offer it again and again.
        recentFiles.Remove(QFileInfo(path).absoluteFilePath());
        return false;
    }
    return true;
}

void CMainFrame::UpdateTitle() {
    // [*] shows while the program has unsaved changes.
    setWindowTitle(doc.Title() + QStringLiteral("[*] - ") + QString::fromLatin1(appTitle));
    setWindowModified(doc.IsModified());
}

void CMainFrame::OnHelpContents() {
    if (!help) {
        help = new HelpWindow(this);
    }
    help->show();
    help->raise();
    help->activateWindow();
}

void CMainFrame::OnAppAbout() {
    CAboutDlg about(this);
    about.exec();
}

void CMainFrame::closeEvent(QCloseEvent* event) {
    // Closing in the middle of a send would end the application in mid-message: the send is
    // cancelled first, if the user wants, and the window closes once it has stopped.
    if (doc.IsSending()) {
        event->ignore();
        if (!closeAfterSend &&
            QMessageBox::question(this, QStringLiteral("Velomire"),
                                  QStringLiteral("A transfer to the sampler is running. Cancel it "
                                                 "and close Velomire?")) == QMessageBox::Yes) {
            closeAfterSend = true;
            doc.CancelSend();
        }
        return;
    }
    if (doc.SaveModified()) {
        event->accept();
    } else {
        event->ignore();
    }
}

void CMainFrame::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (splash) {
        // The splash came up before the window had its place: centre it over the window now.
        splash->move(frameGeometry().center() - splash->rect().center());
    }
}

void CMainFrame::dragEnterEvent(QDragEnterEvent* event) {
    if (!DroppedProgramFiles(event->mimeData()).isEmpty() ||
        !DroppedInstrumentFiles(event->mimeData()).isEmpty() ||
        !DroppedSoundFiles(event->mimeData()).isEmpty()) {
        event->acceptProposedAction();
    }
}

void CMainFrame::dropEvent(QDropEvent* event) {
    const QStringList files = DroppedProgramFiles(event->mimeData());
    if (files.isEmpty()) {
        // An instrument is imported (one at a time: the first).
        const QStringList instruments = DroppedInstrumentFiles(event->mimeData());
        if (!instruments.isEmpty()) {
            event->acceptProposedAction();
            doc.OnImportInstrument(instruments.constFirst());
            return;
        }
        // Sound files dropped while the list cannot take them (no program yet).
        const QStringList sounds = DroppedSoundFiles(event->mimeData());
        if (!sounds.isEmpty()) {
            event->acceptProposedAction();
            doc.OnDropFiles(sounds);
        }
        return;
    }
    event->acceptProposedAction();
    // One document: the first program dropped is the one opened.
    OpenDocumentFile(files.constFirst());
}

} // namespace velomire::app
