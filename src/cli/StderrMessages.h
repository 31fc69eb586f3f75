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

// Whether stderr is a terminal, where a person may be watching.
bool StderrIsTerminal();

// A line of progress on stderr, redrawn in place ("  45 %"), for a person watching a terminal.
// PrintLine, Refused and StderrMessages wipe it before they print, so no line runs into it.
void ShowProgressLine(std::string_view text);
void WipeProgressLine();

// How every line velomire-cli writes on stderr starts, so that a script's log says where it came
// from.
inline constexpr std::string_view messagePrefix = "velomire-cli: ";

// Prints each message as one line on stderr: "velomire-cli: caption: text", the caption left out
// when it is the application's own name. A message of two lines (a sentence, then the path and
// the system's reason) is printed as "velomire-cli: caption: sentence (path: reason)".
class StderrMessages : public program::UserMessages {
public:
    void Show(std::string_view text, std::string_view caption) override;
    int Count() const { return count; }

private:
    int count = 0;
};

} // namespace velomire::cli
