#pragma once

#include "cli/CliCommand.h"
#include "transfer/Librarian.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace velomire::cli {

// What list, get and delete share: the model, the ports to the sampler and back, the channels,
// and a librarian of the model's family talking on them. SIGINT and SIGTERM cancel what it is
// doing, as the Cancel button does (the family tells the sampler where it has a way to).
class LibrarianCommand : public CliCommand {
protected:
    LibrarianCommand(CLI::App& parent, std::string name, std::string synopsis, std::string summary);

    // Opens the ports, makes the librarian and runs `work` with it: the exit status, `work`'s
    // when everything opened.
    int WithLibrarian(
        const std::function<int(transfer::Librarian&, transfer::LibrarianProgress&)>& work);

    // Why the command cannot be done with this librarian, told before any port is opened; nothing
    // when it can.
    virtual std::optional<std::string> Refusal(const transfer::Librarian&) const {
        return std::nullopt;
    }

    // The exit status of a librarian's result, told on stderr: done 0, done with a text (a
    // warning) 3, stopped by a signal 128 + the signal, otherwise 1.
    static int Ending(const transfer::LibrarianResult& result);

    // --probe FIRST-LAST: the sample numbers an SDS sampler, which has no catalogue, is asked
    // about (0-16383; 0-31 when not given).
    CLI::Option* AddProbeOption();

    std::optional<std::int32_t> model;

private:
    std::string portName;
    std::string replyPortName;
    std::optional<std::int32_t> midiChannel;
    std::optional<std::int32_t> exclusiveChannel;
    int probeFirst = 0;
    int probeLast = 31;
};

} // namespace velomire::cli
