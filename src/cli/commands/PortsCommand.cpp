#include "cli/CliApp.h"
#include "cli/CliCommand.h"
#include "cli/StderrMessages.h"
#include "transfer/devices/SystemMidiDriver.h"
#include "transfer/devices/SystemMidiInDriver.h"

#include <CLI/CLI.hpp>

#include <iostream>

namespace velomire::cli {
namespace {

class PortsCommand : public CliCommand {
public:
    explicit PortsCommand(CLI::App& parent)
        : CliCommand(parent, "ports", "ports [--input]",
                     "list the MIDI output ports with their indices; with --input, the MIDI input "
                     "ports (where a sampler's answers come back)") {
        App().add_flag("--input", input, "list the input ports");
    }

    int Run() override {
        std::vector<std::string> names;
        if (input) {
            names = transfer::SystemMidiInDriver().PortNames();
        } else {
            names = transfer::SystemMidiDriver().PortNames();
        }
        if (names.empty()) {
            std::cerr << messagePrefix
                      << (input ? "no MIDI input port found\n" : "no MIDI output port found\n");
        }
        for (std::size_t i = 0; i < names.size(); ++i) {
            PrintLine(std::to_string(i) + ": " + names[i]);
        }
        return exitOk;
    }

private:
    bool input = false;
};

} // namespace

std::unique_ptr<CliCommand> MakePortsCommand(CLI::App& parent) {
    return std::make_unique<PortsCommand>(parent);
}

} // namespace velomire::cli
