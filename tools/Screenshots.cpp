// Takes the user guide's pictures of the two editors, on the bundled demo: the Sample Editor of
// the stereo pad with its key range and outputs, and the Loop Editor of the same pad with loop 1
// chosen and the play cursor inside it; and Export disk image for the S950's high-density floppy.
// Run by scripts/screenshots.sh on a virtual X display.
// Usage: velomire-screenshots DEMO_DIRECTORY OUTPUT_DIRECTORY

#include "app/ExportImageDlg.h"
#include "app/FileDialogs.h"
#include "editing/AudioOutput.h"
#include "editing/ui/CLoopEditorDlg.h"
#include "editing/ui/CSampleEditorDlg.h"
#include "program/Program.h"
#include "program/ProgramFile.h"
#include "transfer/SamplerModel.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QTimer>

#include <cstdio>
#include <filesystem>
#include <memory>

namespace {

using namespace velomire;

class PrintMessages : public program::UserMessages {
public:
    void Show(std::string_view text, std::string_view caption) override {
        std::fprintf(stderr, "%.*s: %.*s\n", static_cast<int>(caption.size()), caption.data(),
                     static_cast<int>(text.size()), text.data());
    }
};

// An output that plays nothing and reports a third of the loop as played, so the picture shows
// the cursor inside the loop.
class PictureOutput : public editing::AudioOutput {
public:
    std::vector<std::string> DeviceNames() override { return {"Picture"}; }
    editing::AudioStatus Open(int, std::uint32_t) override {
        open = true;
        return {};
    }
    bool IsOpen() const override { return open; }
    editing::AudioStatus Queue(std::uint64_t, std::span<const std::int16_t>) override { return {}; }
    void Reset() override {}
    std::uint64_t SamplesPlayed() const override { return played; }
    void Close() override { open = false; }

    bool open = false;
    std::uint64_t played = 0;
};

void Click(QWidget& dialog, const QString& text) {
    for (auto* button : dialog.findChildren<QAbstractButton*>()) {
        if (button->text() == text) {
            button->click();
            return;
        }
    }
}

// Shows the dialog, lets it paint, and saves its picture.
bool Save(QWidget& dialog, const QDir& out, const char* name) {
    dialog.show();
    QElapsedTimer painted;
    painted.start();
    while (painted.elapsed() < 500) {
        QApplication::processEvents(QEventLoop::AllEvents, 50);
    }
    const QString path = out.filePath(QString::fromLatin1(name));
    if (!dialog.grab().save(path)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    std::printf("wrote %s\n", qPrintable(path));
    return true;
}

} // namespace

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: velomire-screenshots DEMO_DIRECTORY OUTPUT_DIRECTORY\n");
        return 2;
    }
    const std::filesystem::path demo = std::filesystem::absolute(argv[1]);
    const QDir out(QString::fromLocal8Bit(argv[2]));
    QDir().mkpath(out.path());

    auto program = std::make_unique<program::Program>();
    if (!program::ProgramFile::LoadFile(demo / "demo.vmp", *program)) {
        std::fprintf(stderr, "cannot read %s\n", (demo / "demo.vmp").c_str());
        return 1;
    }
    program->programDirectory = demo;
    program::SampleEntry* pad = nullptr;
    for (int i = 0; i < program->sampleCount; ++i) {
        auto& entry = program->samples[static_cast<std::size_t>(i)];
        if (program::FieldText(entry.sample.fileName) == "pad.wav") {
            pad = &entry;
        }
    }
    if (pad == nullptr) {
        std::fprintf(stderr, "the demo has no pad.wav\n");
        return 1;
    }

    bool ok = true;
    {
        editing::CSampleEditorDlg editor(pad->sample, pad->keygroup);
        ok = Save(editor, out, "sample-editor.png") && ok;
    }
    PrintMessages messages;
    {
        app::QtFileDialogs dialogs;
        app::ExportImageDlg exportImage(*program, transfer::SamplerModel::s950, dialogs, messages);
        exportImage.MediumBox()->setCurrentIndex(1);
        ok = Save(exportImage, out, "export-disk-image.png") && ok;
    }
    PictureOutput output;
    editing::CLoopEditorDlg loops(pad->sample, demo, editing::AudioOutput::defaultDevice, output,
                                  messages);
    if (!loops.Opened()) {
        return 1;
    }
    loops.show();
    Click(loops, QStringLiteral("Loop 1"));
    Click(loops, QStringLiteral("P l a y"));
    output.played = static_cast<std::uint64_t>(loops.Model().Figures().length / 3);
    ok = Save(loops, out, "loop-editor.png") && ok;
    return ok ? 0 : 1;
}
