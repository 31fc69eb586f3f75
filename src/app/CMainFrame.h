#pragma once

#include <QHash>
#include <QList>
#include <QMainWindow>
#include <QPointer>

class QAction;
class QLabel;
class QMenu;
class QToolBar;

namespace velomire::app {

class CSplashWnd;
class CVelomireDoc;
class CVelomireView;
class HelpWindow;
class RecentFiles;

// The main window: the menu (every command carries its id), the movable and floatable toolbar,
// the status bar with the message pane and the CAP, NUM and SCRL indicators, and the sample list
// as its only view. Commands go to the document or the view; closing asks to save a modified
// program; a program file dropped on the window is opened.
class CMainFrame : public QMainWindow {
    Q_OBJECT

public:
    static constexpr const char* appTitle = "Velomire 98.05";

    CMainFrame(CVelomireDoc& doc, RecentFiles& recentFiles, bool showSplash,
               QWidget* parent = nullptr);
    ~CMainFrame() override;

    // The action of a command id (menu, toolbar, accelerator), or null.
    QAction* Action(int commandId) const { return actions.value(commandId); }
    QList<QAction*> RecentFileActions() const { return recentActions; }
    CVelomireView* View() const { return view; }
    QToolBar* ToolBar() const { return toolBar; }
    QLabel* MessagePane() const { return messagePane; }
    QLabel* Indicator(int commandId) const { return indicators.value(commandId); }
    CSplashWnd* Splash() const;
    HelpWindow* Help() const;

    void OnHelpContents();
    void OnAppAbout();
    // File > Export disk image... for the sampler chosen in Options.
    void OnExportDiskImage();
    // Opens a program file as the File menu, the command line and a drop do: save prompt first.
    bool OpenDocumentFile(const QString& path);

protected:
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void CreateMenus();
    void CreateToolBar();
    void CreateStatusBar();
    // The line of how things stand ("Sent 3 samples ..."), whole, until the next one; menu
    // prompts show over it while they last.
    void ShowStatus(const QString& text);
    void RebuildRecentFiles();
    void UpdateTitle();
    void UpdateIndicators();

    CVelomireDoc& doc;
    RecentFiles& recentFiles;
    CVelomireView* view;
    QToolBar* toolBar = nullptr;
    QLabel* messagePane = nullptr;
    QMenu* fileMenu = nullptr;
    QAction* recentEnd = nullptr; // the separator after the recent files
    QList<QAction*> recentActions;
    QHash<int, QAction*> actions;
    QHash<int, QLabel*> indicators;
    QPointer<CSplashWnd> splash;
    QPointer<HelpWindow> help;
    bool indicatorsAvailable = false;
    // The user chose to cancel a running send and close: the window closes once it has ended.
    bool closeAfterSend = false;
};

} // namespace velomire::app
