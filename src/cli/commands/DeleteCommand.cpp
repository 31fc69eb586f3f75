#include "cli/CliApp.h"
#include "cli/CliSupport.h"
#include "cli/StderrMessages.h"
#include "cli/commands/LibrarianCommand.h"

#include <CLI/CLI.hpp>

namespace velomire::cli {
namespace {

// Removes one program or sample from the sampler's memory.
class DeleteCommand : public LibrarianCommand {
public:
    explicit DeleteCommand(CLI::App& parent)
        : LibrarianCommand(parent, "delete",
                           "delete --model M --port P --reply-port Q (--sample N | --program N)",
                           "delete a sample or a program from the sampler's memory (the S1000 "
                           "family; the other samplers have no message for it)") {
        auto* sample = AddNumber("--sample", "N", "the sample's number", sampleNumber, 0, 65535);
        auto* program =
            AddNumber("--program", "N", "the program's number", programNumber, 0, 65535);
        sample->excludes(program);
    }

    int Run() override {
        if (!sampleNumber && !programNumber) {
            return UsageError("delete needs --sample N or --program N");
        }
        return WithLibrarian(
            [this](transfer::Librarian& librarian, transfer::LibrarianProgress&) -> int {
                const auto kind = sampleNumber ? transfer::SamplerEntry::Kind::sample
                                               : transfer::SamplerEntry::Kind::program;
                const int number = sampleNumber ? *sampleNumber : *programNumber;
                const transfer::LibrarianResult result = librarian.Delete(kind, number);
                if (result.Ok()) {
                    PrintLine(std::string("Deleted ") + (sampleNumber ? "sample " : "program ") +
                              std::to_string(number));
                }
                return Ending(result);
            });
    }

private:
    std::optional<std::string> Refusal(const transfer::Librarian& librarian) const override {
        if (librarian.CanDelete()) {
            return std::nullopt;
        }
        return "this sampler has no message for deleting: delete on the sampler itself";
    }

    std::optional<std::int32_t> sampleNumber;
    std::optional<std::int32_t> programNumber;
};

} // namespace

std::unique_ptr<CliCommand> MakeDeleteCommand(CLI::App& parent) {
    return std::make_unique<DeleteCommand>(parent);
}

} // namespace velomire::cli
