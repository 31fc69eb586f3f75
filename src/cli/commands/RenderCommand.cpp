#include "cli/CliApp.h"
#include "cli/CliSendUi.h"
#include "cli/CliSupport.h"
#include "cli/StderrMessages.h"
#include "cli/commands/TransferCommand.h"
#include "transfer/CaptureMidiDriver.h" // StreamMidiDriver
#include "transfer/MidiOutPort.h"
#include "transfer/SendCommand.h"

#include <CLI/CLI.hpp>

#include <fstream>

namespace velomire::cli {
namespace {

namespace fs = std::filesystem;

// Writes the bytes a send would put on the wire into a file, without waits and without a device.
class RenderCommand : public TransferCommand {
public:
    explicit RenderCommand(CLI::App& parent)
        : TransferCommand(parent, "render", "render PROGRAM.vmp --model M -o OUT.syx [options]",
                          "write the bytes a send would put on the wire into OUT.syx, without "
                          "waits and without a device") {
        App()
            .add_option("-o", outName, "the file to write (an earlier render is replaced)")
            ->type_name("OUT.syx")
            ->required();
        AddNumberOptions();
        AddAllowRateOption(allowRate);
        for (const char* name : {"--port", "--trace", "--reply-port", "--wait-limit"}) {
            AddOtherCommandsOption(name, "render uses no port: use send --port");
        }
    }

    int Run() override;

private:
    std::string outName;
    bool allowRate = false;
};

} // namespace

int RenderCommand::Run() {
    fs::path programPath;
    std::unique_ptr<program::Program> program;
    if (const int loaded = LoadProgram(programPath, program); loaded != exitOk) {
        return loaded;
    }
    std::error_code ec;
    const fs::path outPath = fs::absolute(outName, ec);
    bool isInput = SameFile(outPath, programPath);
    for (int i = 0; i < program->sampleCount; ++i) {
        const std::string name =
            program::FieldText(program->samples[static_cast<std::size_t>(i)].sample.fileName);
        isInput = isInput || SameFile(outPath, programPath.parent_path() / name);
    }
    if (isInput) {
        return Refused(outName + ": is an input of the render; nothing was written");
    }
    if (const auto why = ProtectedTarget(outPath, false)) {
        return Refused(outName + ": " + *why + "; nothing was written");
    }
    program->SetProgramPath(programPath, false);
    transfer::SamplerSettings settings = ReadSettings(std::nullopt);

    // Streamed to a file beside the output, which takes its place only when all went well: a
    // refused or failed render leaves an existing output as it was.
    StderrMessages messages;
    CliSendUi ui(false, programNumber, sampleNumber);
    fs::path partPath = outPath;
    partPath += ".part";
    std::ofstream out(partPath, std::ios::binary | std::ios::trunc);
    if (!out) {
        return Refused(outPath.string() + ": Error: Can't write File !");
    }
    transfer::StreamMidiDriver stream(out);
    transfer::InstantWaitClock clock;
    transfer::MidiOutPort midiPort(stream, clock, messages);
    settings.midiOutDevice = 0;
    settings.midiOutName.clear();
    using Outcome = transfer::SendCommand::Outcome;
    const Outcome outcome =
        transfer::SendCommand(*program, settings, midiPort, messages, ui).OnSendProgram();
    out.close();
    const bool rendered = outcome == Outcome::sent && messages.Count() == 0;
    ec.clear();
    if (rendered && out) {
        fs::rename(partPath, outPath, ec);
    }
    if (!rendered || !out || ec) {
        std::error_code ignored;
        fs::remove(partPath, ignored);
        if (rendered) {
            return Refused(outPath.string() + ": Error: Can't write File !");
        }
    }
    if (!rendered) {
        return Refused("render refused: " + programName);
    }
    return WarnOffPitch(*program, settings.samplerModel, allowRate);
}

std::unique_ptr<CliCommand> MakeRenderCommand(CLI::App& parent) {
    return std::make_unique<RenderCommand>(parent);
}

} // namespace velomire::cli
