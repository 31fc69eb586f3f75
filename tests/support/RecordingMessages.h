#pragma once

#include "program/UserMessages.h"

#include <string>
#include <vector>

namespace velomire::testing {

// Keeps every message the core wanted to show, in order.
class RecordingMessages : public program::UserMessages {
public:
    struct Message {
        std::string text;
        std::string caption;
        bool operator==(const Message&) const = default;
    };

    void Show(std::string_view text, std::string_view caption) override {
        messages.push_back({std::string(text), std::string(caption)});
    }

    std::vector<Message> messages;
};

} // namespace velomire::testing
