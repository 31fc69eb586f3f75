#include "cli/commands/TransferCommand.h"

#include "cli/CliApp.h"
#include "cli/CliSupport.h"
#include "cli/StderrMessages.h"
#include "program/ProgramFile.h"
#include "transfer/IniSettingsStore.h"
#ifdef VELOMIRE_CLI_QT_SETTINGS
#include "transfer/ui/QtSettingsStore.h"
#endif

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
#ifdef VELOMIRE_CLI_QT_SETTINGS
    transfer::QtSettingsStore store;
#else
    transfer::IniSettingsStore store(transfer::IniSettingsStore::DefaultPath());
#endif
    transfer::SettingsReader reader(store);
    transfer::SamplerSettings settings = transfer::SamplerSettings::Read(reader);
    // Said once, before anything else happens; the values refused are left at their defaults.
    if (const std::string warning = reader.Warning(); !warning.empty()) {
        std::cerr << "velomire-cli: warning: " << TerminalText(warning) << '\n';
    }
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
