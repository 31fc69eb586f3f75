#include "cli/CliApp.h"
#include "cli/StderrMessages.h"
#include "cli/commands/LibrarianCommand.h"

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include <iostream>

namespace velomire::cli {
namespace {

// What the sampler holds, one line an item.
class ListCommand : public LibrarianCommand {
public:
    explicit ListCommand(CLI::App& parent)
        : LibrarianCommand(parent, "list",
                           "list --model M --port P --reply-port Q [--json] [--probe FIRST-LAST]",
                           "list the programs and samples the sampler holds, one line an item: "
                           "\"program N NAME\" or \"sample N NAME\", with \"(sent as "
                           "program#M)\" where the sampler numbers by place and the item keeps "
                           "the number a send gave it; which numbers they are goes to stderr") {
        App().add_flag("--json", json, "print a JSON array, with sizes and rates where known");
        AddProbeOption();
    }

    int Run() override {
        return WithLibrarian([this](transfer::Librarian& librarian,
                                    transfer::LibrarianProgress& progress) -> int {
            std::vector<transfer::SamplerEntry> entries;
            const transfer::LibrarianResult result = librarian.List(entries, progress);
            if (result.outcome != transfer::LibrarianResult::Outcome::done) {
                return Ending(result);
            }
            const transfer::ListNumbering numbering = librarian.Numbering();
            // Without them the list is still worth having; the user is told what is missing.
            const transfer::LibrarianResult sent = librarian.ReadSentNumbers(entries, progress);
            if (sent.outcome == transfer::LibrarianResult::Outcome::cancelled) {
                return Ending(sent);
            }
            if (json) {
                // The lengths and rates of the samples, where the family reads a header alone.
                const transfer::LibrarianResult headers = librarian.ReadHeaders(entries, progress);
                if (headers.outcome == transfer::LibrarianResult::Outcome::cancelled) {
                    return Ending(headers);
                }
                Print(entries, numbering);
            } else {
                StderrMessages().Show(numbering.text, "list");
                for (const auto& entry : entries) {
                    const std::string sentAs = entry.SentAsText();
                    PrintLine((entry.kind == transfer::SamplerEntry::Kind::program ? "program "
                                                                                   : "sample ") +
                              std::to_string(entry.number) + " " + entry.name +
                              (sentAs.empty() ? "" : " (sent as " + sentAs + ")"));
                }
            }
            if (!sent.Ok()) {
                return Ending(
                    {transfer::LibrarianResult::Outcome::done,
                     "the numbers the programs were sent as are not shown: " + sent.text});
            }
            return Ending(result);
        });
    }

private:
    static void Print(const std::vector<transfer::SamplerEntry>& entries,
                      const transfer::ListNumbering& numbering) {
        nlohmann::ordered_json out = nlohmann::ordered_json::array();
        for (const auto& entry : entries) {
            nlohmann::ordered_json item;
            item["kind"] =
                entry.kind == transfer::SamplerEntry::Kind::program ? "program" : "sample";
            item["number"] = entry.number;
            item["numbering"] = numbering.key;
            if (entry.sentAs) {
                item["sentAs"] = *entry.sentAs;
            }
            item["name"] = entry.name;
            if (entry.words) {
                item["words"] = *entry.words;
            }
            if (entry.rate) {
                item["rate"] = *entry.rate;
            }
            out.push_back(item);
        }
        std::cout << out.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace)
                  << '\n';
    }

    bool json = false;
};

} // namespace

std::unique_ptr<CliCommand> MakeListCommand(CLI::App& parent) {
    return std::make_unique<ListCommand>(parent);
}

} // namespace velomire::cli
