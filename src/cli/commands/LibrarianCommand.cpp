#include "cli/commands/LibrarianCommand.h"

#include "cli/CliApp.h"
#include "cli/CliSupport.h"
#include "cli/StderrMessages.h"
#include "transfer/MidiInPort.h"
#include "transfer/MidiOutPort.h"
#include "transfer/SamplerModel.h"
#include "transfer/devices/SystemMidiDriver.h"
#include "transfer/devices/SystemMidiInDriver.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <iostream>
#include <string>
#include <utility>

namespace velomire::cli {

namespace {

// A signal cancels. The progress of the item on its way is shown on stderr where a person
// watches a terminal; stdout keeps only the command's result.
class SignalProgress : public transfer::LibrarianProgress {
public:
    SignalProgress() : onTerminal(StderrIsTerminal()) {}
    ~SignalProgress() override { WipeProgressLine(); }
    SignalProgress(const SignalProgress&) = delete;
    SignalProgress& operator=(const SignalProgress&) = delete;

    void Progress(std::uint64_t done, std::uint64_t total) override {
        if (!onTerminal || total == 0) {
            return;
        }
        const auto percent = static_cast<int>(std::min(done, total) * 100 / total);
        if (percent != shownPercent) {
            shownPercent = percent;
            ShowProgressLine("  " + std::to_string(percent) + " %");
        }
    }
    bool Cancelled() override { return stopSignal != 0; }

private:
    bool onTerminal;
    int shownPercent = -1;
};

} // namespace

LibrarianCommand::LibrarianCommand(CLI::App& parent, std::string name, std::string synopsis,
                                   std::string summary)
    : CliCommand(parent, std::move(name), std::move(synopsis), std::move(summary)) {
    AddModelOption(model)->required();
    App()
        .add_option("--port", portName,
                    "the MIDI output port to the sampler: an index, or a part of a port name "
                    "only one port has (see velomire-cli ports)")
        ->type_name("P")
        ->required();
    App()
        .add_option("--reply-port", replyPortName,
                    "the MIDI input port the sampler answers through (see velomire-cli ports "
                    "--input)")
        ->type_name("Q")
        ->required();
    AddNumber("--midi-channel", "C", "1..16 (default: the saved settings)", midiChannel, 1, 16);
    AddNumber("--exclusive-channel", "E", "1..128 (default: the saved settings)", exclusiveChannel,
              1, 128);
}

CLI::Option* LibrarianCommand::AddProbeOption() {
    return AddChecked(
        "--probe", "FIRST-LAST", "SDS: the sample numbers asked about (default 0-31)",
        [this](const std::string& text) {
            constexpr int highest = 16383; // two 7-bit bytes
            const std::size_t dash = text.find('-');
            if (dash == std::string::npos || dash == 0 || dash + 1 == text.size() ||
                text.find_first_not_of("0123456789-") != std::string::npos ||
                text.find('-', dash + 1) != std::string::npos || dash > 5 ||
                text.size() - dash - 1 > 5) {
                return false;
            }
            const int first = std::stoi(text.substr(0, dash));
            const int last = std::stoi(text.substr(dash + 1));
            if (first > last || last > highest) {
                return false;
            }
            probeFirst = first;
            probeLast = last;
            return true;
        },
        "--probe takes a range of sample numbers such as 0-99, from 0 to 16383");
}

int LibrarianCommand::WithLibrarian(
    const std::function<int(transfer::Librarian&, transfer::LibrarianProgress&)>& work) {
    if (const auto problem = SettingsFileProblem()) {
        return Refused(*problem);
    }
    transfer::SamplerSettings settings = ReadSavedSettings();
    StderrMessages messages;
    transfer::SystemMidiDriver driver;
    transfer::SystemMidiInDriver inDriver;
    transfer::SteadyWaitClock clock;
    transfer::MidiOutPort out(driver, clock, messages);
    transfer::MidiInPort in(inDriver, clock);
    const transfer::LibrarianPorts ports{out,
                                         in,
                                         midiChannel ? *midiChannel - 1 : settings.midiChannel,
                                         exclusiveChannel ? *exclusiveChannel - 1
                                                          : settings.exclusiveChannel,
                                         probeFirst,
                                         probeLast};
    const auto librarian = transfer::MakeLibrarian(*model, ports);
    const std::string modelName(
        transfer::SamplerModel::All()[static_cast<std::size_t>(*model)].longName);
    if (!librarian) {
        return Refused(modelName + ": cannot be read back yet");
    }
    if (const auto refusal = Refusal(*librarian)) {
        return Refused(modelName + ": " + *refusal);
    }
    std::vector<std::string> names;
    const auto outPort = FindPortSoon(driver, portName, names);
    if (!outPort) {
        return Refused("no single MIDI output port matches '" + portName +
                       "' (see velomire-cli ports)");
    }
    const auto inPort = FindPortSoon(inDriver, replyPortName, names);
    if (!inPort) {
        return Refused("no single MIDI input port matches '" + replyPortName +
                       "' (see velomire-cli ports --input)");
    }
    if (!out.Open(*outPort)) {
        return exitRefused; // told by the port
    }
    if (const transfer::MidiStatus opened = in.Open(*inPort); !opened) {
        out.Close();
        return Refused(opened.detail.empty() ? opened.text
                                             : opened.text + " (" + opened.detail + ")");
    }
    int status = exitRefused;
    {
        const StopSignalsCancel cancelOnSignal;
        SignalProgress progress;
        status = work(*librarian, progress);
    }
    in.Close();
    out.Close();
    return status;
}

int LibrarianCommand::Ending(const transfer::LibrarianResult& result) {
    using Outcome = transfer::LibrarianResult::Outcome;
    if (result.outcome == Outcome::cancelled && stopSignal != 0) {
        Refused(result.text.empty() ? "interrupted" : result.text);
        return 128 + stopSignal;
    }
    if (result.outcome == Outcome::done) {
        if (result.text.empty()) {
            return exitOk;
        }
        std::cerr << messagePrefix << "warning: " << TerminalText(result.text) << '\n';
        return exitWarning;
    }
    return Refused(result.text.empty() ? "the sampler did not answer" : result.text);
}

} // namespace velomire::cli
