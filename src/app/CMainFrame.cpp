#include "app/CMainFrame.h"

#include "app/CAboutDlg.h"
#include "app/CSplashWnd.h"
#include "app/HelpWindow.h"
#include "app/LockKeyState.h"
#include "app/RecentFiles.h"
#include "app/Resources.h"
#include "editing/ui/CVelomireView.h"
#include "program/RecentFileList.h"
#include "program/ui/CVelomireDoc.h"
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

#include <utility>

namespace velomire::app {
namespace {

// The program files among dropped URLs.
QStringList ProgramFiles(const QMimeData* data) {
    QStringList files;
    if (!data || !data->hasUrls()) {
        return files;
    }
    for (const QUrl& url : data->urls()) {
        const QString path = url.toLocalFile();
        if (!path.isEmpty() &&
            QFileInfo(path).suffix().compare(QStringLiteral("vmp"), Qt::CaseInsensitive) == 0) {
            files << path;
        }
    }
    return files;
}

} // namespace

CMainFrame::CMainFrame(program::CVelomireDoc& doc, RecentFiles& recentFiles, bool showSplash,
                       QWidget* parent)
    : QMainWindow(parent), doc(doc), recentFiles(recentFiles),
      view(new editing::CVelomireView(doc, this)) {
    InitResources();
    setWindowIcon(QIcon(QStringLiteral(":/images/velomire.png")));
    setCentralWidget(view);
    setAcceptDrops(true);
    resize(580, 420);

    CreateMenus();
    CreateToolBar();
    CreateStatusBar();

    connect(&doc, &program::CVelomireDoc::titleChanged, this, &CMainFrame::UpdateTitle);
    connect(&doc, &program::CVelomireDoc::sendEnded, this, [this] {
        if (std::exchange(closeAfterSend, false)) {
            QTimer::singleShot(0, this, &QWidget::close);
        }
    });
    connect(&doc, &program::CVelomireDoc::pathRecorded, &recentFiles, &RecentFiles::Add);
    connect(&recentFiles, &RecentFiles::changed, this, &CMainFrame::RebuildRecentFiles);
    UpdateTitle();

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

QAction* CMainFrame::AddCommand(int commandId, const QString& text, const QString& prompt,
                                const QString& toolTip, const QString& icon) {
    auto* action = new QAction(text, this);
    action->setData(commandId);
    if (!prompt.isEmpty()) {
        action->setStatusTip(prompt);
    }
    if (!toolTip.isEmpty()) {
        action->setToolTip(toolTip);
    }
    if (!icon.isEmpty()) {
        action->setIcon(QIcon(QStringLiteral(":/images/toolbar/") + icon + QStringLiteral(".png")));
    }
    actions.insert(commandId, action);
    return action;
}

void CMainFrame::CreateMenus() {
    using namespace command;
    QAction* fileNewAction = AddCommand(fileNew, QStringLiteral("&New program\tCtrl+N"),
                                        QStringLiteral("Create a new program"),
                                        QStringLiteral("New program"), QStringLiteral("new"));
    fileNewAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_N));
    QAction* fileOpenAction = AddCommand(fileOpen, QStringLiteral("&Open program\tCtrl+O"),
                                         QStringLiteral("Open an existing program"),
                                         QStringLiteral("Open program"), QStringLiteral("open"));
    fileOpenAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    QAction* fileSaveAction = AddCommand(fileSave, QStringLiteral("&Save program\tCtrl+S"),
                                         QStringLiteral("Save the active program"),
                                         QStringLiteral("Save program"), QStringLiteral("save"));
    fileSaveAction->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
    QAction* saveAsAction = AddCommand(fileSaveAs, QStringLiteral("Save program &As..."),
                                       QStringLiteral("Save the active program with a new name"),
                                       QStringLiteral("Save As"));
    QAction* openSampleAction = AddCommand(
        openSample, QStringLiteral("Open sample"), QStringLiteral("Open a sample (.wav file)"),
        QStringLiteral("Open sample"), QStringLiteral("open-sample"));
    QAction* exitAction = AddCommand(
        appExit, QStringLiteral("E&xit"),
        QStringLiteral("Quit the application; prompts to save program"), QStringLiteral("Exit"));
    QAction* addSamplesAction =
        AddCommand(addSamples, QStringLiteral("&Add Samples to the Program"),
                   QStringLiteral("Add samples to the program"), QStringLiteral("Add samples"),
                   QStringLiteral("add-samples"));
    QAction* sendAction = AddCommand(sendProgram, QStringLiteral("&Send Program+Samples thru midi"),
                                     QStringLiteral("Send Program and Samples"),
                                     QStringLiteral("Midi Send"), QStringLiteral("send"));
    QAction* optionsAction = AddCommand(options, QStringLiteral("&Options"), QString());
    QAction* toolbarAction =
        AddCommand(viewToolbar, QStringLiteral("&Toolbar"),
                   QStringLiteral("Show or hide the toolbar"), QStringLiteral("Toggle ToolBar"));
    QAction* statusBarAction = AddCommand(viewStatusBar, QStringLiteral("&Status Bar"),
                                          QStringLiteral("Show or hide the status bar"),
                                          QStringLiteral("Toggle StatusBar"));
    QAction* contentsAction = AddCommand(helpContents, QStringLiteral("&Contents"),
                                         QStringLiteral("displays the contents of the help file"),
                                         QString(), QStringLiteral("help"));
    QAction* aboutAction = AddCommand(
        appAbout, QStringLiteral("&About Velomire..."),
        QStringLiteral("Display program information and version number"), QStringLiteral("About"));
    QAction* nextPaneAction = AddCommand(nextPane, QStringLiteral("Next Pane"), QString());
    nextPaneAction->setShortcut(QKeySequence(Qt::Key_F6));
    QAction* previousPaneAction =
        AddCommand(previousPane, QStringLiteral("Previous Pane"), QString());
    previousPaneAction->setShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F6));
    // The window has no split panes to move between: the two accelerators do nothing.
    addAction(nextPaneAction);
    addAction(previousPaneAction);

    actions.insert(sampleParameters, view->ParametersAction());
    actions.insert(sampleLoopsEditor, view->LoopsEditorAction());

    toolbarAction->setCheckable(true);
    toolbarAction->setChecked(true);
    statusBarAction->setCheckable(true);
    statusBarAction->setChecked(true);

    fileMenu = menuBar()->addMenu(QStringLiteral("&File"));
    fileMenu->addAction(fileNewAction);
    fileMenu->addAction(fileOpenAction);
    fileMenu->addAction(fileSaveAction);
    fileMenu->addAction(saveAsAction);
    fileMenu->addSeparator();
    fileMenu->addAction(openSampleAction);
    fileMenu->addSeparator();
    recentEnd = fileMenu->addSeparator();
    fileMenu->addAction(exitAction);
    RebuildRecentFiles();

    QMenu* programMenu = menuBar()->addMenu(QStringLiteral("&Program"));
    programMenu->addAction(addSamplesAction);
    programMenu->addAction(sendAction);

    QMenu* sampleMenu = menuBar()->addMenu(QStringLiteral("&Sample"));
    sampleMenu->addAction(view->ParametersAction());
    sampleMenu->addAction(view->LoopsEditorAction());

    menuBar()->addAction(optionsAction);

    QMenu* viewMenu = menuBar()->addMenu(QStringLiteral("&View"));
    viewMenu->addAction(toolbarAction);
    viewMenu->addAction(statusBarAction);

    QMenu* helpMenu = menuBar()->addMenu(QStringLiteral("&Help"));
    helpMenu->addAction(contentsAction);
    helpMenu->addAction(aboutAction);

    connect(fileNewAction, &QAction::triggered, &doc, &program::CVelomireDoc::OnFileNew);
    connect(fileOpenAction, &QAction::triggered, &doc, &program::CVelomireDoc::OnFileOpen);
    connect(fileSaveAction, &QAction::triggered, &doc, &program::CVelomireDoc::OnFileSave);
    connect(saveAsAction, &QAction::triggered, &doc, &program::CVelomireDoc::OnFileSaveAs);
    connect(openSampleAction, &QAction::triggered, &doc, &program::CVelomireDoc::OnOpenSample);
    connect(exitAction, &QAction::triggered, this, &QWidget::close);
    connect(addSamplesAction, &QAction::triggered, &doc, &program::CVelomireDoc::OnAddSamples);
    connect(sendAction, &QAction::triggered, &doc, &program::CVelomireDoc::OnSendProgram);
    connect(optionsAction, &QAction::triggered, &doc, &program::CVelomireDoc::OnOptions);
    connect(statusBarAction, &QAction::toggled, this,
            [this](bool on) { statusBar()->setVisible(on); });
    connect(contentsAction, &QAction::triggered, this, &CMainFrame::OnHelpContents);
    connect(aboutAction, &QAction::triggered, this, &CMainFrame::OnAppAbout);
}

