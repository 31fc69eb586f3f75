#pragma once

#include "program/UserMessages.h"

namespace velomire::cli {

// Prints each message as one line on stderr: "caption: text".
class StderrMessages : public program::UserMessages {
public:
    void Show(std::string_view text, std::string_view caption) override;
    int Count() const { return count; }

private:
    int count = 0;
};

} // namespace velomire::cli
