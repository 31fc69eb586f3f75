#include "cli/commands/TransferCommand.h"

#include "cli/CliApp.h"
#include "cli/CliSupport.h"
#include "cli/StderrMessages.h"
#include "program/ProgramFile.h"

#include <CLI/CLI.hpp>

#include <iostream>
#include <utility>

namespace velomire::cli {

namespace fs = std::filesystem;

TransferCommand::TransferCommand(CLI::App& parent, std::string name, std::string synopsis,
                                 std::string summary)
    : CliCommand(parent, std::move(name), std::move(synopsis), std::move(summary)) {
    App().add_option("PROGRAM.vmp", programName, "the program file")->required();
    AddModelOption(model)->required();
}

void TransferCommand::AddOtherCommandsOption(const std::string& names, const std::string& problem) {
    AddChecked(
        names, "", "", [](const std::string&) { return false; }, problem)
        ->group("");
}

void TransferCommand::AddNumberOptions() {
    AddNumber("--program-number", "N",
              "programs already in the sampler (default: as the Send command proposes)",
              programNumber, 0, 65535);
    AddNumber("--sample-number", "N",
              "samples already in the sampler (default: as the Send command proposes)",
              sampleNumber, 0, 65535);
    AddNumber("--midi-channel", "C", "1..16 (default: the saved settings)", midiChannel, 1, 16);
    AddNumber("--exclusive-channel", "E", "1..128 (default: the saved settings)", exclusiveChannel,
              1, 128);
}

int TransferCommand::LoadProgram(fs::path& programPath,
                                 std::unique_ptr<program::Program>& program) const {
    if (const auto problem = SettingsFileProblem()) {
        return Refused(*problem);
    }
    std::error_code ec;
    programPath = fs::absolute(programName, ec);
    program = std::make_unique<program::Program>();
    const auto loaded = program::ProgramFile::LoadFile(programPath, *program);
    if (!loaded) {
        return Refused(FileProblem(programName, loaded));
    }
    return exitOk;
}

transfer::SamplerSettings
TransferCommand::ReadSettings(std::optional<std::int32_t> waitLimit) const {
    // Said once, before anything else happens.
    transfer::SamplerSettings settings = ReadSavedSettings();
    settings.samplerModel = *model;
    if (midiChannel) {
        settings.midiChannel = *midiChannel - 1;
    }
    if (exclusiveChannel) {
        settings.exclusiveChannel = *exclusiveChannel - 1;
    }
    if (waitLimit) {
        settings.waitLimit = *waitLimit;
    }
    return settings;
}

} // namespace velomire::cli
