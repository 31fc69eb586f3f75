#include "cli/CliApp.h"
#include "cli/CliCommand.h"
#include "cli/CliSupport.h"
#include "cli/StderrMessages.h"
#include "program/AddSample.h"
#include "program/KeyMapping.h"
#include "program/Program.h"
#include "program/ProgramFile.h"
#include "program/SampleConverter.h"
#include "program/WavInfo.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <cctype>
#include <filesystem>

namespace velomire::cli {
namespace {

namespace fs = std::filesystem;

class NewCommand : public CliCommand {
public:
    explicit NewCommand(CLI::App& parent)
        : CliCommand(parent, "new",
                     "new PROGRAM.vmp FILE.wav... [--convert [--rate R] [--dither]]\n"
                     "                        [--map-keys]",
                     "create a program from WAV files of the program's directory and save it; "
                     "refused files are named and skipped, at most 40 samples are taken") {
        App().add_option("PROGRAM.vmp", programName, "the program file")->required();
        App().add_option("FILE.wav", wavNames, "the sample files");
        App().add_flag("--convert", convert,
                       "convert files of other formats (24-bit or float WAV, AIFF, FLAC, Ogg) "
                       "into 16-bit WAV files beside them (never over an existing file), of "
                       "1,000 to 200,000 Hz and at most 16,777,216 frames");
        AddChecked(
            "--rate", "R",
            "rate of the converted files: keep (default), 44100, 22050, or s900 (the nearest "
            "rate the S900/S950 takes)",
            [this](const std::string& value) {
                const std::pair<const char*, program::TargetRate> rates[] = {
                    {"keep", program::TargetRate::keep},
                    {"44100", program::TargetRate::rate44100},
                    {"22050", program::TargetRate::rate22050},
                    {"s900", program::TargetRate::s900}};
                for (const auto& [name, rate] : rates) {
                    if (value == name) {
                        convertOptions.rate = rate;
                        return true;
                    }
                }
                return false;
            },
            "--rate takes keep, 44100, 22050 or s900");
        App().add_flag("--dither", convertOptions.dither,
                       "TPDF dither where the source has more than 16 bits");
        App().add_flag("--map-keys", mapKeys,
                       "read each sample's note from its file name (\"Pad_C3\", \"Str_060\") and "
                       "set the pitches and key ranges");
    }

