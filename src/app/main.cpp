// The Velomire desktop application.

#include "app/AppServices.h"
#include "app/CMainFrame.h"
#include "app/CVelomireApp.h"
#include "app/CVelomireDoc.h"
#include "app/CVelomireView.h"
#include "app/FirstPaint.h"
#include "app/SingleInstance.h"
#include "app/WavPreview.h"
#include "editing/devices/SystemAudioOutput.h"
#include "editing/ui/CLoopEditorDlg.h"
#include "editing/ui/CSampleEditorDlg.h"
#include "ui/QtText.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QIcon>
#include <QTimer>

#include <cstdio>

int main(int argc, char** argv) {
    QElapsedTimer sinceStart;
    sinceStart.start();

    QApplication application(argc, argv);
    QApplication::setApplicationName(velomire::app::FromStd(velomire::program::appCaption));
    QApplication::setApplicationVersion(QStringLiteral("98.05"));
    QApplication::setDesktopFileName(QStringLiteral("velomire"));

    using namespace velomire;

    // A program opened from the file manager while Velomire runs goes to the running one.
    const app::StartOptions startOptions =
        app::CVelomireApp::ParseCommandLine(QApplication::arguments());
    const bool sharedStart = startOptions.screenshotFile.isEmpty() && !startOptions.reportStartUp;
    app::SingleInstance instance;
    if (sharedStart && !startOptions.programFile.isEmpty() &&
        instance.SendToRunning(QFileInfo(startOptions.programFile).absoluteFilePath())) {
        return 0;
    }

    // The audio outputs: listed for Options, and the file preview of Select Samples, made once
    // the document (its messages and settings) exists.
    std::unique_ptr<app::WavPreview> preview;
    app::AppServices services;
    services.audioOutputNames = [] { return editing::MakeSystemAudioOutput()->DeviceNames(); };
    services.play = [&preview](const std::string& name) {
        return preview ? preview->Play(name) : -1;
    };
    app::CVelomireApp app(std::move(services));
    if (!app.InitInstance(QApplication::arguments())) {
        return 1;
    }
    app::CVelomireDoc& doc = *app.Document();
    // The preview plays on the wave output chosen in Options, or the system's default one.
    preview = std::make_unique<app::WavPreview>(editing::MakeSystemAudioOutput(), doc.Messages(),
                                                [&doc] { return doc.Settings().waveOutDevice; });

    // Lives as long as main(): the retries below refer to it.
    std::function<void(const QString&)> openHandedOver;
    if (sharedStart) {
        openHandedOver = [&app, &openHandedOver](const QString& path) {
            // An editor, a dialog or a send in progress keeps the request until it is done.
            if (QApplication::activeModalWidget() != nullptr) {
                QTimer::singleShot(500, [&openHandedOver, path] { openHandedOver(path); });
                return;
            }
            app::CMainFrame* frame = app.MainFrame();
            frame->OpenDocumentFile(path);
            frame->raise();
            frame->activateWindow();
        };
        instance.Listen(openHandedOver);
    }

    // The two editors, run modally on the document's working copy of the focused row.
    app::CVelomireView* view = app.MainFrame()->View();
    view->SetSampleEditor([&doc](QWidget* parent, program::SampleEntry& editEntry) {
        editing::CSampleEditorDlg editor(editEntry.sample, editEntry.keygroup,
                                         doc.Settings().samplerModel, parent);
        editor.exec(); // every change is already in editEntry, however the editor closes
    });
    view->SetLoopEditor(
        [&doc](QWidget* parent, program::SampleEntry& editEntry, int waveOutDevice) {
            // An output of its own for each run: the device opens at the first "P l a y" and
            // closes when the editor ends, however it ends.
            const std::unique_ptr<editing::AudioOutput> output = editing::MakeSystemAudioOutput();
            editing::CLoopEditorDlg::Run(editEntry.sample, doc.GetProgram().programDirectory,
                                         waveOutDevice, *output, doc.Messages(), parent);
        });
    QApplication::setWindowIcon(app.MainFrame()->windowIcon());

    const auto& options = app.Options();
    QWidget* list = app.MainFrame()->View()->viewport();
    if (options.reportStartUp) {
        new velomire::app::FirstPaint(list, [&sinceStart] {
            std::printf("start-up to first paint: %lld ms\n",
                        static_cast<long long>(sinceStart.elapsed()));
            std::fflush(stdout);
            QApplication::quit();
        });
    } else if (!options.screenshotFile.isEmpty()) {
        new velomire::app::FirstPaint(list, [&app, file = options.screenshotFile] {
            // Give the window manager and the style a moment to settle before grabbing.
            QTimer::singleShot(500, [&app, file] {
                const bool saved = app.MainFrame()->grab().save(file);
                QApplication::exit(saved ? 0 : 1);
            });
        });
    }
    return application.exec();
}
