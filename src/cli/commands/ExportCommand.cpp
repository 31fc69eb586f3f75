#include "cli/CliApp.h"
#include "cli/CliCommand.h"
#include "cli/CliSupport.h"
#include "cli/StderrMessages.h"
#include "instrument/SfzWriter.h"
#include "instrument/devices/NewFileWriter.h"
#include "program/ProgramFile.h"

#include <CLI/CLI.hpp>

#include <filesystem>

namespace velomire::cli {
namespace {

namespace fs = std::filesystem;

class ExportCommand : public CliCommand {
public:
    explicit ExportCommand(CLI::App& parent)
        : CliCommand(parent, "export", "export PROGRAM.vmp --format sfz -o DIR",
                     "write the program as an SFZ instrument with its WAV files (smpl and inst "
                     "chunks: root key, all four loops, key range) into DIR, made when missing; "
                     "never over an existing file") {
        App().add_option("PROGRAM.vmp", programName, "the program file")->required();
        AddChecked(
            "--format", "F", "the instrument format: sfz",
            [](const std::string& value) { return value == "sfz" || value == "SFZ"; },
            "--format takes sfz");
        App().add_option("-o,--output", output, "the folder to write into")->required();
    }

    int Run() override;

private:
    std::string programName;
    std::string output;
};

int ExportCommand::Run() {
    std::error_code ec;
    const fs::path programPath = fs::absolute(programName, ec);
    auto program = std::make_unique<program::Program>();
    if (const auto result = program::ProgramFile::LoadFile(programPath, *program); !result) {
        return Refused(FileProblem(programName, result));
    }
    const fs::path directory = fs::absolute(output, ec);
    if (!fs::exists(directory, ec)) {
        fs::create_directory(directory, ec);
        if (ec) {
            return Refused(output + ": the folder cannot be made (" + ec.message() + ")");
        }
    }
    std::vector<fs::path> written;
    const program::Status status =
        instrument::ExportSfz(*program, programPath.parent_path(), programPath.stem().string(),
                              directory, instrument::DiskNewFileWriter(), written);
    if (!status) {
        return Refused(status.detail.empty() ? status.text
                                             : status.text + " (" + status.detail + ")");
    }
    for (const auto& file : written) {
        PrintLine("Wrote " + file.string());
    }
    return exitOk;
}

} // namespace

std::unique_ptr<CliCommand> MakeExportCommand(CLI::App& parent) {
    return std::make_unique<ExportCommand>(parent);
}

} // namespace velomire::cli
