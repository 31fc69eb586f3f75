#include "cli/CliApp.h"
#include "cli/CliCommand.h"
#include "cli/CliSupport.h"
#include "cli/ProgramJson.h"
#include "program/Program.h"
#include "program/ProgramFile.h"

#include <CLI/CLI.hpp>

#include <iostream>

namespace velomire::cli {
namespace {

class InfoCommand : public CliCommand {
public:
    explicit InfoCommand(CLI::App& parent)
        : CliCommand(parent, "info", "info PROGRAM.vmp [--json]",
                     "print every stored field of a program, as text or, with --json, as JSON") {
        App().add_option("PROGRAM.vmp", path, "the program file")->required();
        App().add_flag("--json", json, "print JSON");
    }

    int Run() override {
        auto program = std::make_unique<program::Program>();
        const auto result = program::ProgramFile::LoadFile(path, *program);
        if (!result) {
            return Refused(FileProblem(path, result));
        }
        const auto data = ProgramToJson(*program);
        if (json) {
            std::cout << data.dump(2) << '\n';
        } else {
            std::cout << JsonToText(data);
        }
        return exitOk;
    }

private:
    std::string path;
    bool json = false;
};

} // namespace

std::unique_ptr<CliCommand> MakeInfoCommand(CLI::App& parent) {
    return std::make_unique<InfoCommand>(parent);
}

} // namespace velomire::cli
