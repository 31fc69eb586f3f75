#pragma once

#include <string>
#include <utility>

namespace velomire::program {

// The outcome of an operation that can fail with a message: ok, or the words saying why (for the
// message box, the command line's one line, or the log).
struct Status {
    bool ok = true;
    std::string text;

    explicit operator bool() const { return ok; }
    static Status Error(std::string text) { return {false, std::move(text)}; }
};

} // namespace velomire::program
