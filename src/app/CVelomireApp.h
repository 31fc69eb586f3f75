#pragma once

#include "app/AppServices.h"
#include "transfer/ui/QtSettingsStore.h"

#include <QString>
#include <QStringList>

#include <memory>

namespace velomire::program {
class UserMessages;
} // namespace velomire::program

namespace velomire::app {

class CMainFrame;
class CVelomireDoc;
class FileDialogs;
class QtFileDialogs;
class QtMessages;
class RecentFiles;

// What the command line asks for.
struct StartOptions {
    bool splash = true;         // --no-splash turns it off
    QString programFile;        // a .vmp to open instead of starting empty
    QString screenshotFile;     // hidden --screenshot FILE: grab the painted window and quit
    bool reportStartUp = false; // hidden --startup-time: print the ms to the first paint, quit
};

// The application: its settings store, the recent-file list, the one document and the main
// window, put together in the start-up order: command line, recent files, document (which reads
// the settings) and frame (which shows the splash), then New or the program named on the command
// line, then the window.
class CVelomireApp {
public:
    explicit CVelomireApp(AppServices services = {});
    // Tests answer the message boxes and the file dialogs themselves.
    CVelomireApp(AppServices services, program::UserMessages& messages, FileDialogs& dialogs);
    ~CVelomireApp();
    CVelomireApp(const CVelomireApp&) = delete;
    CVelomireApp& operator=(const CVelomireApp&) = delete;

    static StartOptions ParseCommandLine(const QStringList& arguments);

    // The start-up sequence. False when the program file named on the command line cannot be
    // opened (after its message): the application ends.
    bool InitInstance(const QStringList& arguments);

    const StartOptions& Options() const { return options; }
    CMainFrame* MainFrame() const { return frame.get(); }
    CVelomireDoc* Document() const { return doc.get(); }
    RecentFiles& Recent() { return *recentFiles; }

private:
    AppServices services;
    transfer::QtSettingsStore store;
    std::unique_ptr<QtMessages> ownMessages;
    std::unique_ptr<QtFileDialogs> ownDialogs;
    program::UserMessages& messages;
    FileDialogs& dialogs;
    std::unique_ptr<RecentFiles> recentFiles;
    StartOptions options;
    std::unique_ptr<CVelomireDoc> doc;
    std::unique_ptr<CMainFrame> frame;
};

} // namespace velomire::app