    int Run() override;

private:
    std::string programName;
    std::vector<std::string> wavNames;
    bool convert = false;
    bool mapKeys = false;
    program::ConvertOptions convertOptions;
};

} // namespace

int NewCommand::Run() {
    // names[0] is the program, the others its sample files.
    std::vector<std::string> names = {programName};
    names.insert(names.end(), wavNames.begin(), wavNames.end());
    std::error_code ec;
    const fs::path programPath = fs::absolute(names[0], ec);
    if (ec || !fs::is_directory(programPath.parent_path(), ec)) {
        return Refused(names[0] + ": the program's directory does not exist");
    }
    std::string extension = programPath.extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (extension != ".vmp") {
        return Refused(names[0] + ": a program file name ends in .vmp");
    }
    if (const auto why = ProtectedTarget(programPath, true)) {
        return Refused(names[0] + ": " + *why + "; nothing was written");
    }
    // The WAV files are named on the command line relative to where the user is; the program
    // names them relative to its own directory, which becomes the working directory.
    std::vector<fs::path> wavPaths;
    for (std::size_t i = 1; i < names.size(); ++i) {
        wavPaths.push_back(fs::absolute(names[i], ec));
        if (SameFile(wavPaths.back(), programPath)) {
            return Refused(names[0] + ": is also named as a sample file; nothing was written");
        }
    }

    StderrMessages messages;
    auto program = std::make_unique<program::Program>();
    program->SetProgramPath(programPath, true);
    const fs::path directory = fs::canonical(program->programDirectory, ec);

    std::vector<fs::path> files;
    for (const auto& wavPath : wavPaths) {
        if (fs::canonical(wavPath.parent_path(), ec) != directory) {
            messages.Show("Error: not in the program's directory !", wavPath.string());
            continue;
        }
        files.push_back(wavPath);
    }

    // Files of other formats become 16-bit WAV files beside them, when asked for. SIGINT and
    // SIGTERM stop the conversions; the files of this run are then removed and nothing is saved.
    std::vector<std::string> fileNames;
    std::vector<std::string> convertedNames; // written by this run
    std::string notConverted;
    FileConverter converter;
    const auto toConvert = program::FilesToConvert(files, converter);
    program::ConvertedFiles converted;
    if (convert) {
        const StopSignalsCancel stopOnSignal;
        converted = program::ConvertFiles(toConvert, directory, convertOptions, converter, messages,
                                          [](double) { return stopSignal == 0; });
        for (const auto& name : converted.names) {
            if (name) {
                convertedNames.push_back(*name);
            }
        }
        if (const int signal = stopSignal.load(); signal != 0) {
            for (const auto& name : convertedNames) {
                fs::remove(directory / name, ec);
            }
            Refused("interrupted; nothing was saved");
            return 128 + signal;
        }
    }
    for (const auto& file : files) {
        const auto found = std::find(toConvert.begin(), toConvert.end(), file);
        if (found == toConvert.end()) {
            fileNames.push_back(file.filename().string());
        } else if (!convert) {
            // Refused by the reader as ever, then named once more with the way to take it.
            fileNames.push_back(file.filename().string());
            notConverted += " " + file.filename().string();
        } else if (const auto& name =
                       converted.names[static_cast<std::size_t>(found - toConvert.begin())]) {
            PrintLine("Converted " + file.filename().string() + " to " + *name);
            fileNames.push_back(*name);
        }
    }

    for (const auto& fileName : fileNames) {
        const bool full = program->sampleCount >= program::Program::maxSamples;
        program::AddSample(*program, fileName, messages);
        if (full) {
            break; // said once, not once for every file left
        }
    }
    // A converted file the program did not take (refused, or past a full program) is not left
    // behind unused.
    for (const auto& name : convertedNames) {
        bool used = false;
        for (int i = 0; i < program->sampleCount; ++i) {
            used =
                used || program::FieldText(
                            program->samples[static_cast<std::size_t>(i)].sample.fileName) == name;
        }
        if (!used) {
            fs::remove(directory / name, ec);
        }
    }

    if (!notConverted.empty()) {
        messages.Show("other sound formats are converted into 16-bit WAV files with --convert:" +
                          notConverted,
                      "");
    }

    // What was said so far refused files, but for the clipping note; what key mapping says next
    // only informs.
    const std::size_t refusals = messages.Count();
    const std::size_t clippingNotes = converted.clipped > 0 ? 1 : 0;
    if (mapKeys) {
        const auto unrecognised = program::MapKeysFromNames(
            std::span(program->samples).first(static_cast<std::size_t>(program->sampleCount)), {});
        if (!unrecognised.empty()) {
            messages.Show(program::UnmappedNamesText(unrecognised), "");
        }
    }

    // A program that took none of its files is not saved (an earlier program of that name stays).
    if (program->sampleCount == 0 && !wavPaths.empty()) {
        return Refused(names[0] + ": no file was taken; nothing was saved");
    }
    const auto saved = program::ProgramFile::SaveFile(programPath, *program);
    if (!saved) {
        return Refused(FileProblem(programPath.string(), saved));
    }
    PrintLine("Saved " + programPath.filename().string() + " with " +
              std::to_string(program->sampleCount) +
              (program->sampleCount == 1 ? " sample" : " samples"));
    // The accepted files are saved; a script still learns that some were refused, or that a
    // conversion clipped (a warning, told in its line above).
    if (refusals > clippingNotes) {
        return exitRefused;
    }
    return clippingNotes > 0 ? exitWarning : exitOk;
}

std::unique_ptr<CliCommand> MakeNewCommand(CLI::App& parent) {
    return std::make_unique<NewCommand>(parent);
}

} // namespace velomire::cli
