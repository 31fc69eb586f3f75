#pragma once

#include <string>
#include <string_view>

namespace velomire::program {

// The caption of the application's own messages (those that name no file or call).
inline constexpr std::string_view appCaption = "Velomire";

// Where the core reports a failure to the user: a plain message with a caption (a file name, a
// failing call's name). The desktop application shows a message box with an OK button, the
// command line prints one line on stderr, tests record the calls.
class UserMessages {
public:
    virtual ~UserMessages() = default;
    virtual void Show(std::string_view text, std::string_view caption) = 0;
};

// Keeps the last message shown, for the one line a file operation fails with.
class LastMessage : public UserMessages {
public:
    void Show(std::string_view text, std::string_view) override { last = text; }
    std::string last;
};

} // namespace velomire::program
