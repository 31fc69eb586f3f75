#include "cli/CliApp.h"
#include "cli/CliSupport.h"
#include "cli/StderrMessages.h"
#include "cli/commands/LibrarianCommand.h"
#include "transfer/ReceivedFiles.h"
#include "transfer/devices/NewFileCreator.h"

#include <CLI/CLI.hpp>

#include <filesystem>

namespace velomire::cli {
namespace {

namespace fs = std::filesystem;
using transfer::LibrarianResult;
using transfer::SamplerEntry;

// Takes samples and programs back from the sampler into files.
class GetCommand : public LibrarianCommand {
public:
    explicit GetCommand(CLI::App& parent)
        : LibrarianCommand(
              parent, "get",
              "get --model M --port P --reply-port Q (--sample N[,N...] | --program N | --all)\n"
              "                        [--probe FIRST-LAST] --out DIR",
              "take samples back from the sampler as 16-bit WAV files (a \"smpl\" chunk for the "
              "root key and loops, an \"inst\" chunk for a keygroup's key range), and a program "
              "as NAME.vmp with the samples it plays, into DIR; files are named after the "
              "sampler's names and never replace a file (\"-2\", \"-3\", ... are added); a file "
              "is written only once all of it came") {
        auto* samples = AddChecked(
            "--sample", "N[,N...]", "these samples",
            [this](const std::string& text) {
                const auto list = ParseList(text);
                sampleNumbers = list.value_or(std::set<int>());
                return list.has_value();
            },
            "--sample takes sample numbers such as 3,17");
        auto* program =
            AddNumber("--program", "N", "this program and its samples", programNumber, 0, 65535);
        auto* allOption = App().add_flag("--all", all,
                                         "every program with its samples, and every sample no "
                                         "program plays");
        samples->excludes(program)->excludes(allOption);
        program->excludes(allOption);
        AddProbeOption()->needs(allOption);
        App()
            .add_option("--out", outDir, "the folder the files go into (made when missing)")
            ->type_name("DIR")
            ->required();
    }

    int Run() override;

private:
    std::set<int> sampleNumbers;
    std::optional<std::int32_t> programNumber;
    bool all = false;
    std::string outDir;
};

int GetCommand::Run() {
    if (sampleNumbers.empty() && !programNumber && !all) {
        return UsageError("get needs --sample N, --program N or --all");
    }
    std::error_code ec;
    fs::create_directories(outDir, ec);
    if (!fs::is_directory(outDir, ec)) {
        return Refused(outDir + ": not a directory");
    }
    return WithLibrarian(
        [this](transfer::Librarian& librarian, transfer::LibrarianProgress& progress) -> int {
            transfer::NewFileCreator creator;
            transfer::ReceivedFiles files(outDir, creator);
            StderrMessages messages;
            std::vector<SamplerEntry> entries;
            if (programNumber || all) {
                const LibrarianResult listed = librarian.List(entries, progress);
                if (!listed.Ok()) {
                    return Ending(listed);
                }
            }
            // Each item in turn; one that fails is named and the others are still taken, a cancel
            // ends the command.
            bool failed = false;
            std::string warning;
            const auto take = [&](const char* kind, int number, const LibrarianResult& result,
                                  const std::string& written) {
                if (result.outcome == LibrarianResult::Outcome::cancelled) {
                    return false;
                }
                if (result.Ok()) {
                    PrintLine(std::string("Got ") + kind + " " + std::to_string(number) + ": " +
                              written);
                    warning = result.text.empty() ? warning : result.text;
                } else {
                    Refused(std::string(kind) + " " + std::to_string(number) + ": " +
                            (result.text.empty() ? "the sampler did not answer" : result.text));
                    failed = true;
                }
                return true;
            };
            std::set<int> programSamples;
            std::vector<int> programs;
            if (programNumber) {
                programs.push_back(*programNumber);
            }
            for (const auto& entry : entries) {
                if (all && entry.kind == SamplerEntry::Kind::program) {
                    programs.push_back(entry.number);
                } else if (all) {
                    sampleNumbers.insert(entry.number);
                }
            }
            for (const int number : programs) {
                std::string written;
                const LibrarianResult result = transfer::GetProgramFiles(
                    librarian, number, entries, files, progress, messages, written, programSamples);
                if (!take("program", number, result, written)) {
                    return Ending(result);
                }
            }
            for (const int number : sampleNumbers) {
                if (all && programSamples.count(number) != 0) {
                    continue; // written beside its program already
                }
                std::string written;
                const LibrarianResult result =
                    transfer::GetSampleFile(librarian, number, files, progress, written);
                if (!take("sample", number, result, written)) {
                    return Ending(result);
                }
            }
            if (failed || messages.Count() > 0) {
                return exitRefused;
            }
            return Ending({LibrarianResult::Outcome::done, warning});
        });
}

} // namespace

std::unique_ptr<CliCommand> MakeGetCommand(CLI::App& parent) {
    return std::make_unique<GetCommand>(parent);
}

} // namespace velomire::cli
