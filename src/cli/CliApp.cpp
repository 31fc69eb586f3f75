#include "cli/CliApp.h"

#include "cli/CliCommand.h"
#include "cli/CliSupport.h"
#include "cli/StderrMessages.h"

#include <CLI/CLI.hpp>

#include <algorithm>
#include <exception>
#include <iostream>
#include <memory>

namespace velomire::cli {
namespace {

const char* const exitStatusHelp =
    R"(velomire-cli COMMAND --help describes a command and its options.
exit status: 0 done, 1 refused or failed, 2 usage error, 3 done with a warning to read (a
conversion that clipped, a send that may have arrived damaged), 130 or 143 stopped by SIGINT or
SIGTERM
)";

// One line on stderr naming the problem and where the help is; exit status 2.
int UsageError(const std::string& command, const std::string& message) {
    const std::string help =
        command.empty() ? "velomire-cli --help" : "velomire-cli " + command + " --help";
    std::cerr << messagePrefix << TerminalText(message) << " (see " << help << ")\n";
    return exitUsage;
}

bool AsksForHelp(const std::vector<std::string>& args) {
    return std::any_of(args.begin(), args.end(),
                       [](const std::string& arg) { return arg == "--help" || arg == "-h"; });
}

} // namespace

int CliApp::Run(const std::vector<std::string>& args) {
    ResolveEnvironmentPaths();
    // A file system call that fails where nobody expected it still ends in one line.
    try {
        return RunCommand(args);
    } catch (const std::exception& error) {
        return Refused(error.what());
    }
}

int CliApp::RunCommand(const std::vector<std::string>& args) {
    CLI::App app("the headless side of Velomire", "velomire-cli");
    app.set_help_flag();
    app.require_subcommand(1);
    // Options start with '-' on every system: "/work/p.vmp" is a file, also on Windows. The
    // commands inherit this.
    app.allow_windows_style_options(false);
    std::vector<std::unique_ptr<CliCommand>> commands;
    for (const auto make :
         {MakeInfoCommand, MakeNewCommand, MakePortsCommand, MakeRenderCommand, MakeSendCommand,
          MakeSamplerCommand, MakeDecodeCommand, MakeListCommand, MakeGetCommand, MakeDeleteCommand,
          MakeImageCommand, MakeImportCommand, MakeExportCommand}) {
        commands.push_back(make(app));
    }
    const auto find = [&commands](const std::string& name) -> CliCommand* {
        for (const auto& command : commands) {
            if (command->Name() == name) {
                return command.get();
            }
        }
        return nullptr;
    };

    if (args.empty()) {
        return UsageError("", "no command given");
    }
    const std::vector<std::string> rest(args.begin() + 1, args.end());
    if (args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
        if (rest.empty()) {
            std::cout << "usage: velomire-cli COMMAND ...\n"
                      << "  --version                     print the version\n";
            for (const auto& command : commands) {
                std::cout << command->Overview();
            }
            std::cout << exitStatusHelp;
            return exitOk;
        }
        const CliCommand* topic = find(rest[0]);
        if (topic == nullptr) {
            return UsageError("", "unknown command '" + rest[0] + "'");
        }
        std::cout << topic->Help();
        return exitOk;
    }
    if (args[0] == "--version") {
        std::cout << "velomire-cli " << VELOMIRE_VERSION << '\n';
        return exitOk;
    }
    CliCommand* const command = find(args[0]);
    if (command == nullptr) {
        return UsageError("", "unknown command '" + args[0] + "'");
    }
    if (AsksForHelp(rest)) {
        std::cout << command->Help();
        return exitOk;
    }
    try {
        // CLI11 takes the arguments last first.
        std::vector<std::string> reversed(args.rbegin(), args.rend());
        app.parse(reversed);
    } catch (const UsageProblem& problem) {
        return UsageError(command->Name(), problem.what());
    } catch (const CLI::ExtrasError& error) {
        // "The following argument was not expected: --frob" as this tool says it.
        const std::string text = error.what();
        const std::string given = text.substr(text.find(": ") + 2);
        return UsageError(command->Name(), given.rfind('-', 0) == 0
                                               ? "unknown option '" + given + "'"
                                               : "unexpected argument '" + given + "'");
    } catch (const CLI::ParseError& error) {
        return UsageError(command->Name(), error.what());
    }
    return command->Run();
}

} // namespace velomire::cli
