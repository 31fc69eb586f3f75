#pragma once

#include "program/UserMessages.h"

#include <string>
#include <string_view>

namespace velomire::cli {

// Text for the terminal: control bytes (an escape sequence, a line break held in a file name) are
// shown as \xNN instead of acting on the terminal. Other bytes, UTF-8 included, pass unchanged.
std::string TerminalText(std::string_view text);

// Prints one line on stdout as TerminalText shows it, at once (a script reading a pipe, or the
// user watching the simulated sampler, sees it when it happens).
void PrintLine(std::string_view text);

// Prints each message as one line on stderr: "caption: text". A message of two lines (a sentence,
// then the path and the system's reason) is printed as "caption: sentence (path: reason)".
class StderrMessages : public program::UserMessages {
public:
    void Show(std::string_view text, std::string_view caption) override;
    int Count() const { return count; }

private:
    int count = 0;
};

} // namespace velomire::cli
