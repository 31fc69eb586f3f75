#pragma once

#include <string>
#include <vector>

namespace velomire::cli {

// Exit codes of velomire-cli: done; refused or failed; a usage error; done, with a warning the
// user must read (a send's warnings, a conversion that clipped). 128 + the signal when stopped
// by SIGINT or SIGTERM.
enum ExitCode : int { exitOk = 0, exitRefused = 1, exitUsage = 2, exitWarning = 3 };

// The headless tool: one command per run, messages on stderr, results on stdout. The commands
// and their options are declared with CLI11, each command in a file of its own (CliCommand.h).
class CliApp {
public:
    int Run(const std::vector<std::string>& args);

private:
    int RunCommand(const std::vector<std::string>& args);
};

} // namespace velomire::cli
