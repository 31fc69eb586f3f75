#include "app/CVelomireApp.h"

#include "app/CMainFrame.h"
#include "app/CVelomireDoc.h"
#include "app/FileDialogs.h"
#include "app/QtMessages.h"
#include "app/RecentFiles.h"

#include <QCommandLineParser>
#include <QFileInfo>

namespace velomire::app {

CVelomireApp::CVelomireApp(AppServices services)
    : services(std::move(services)), ownMessages(std::make_unique<QtMessages>()),
      ownDialogs(std::make_unique<QtFileDialogs>()), messages(*ownMessages), dialogs(*ownDialogs) {}

CVelomireApp::CVelomireApp(AppServices services, program::UserMessages& messages,
                           FileDialogs& dialogs)
    : services(std::move(services)), messages(messages), dialogs(dialogs) {}

CVelomireApp::~CVelomireApp() {
    // The frame's widgets refer to the document: the window goes first.
    frame.reset();
    doc.reset();
}

StartOptions CVelomireApp::ParseCommandLine(const QStringList& arguments) {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Assembles programs of WAV samples and sends them to a hardware sampler."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption noSplash(QStringLiteral("no-splash"),
                                      QStringLiteral("Start without the splash picture."));
    QCommandLineOption screenshot(QStringLiteral("screenshot"),
                                  QStringLiteral("Save a picture of the main window and quit."),
                                  QStringLiteral("file"));
    screenshot.setFlags(QCommandLineOption::HiddenFromHelp);
    QCommandLineOption startUpTime(QStringLiteral("startup-time"),
                                   QStringLiteral("Print the start-up time in ms and quit."));
    startUpTime.setFlags(QCommandLineOption::HiddenFromHelp);
    parser.addOption(noSplash);
    parser.addOption(screenshot);
    parser.addOption(startUpTime);
    parser.addPositionalArgument(QStringLiteral("program"),
                                 QStringLiteral("A Velomire program (.vmp) to open."),
                                 QStringLiteral("[program]"));
    parser.process(arguments);

    StartOptions result;
    result.splash = !parser.isSet(noSplash);
    // Absolute now: opening a program makes its directory the working directory.
    if (parser.isSet(screenshot)) {
        result.screenshotFile = QFileInfo(parser.value(screenshot)).absoluteFilePath();
    }
    result.reportStartUp = parser.isSet(startUpTime);
    if (!parser.positionalArguments().isEmpty()) {
        result.programFile =
            QFileInfo(parser.positionalArguments().constFirst()).absoluteFilePath();
    }
    return result;
}

bool CVelomireApp::InitInstance(const QStringList& arguments) {
    // 1. The command line, and with it whether the splash is shown.
    options = ParseCommandLine(arguments);

    // 2-3. The recent-file list, in a file of its own beside the settings.
    recentFiles = std::make_unique<RecentFiles>(RecentFiles::FileNameBeside(store.FileName()));

    // 4. The document (reading the settings) and the main window with its view and splash.
    // The shell learns the file type from the installed desktop entry and MIME type (res/).
    doc = std::make_unique<CVelomireDoc>(store, messages, dialogs, services);
    frame = std::make_unique<CMainFrame>(*doc, *recentFiles, options.splash);
    doc->SetWindow(frame.get());
    if (ownMessages) {
        ownMessages->SetParent(frame.get());
        ownDialogs->SetParent(frame.get());
    }

    // 6. New without a dialog, or the program named on the command line.
    if (options.programFile.isEmpty()) {
        doc->OnNewDocument();
    } else {
        if (!doc->OnOpenDocument(options.programFile)) {
            return false;
        }
        doc->EndStartUp();
    }

    // 7. The window; it takes dropped program files.
    frame->show();
    return true;
}

} // namespace velomire::app
