#pragma once

#include "program/UserMessages.h"

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace velomire::program {

// Collects the messages of a batch of files instead of showing each one (a box per file stacks
// up, and one shown under a progress dialog cannot be answered): the caller shows them afterwards
// as one message.
class MessageList : public UserMessages {
public:
    // A message about a file (its name as caption) becomes one line "file: reason"; one with the
    // application's caption stays a paragraph of its own.
    void Show(std::string_view text, std::string_view caption) override;
    void Add(std::string file, std::string reason) {
        files.emplace_back(std::move(file), std::move(reason));
    }

    bool Empty() const { return files.empty() && paragraphs.empty(); }
    void Clear() {
        files.clear();
        paragraphs.clear();
    }
    // The reasons alone, "; " between them.
    std::string Reasons() const;
    // `heading` and a line per file ("kick.flac: not converted"), then the other paragraphs.
    std::string Text(std::string_view heading) const;

private:
    std::vector<std::pair<std::string, std::string>> files;
    std::vector<std::string> paragraphs;
};

} // namespace velomire::program
