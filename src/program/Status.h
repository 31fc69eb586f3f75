#pragma once

#include <string>
#include <utility>

namespace velomire::program {

// The outcome of an operation that can fail with a message: ok, or the words saying why (for the
// message box, the command line's one line, or the log). `detail` is what the system said when it
// refused, with the file it refused ("/home/ann/p.vmp: Permission denied"); empty when there is
// nothing to add (a file that was read but whose content was refused, a device's own words).
struct Status {
    bool ok = true;
    std::string text;
    std::string detail{};

    explicit operator bool() const { return ok; }
    static Status Error(std::string text, std::string detail = {}) {
        return {false, std::move(text), std::move(detail)};
    }
    // The sentence, and the detail on a second line.
    std::string Text() const { return detail.empty() ? text : text + "\n" + detail; }
};

} // namespace velomire::program
