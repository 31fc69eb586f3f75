#pragma once

#include "cli/CliCommand.h"
#include "program/Program.h"
#include "transfer/SamplerSettings.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>

namespace velomire::cli {

// What render and send share: the program, the model, the numbers and channels, and the settings
// the desktop application saved, with the options laid over them.
class TransferCommand : public CliCommand {
protected:
    TransferCommand(CLI::App& parent, std::string name, std::string synopsis, std::string summary);

    // --program-number, --sample-number, --midi-channel, --exclusive-channel; declared after the
    // command's own options, as its help lists them.
    void AddNumberOptions();

    // An option of the other command, refused with a line that says where it belongs.
    void AddOtherCommandsOption(const std::string& names, const std::string& problem);

    // Loads the program named on the command line, its path made absolute first: exitOk, or the
    // refusal already told.
    int LoadProgram(std::filesystem::path& programPath,
                    std::unique_ptr<program::Program>& program) const;

    // The saved settings (their warning said once) with the model, channels and wait limit of
    // the command line.
    transfer::SamplerSettings ReadSettings(std::optional<std::int32_t> waitLimit) const;

    std::string programName;
    std::optional<std::int32_t> model;
    std::optional<std::int32_t> programNumber;
    std::optional<std::int32_t> sampleNumber;

private:
    std::optional<std::int32_t> midiChannel;
    std::optional<std::int32_t> exclusiveChannel;
};

} // namespace velomire::cli
