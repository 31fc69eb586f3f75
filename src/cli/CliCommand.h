#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace CLI {
class App;
class Option;
} // namespace CLI

namespace velomire::cli {

// One command of velomire-cli: its options, declared on a CLI11 subcommand of its own, and what
// it does once they are parsed. Each command lives in its own file under commands/.
class CliCommand {
public:
    virtual ~CliCommand() = default;
    CliCommand(const CliCommand&) = delete;
    CliCommand& operator=(const CliCommand&) = delete;

    // Runs after the options were parsed and checked: an exit status (CliApp.h).
    virtual int Run() = 0;

    const std::string& Name() const { return name; }
    CLI::App& App() const { return *app; }
    // What `velomire-cli NAME --help` prints: the usage line, the summary and every option.
    std::string Help() const;
    // The command's lines in the overview that `velomire-cli --help` prints.
    std::string Overview() const;

protected:
    // Adds the subcommand `name` to `parent`. synopsis follows "velomire-cli " in the usage line
    // (lines after the first are indented to stand under the command); summary says what the
    // command does, in a few lines.
    CliCommand(CLI::App& parent, std::string name, std::string synopsis, std::string summary);

    // One line on stderr naming the problem and where the command's help is; exit status 2.
    int UsageError(const std::string& message) const;

    // An option whose value check throws UsageProblem with the user's words: parse turns the
    // text into the value or returns false, and the problem says what the option takes.
    CLI::Option* AddChecked(const std::string& names, const std::string& typeName,
                            const std::string& description,
                            std::function<bool(const std::string&)> parse,
                            const std::string& problem);

    // A whole number from min to max; the problem names the range.
    CLI::Option* AddNumber(const std::string& names, const std::string& typeName,
                           const std::string& description, std::optional<std::int32_t>& value,
                           std::int32_t min, std::int32_t max);

    // --model M: a model number or name, as SamplerModel::Parse reads it.
    CLI::Option* AddModelOption(std::optional<std::int32_t>& model);

    // --allow-rate: a sample the model plays off pitch is warned of without exit status 3.
    CLI::Option* AddAllowRateOption(bool& allowed);

private:
    std::string name;
    std::string synopsis;
    std::string summary;
    CLI::App* app;
};

// The commands, in the order the overview lists them.
std::unique_ptr<CliCommand> MakeInfoCommand(CLI::App& parent);
std::unique_ptr<CliCommand> MakeNewCommand(CLI::App& parent);
std::unique_ptr<CliCommand> MakePortsCommand(CLI::App& parent);
std::unique_ptr<CliCommand> MakeRenderCommand(CLI::App& parent);
std::unique_ptr<CliCommand> MakeSendCommand(CLI::App& parent);
std::unique_ptr<CliCommand> MakeSamplerCommand(CLI::App& parent);
std::unique_ptr<CliCommand> MakeDecodeCommand(CLI::App& parent);
std::unique_ptr<CliCommand> MakeListCommand(CLI::App& parent);
std::unique_ptr<CliCommand> MakeGetCommand(CLI::App& parent);
std::unique_ptr<CliCommand> MakeDeleteCommand(CLI::App& parent);
std::unique_ptr<CliCommand> MakeImageCommand(CLI::App& parent);
std::unique_ptr<CliCommand> MakeImportCommand(CLI::App& parent);
std::unique_ptr<CliCommand> MakeExportCommand(CLI::App& parent);

} // namespace velomire::cli
