#include "cli/CliApp.h"
#include "cli/CliCommand.h"
#include "cli/CliSupport.h"
#include "cli/StderrMessages.h"
#include "instrument/ImportWriter.h"
#include "instrument/ProgramMapping.h"
#include "instrument/devices/InstrumentFiles.h"
#include "instrument/devices/NewFileWriter.h"
#include "program/SampleConverter.h"

#include <CLI/CLI.hpp>

#include <filesystem>

namespace velomire::cli {
namespace {

namespace fs = std::filesystem;

class ImportCommand : public CliCommand {
public:
    explicit ImportCommand(CLI::App& parent)
        : CliCommand(parent, "import",
                     "import FILE [--instrument N|NAME] [--model M] -o PROGRAM.vmp [--report]\n"
                     "                        import FILE --list",
                     "turn an instrument (SFZ, SoundFont 2, DLS, GigaStudio, Korg multisample, "
                     "Decent Sampler, or a program on an Akai disk image) into a program and its "
                     "WAV files for the "
                     "model, never over an existing file, and say what was carried, folded and "
                     "dropped; exit status 3 when something was folded or dropped. With --report "
                     "and no -o, only the report") {
        App().add_option("FILE", file, "the instrument file")->required();
        App().add_option(
            "--instrument", instrument,
            "the instrument's number (as --list shows it) or its name; the first by default");
        AddModelOption(model);
        App().add_option("-o,--output", output,
                         "the program file to write (.vmp); its WAV files go beside it");
        App().add_flag("--report", report, "print every row and what was folded and dropped");
        App().add_flag("--list", list, "list the instruments of FILE");
    }

    int Run() override;

private:
    std::string file;
    std::string instrument;
    std::optional<std::int32_t> model;
    std::string output;
    bool report = false;
    bool list = false;
};

int ImportCommand::Run() {
    std::string error;
    if (list) {
        if (!output.empty() || report) {
            return UsageError("--list takes no other option");
        }
        const auto entries = instrument::ListInstruments(file, error);
        if (!entries) {
            return Refused(error);
        }
        for (const auto& entry : *entries) {
            PrintLine(instrument::EntryLine(entry));
        }
        return exitOk;
    }
    if (output.empty() && !report) {
        return UsageError("import needs -o PROGRAM.vmp (or --report, or --list)");
    }
    std::error_code ec;
    const fs::path programPath = output.empty() ? fs::path() : fs::absolute(output, ec);
    if (!output.empty()) {
        if (const std::string problem = instrument::ProgramFileProblem(programPath, output);
            !problem.empty()) {
            return Refused(problem);
        }
    }

    instrument::InstrumentChoice choice;
    if (!instrument.empty()) {
        if (const auto number = ParseWhole(instrument)) {
            choice.number = *number;
        } else {
            choice.name = instrument;
        }
    }
    auto read = instrument::ReadInstrument(file, choice, error);
    if (!read) {
        return Refused(error);
    }
    FileConverter converter;
    if (!instrument::ProbeSounds(*read, converter, error)) {
        return Refused(file + ": " + error);
    }
    const std::int32_t target = model.value_or(ReadSavedSettings().samplerModel);
    const instrument::ProgramMapping mapping = instrument::MapInstrument(*read, target);

    if (report) {
        for (const std::string& line : mapping.report.Lines()) {
            PrintLine(line);
        }
    } else {
        StderrMessages messages;
        for (const std::string& line : mapping.report.folded) {
            messages.Show("folded: " + line, file);
        }
        for (const std::string& line : mapping.report.dropped) {
            messages.Show("dropped: " + line, file);
        }
    }
    if (!output.empty()) {
        const StopSignalsCancel stopOnSignal;
        program::Program written;
        const program::Status status = instrument::WriteImportedProgram(
            *read, mapping, programPath, converter, instrument::DiskNewFileWriter(), written);
        if (!status) {
            return Refused(status.detail.empty() ? status.text
                                                 : status.text + " (" + status.detail + ")");
        }
        if (const int signal = stopSignal.load(); signal != 0) {
            return 128 + signal;
        }
        PrintLine("Wrote " + output + ": " + std::to_string(written.sampleCount) + " rows");
    } else if (mapping.rows.empty()) {
        return Refused(file + ": the instrument gives no row");
    }
    return mapping.report.Changed() ? exitWarning : exitOk;
}

} // namespace

std::unique_ptr<CliCommand> MakeImportCommand(CLI::App& parent) {
    return std::make_unique<ImportCommand>(parent);
}

} // namespace velomire::cli
