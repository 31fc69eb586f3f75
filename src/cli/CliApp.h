#pragma once

#include <string>
#include <vector>

namespace velomire::cli {

// Exit codes of velomire-cli: done; refused or failed; a usage error; done, with a warning the
// user must read (a send's warnings, a conversion that clipped). 128 + the signal when stopped
// by SIGINT or SIGTERM.
enum ExitCode : int { exitOk = 0, exitRefused = 1, exitUsage = 2, exitWarning = 3 };

// The headless tool: one command per run, messages on stderr, results on stdout.
class CliApp {
public:
    int Run(const std::vector<std::string>& args);

private:
    int RunCommand(const std::vector<std::string>& args);
    int Info(const std::vector<std::string>& args);
    int New(const std::vector<std::string>& args);
    int Ports(const std::vector<std::string>& args);
    // A sampler on MIDI ports of its own, for checking a send without hardware.
    int Sampler(const std::vector<std::string>& args);
    // Rebuilds what a stream of sampler messages carries, into files.
    int Decode(const std::vector<std::string>& args);
    // render writes the bytes of a send to a file; send puts them on a MIDI port.
    int Transfer(const std::vector<std::string>& args, bool live);
};

} // namespace velomire::cli
