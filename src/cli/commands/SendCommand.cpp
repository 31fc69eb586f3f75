#include "transfer/SendCommand.h"
#include "cli/CliApp.h"
#include "cli/CliSendUi.h"
#include "cli/CliSupport.h"
#include "cli/StderrMessages.h"
#include "cli/commands/TransferCommand.h"
#include "transfer/MidiInPort.h"
#include "transfer/MidiOutPort.h"
#include "transfer/SamplerModel.h"
#include "transfer/devices/SystemMidiDriver.h"
#include "transfer/devices/SystemMidiInDriver.h"

#include <CLI/CLI.hpp>

#include <iostream>

namespace velomire::cli {
namespace {

namespace fs = std::filesystem;

// Sends the program to a sampler through a MIDI output port, paced at MIDI speed.
class SendCommand : public TransferCommand {
public:
    explicit SendCommand(CLI::App& parent)
        : TransferCommand(
              parent, "send",
              "send PROGRAM.vmp --model M --port P [--reply-port Q [--wait-limit S] "
              "[--overwrite]]\n"
              "                         [options] [--trace FILE]",
              "send the program to a sampler through a MIDI output port, paced at MIDI speed "
              "(default: the saved Midi Out device, and its Midi In device); with --reply-port, "
              "closed-loop: the sampler's answers come in through MIDI input port Q") {
        App()
            .add_option("--port", portName,
                        "a port index, or a part of a port name only one port has (see "
                        "velomire-cli ports)")
            ->type_name("P");
        App()
            .add_option("--reply-port", replyPortName,
                        "closed loop: the sampler's answers come in through MIDI input port Q "
                        "(see velomire-cli ports --input)")
            ->type_name("Q");
        App().add_flag("--overwrite", overwrite,
                       "closed loop: send also onto program and sample numbers the sampler says "
                       "it holds (without it, such a send is refused, naming them)");
        AddNumber("--wait-limit", "S",
                  "closed loop: a WAIT from the sampler holds the send for at most S seconds, "
                  "1..3600 (default: the saved settings, 60)",
                  waitLimit, transfer::waitLimitRange.min, transfer::waitLimitRange.max);
        App()
            .add_option("--trace", traceName, "also copy every message sent into FILE")
            ->type_name("FILE");
        AddNumberOptions();
        AddAllowRateOption(allowRate);
        AddOtherCommandsOption("-o", "send writes no file: use render -o");
    }

    int Run() override;

private:
    std::string portName;
    std::string replyPortName;
    std::string traceName;
    std::optional<std::int32_t> waitLimit;
    bool allowRate = false;
    bool overwrite = false;
};

} // namespace

int SendCommand::Run() {
    fs::path programPath;
    std::unique_ptr<program::Program> program;
    if (const int loaded = LoadProgram(programPath, program); loaded != exitOk) {
        return loaded;
    }
    std::error_code ec;
    const fs::path tracePath = traceName.empty() ? fs::path() : fs::absolute(traceName, ec);
    program->SetProgramPath(programPath, false);
    transfer::SamplerSettings settings = ReadSettings(waitLimit);
    if (portName.empty() && settings.midiOutDevice < 0) {
        return UsageError("send needs --port: no Midi Out device is saved in the settings");
    }

    StderrMessages messages;
    CliSendUi ui(true, programNumber, sampleNumber);
    ui.AllowOverwrite(overwrite);
    // Without --port the program goes where the desktop application would send it: to the saved
    // ports, found by their names, and refused when one is not there.
    transfer::SystemMidiDriver driver;
    if (!portName.empty()) {
        std::vector<std::string> names;
        const auto port = FindPortSoon(driver, portName, names);
        if (!port) {
            return Refused("no single MIDI output port matches '" + portName +
                           "' (see velomire-cli ports)");
        }
        settings.midiOutDevice = *port;
        settings.midiOutName = names[static_cast<std::size_t>(*port)];
        // One-way unless the answers have a port to come back through.
        settings.midiInDevice = -1;
        settings.midiInName.clear();
    }
    transfer::SteadyWaitClock clock;
    transfer::MidiOutPort midiPort(driver, clock, messages);
    transfer::SystemMidiInDriver inDriver;
    transfer::MidiInPort replyPort(inDriver, clock);
    if (!replyPortName.empty()) {
        std::vector<std::string> names;
        const auto in = FindPortSoon(inDriver, replyPortName, names);
        if (!in) {
            return Refused("no single MIDI input port matches '" + replyPortName +
                           "' (see velomire-cli ports --input)");
        }
        settings.midiInDevice = *in;
        settings.midiInName = names[static_cast<std::size_t>(*in)];
    }
    if (!traceName.empty()) {
        program->traceMode = 1;
        midiPort.SetTracePath(tracePath);
    }
    const StopSignalsCancel cancelOnSignal;
    const auto cancelOnStop = [&midiPort] {
        if (stopSignal != 0) {
            midiPort.RequestCancel();
        }
    };
    midiPort.SetIdleHook(cancelOnStop);
    replyPort.SetIdleHook(cancelOnStop); // a signal also ends a wait for the sampler
    transfer::SendCommand sendCommand(*program, settings, midiPort, messages, ui);
    sendCommand.SetReplyPort(&replyPort);
    // As the desktop application does: the sampler says what it holds before the numbers are
    // chosen, and the numbers in use are not overwritten unasked.
    sendCommand.SetLibrarianFactory(transfer::MakeLibrarian);
    using Outcome = transfer::SendCommand::Outcome;
    const Outcome outcome = sendCommand.OnSendProgram();
    // The ending has been told in one line already. A send the user interrupted is reported as
    // interrupted also when the device failed meanwhile (a frozen JACK server).
    if ((outcome == Outcome::interrupted || outcome == Outcome::stopped) && stopSignal != 0) {
        return 128 + stopSignal;
    }
    if (outcome == Outcome::interrupted || outcome == Outcome::stopped) {
        return exitRefused;
    }
    // One ending: the report when everything went out unrefused, with its warnings if any;
    // otherwise a refusal.
    const bool done = outcome == Outcome::sent || outcome == Outcome::sentWithWarning;
    if (done && messages.Count() == 0) {
        std::cout << sendCommand.Report() << '\n' << std::flush;
        for (const std::string& warning : sendCommand.Warnings()) {
            std::cerr << "velomire-cli: " << TerminalText(warning) << '\n';
        }
        const int offPitch = WarnOffPitch(*program, settings.samplerModel, allowRate);
        return outcome == Outcome::sent ? offPitch : exitWarning;
    }
    return Refused("send refused: " + programName);
}

std::unique_ptr<CliCommand> MakeSendCommand(CLI::App& parent) {
    return std::make_unique<SendCommand>(parent);
}

} // namespace velomire::cli