void CMainFrame::CreateToolBar() {
    using namespace command;
    toolBar = new QToolBar(QStringLiteral("Toolbar"), this);
    toolBar->setObjectName(QStringLiteral("toolBar"));
    toolBar->setIconSize(QSize(36, 36));
    toolBar->setMovable(true);
    toolBar->setFloatable(true);
    toolBar->setAllowedAreas(Qt::AllToolBarAreas);
    for (int id : {fileNew, fileOpen, openSample, addSamples, fileSave}) {
        toolBar->addAction(Action(id));
    }
    toolBar->addSeparator();
    toolBar->addAction(Action(sendProgram));
    toolBar->addSeparator();
    toolBar->addAction(Action(helpContents));
    addToolBar(Qt::TopToolBarArea, toolBar);

    QAction* toggle = Action(viewToolbar);
    connect(toggle, &QAction::toggled, toolBar, &QWidget::setVisible);
    connect(toolBar, &QToolBar::visibilityChanged, toggle, &QAction::setChecked);
}

void CMainFrame::CreateStatusBar() {
    // The message pane shows "Ready" whenever no command prompt is shown over it.
    messagePane = new QLabel(QStringLiteral("Ready"), this);
    messagePane->setObjectName(QStringLiteral("messagePane"));
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
        const QString path = entries[i];
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
    setWindowTitle(doc.Title() + QStringLiteral(" - ") + QString::fromLatin1(appTitle));
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
    if (!ProgramFiles(event->mimeData()).isEmpty()) {
        event->acceptProposedAction();
    }
}

void CMainFrame::dropEvent(QDropEvent* event) {
    const QStringList files = ProgramFiles(event->mimeData());
    if (files.isEmpty()) {
        return;
    }
    event->acceptProposedAction();
    // One document: the first program dropped is the one opened.
    OpenDocumentFile(files.constFirst());
}

} // namespace velomire::app
