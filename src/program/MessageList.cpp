#include "program/MessageList.h"

namespace velomire::program {
namespace {

// "Error: Invalid .Wav File !" reads as "Invalid .Wav File" in a list of reasons.
std::string Reason(std::string_view text) {
    for (const std::string_view prefix : {"Error: ", "Error : "}) {
        if (text.starts_with(prefix)) {
            text.remove_prefix(prefix.size());
        }
    }
    if (text.ends_with(" !")) {
        text.remove_suffix(2);
    }
    return std::string(text);
}

} // namespace

void MessageList::Show(std::string_view text, std::string_view caption) {
    if (caption == appCaption || caption.empty()) {
        paragraphs.emplace_back(text);
    } else {
        files.emplace_back(std::string(caption), Reason(text));
    }
}

std::string MessageList::Reasons() const {
    std::string text;
    for (const auto& [file, reason] : files) {
        text += (text.empty() ? "" : "; ") + reason;
    }
    for (const std::string& paragraph : paragraphs) {
        text += (text.empty() ? "" : "; ") + paragraph;
    }
    return text;
}

std::string MessageList::Text(std::string_view heading) const {
    std::string text;
    if (!files.empty()) {
        text = heading;
        for (const auto& [file, reason] : files) {
            text.append("\n").append(file).append(": ").append(reason);
        }
    }
    for (const std::string& paragraph : paragraphs) {
        text += (text.empty() ? "" : "\n\n") + paragraph;
    }
    return text;
}

} // namespace velomire::program
