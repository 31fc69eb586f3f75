#include "transfer/PortNames.h"

#include <algorithm>

namespace velomire::transfer {
namespace {

bool AllDigits(std::string_view text) {
    return !text.empty() &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// The name without a trailing " (20:0)".
std::string_view WithoutAddress(std::string_view name) {
    if (name.empty() || name.back() != ')') {
        return name;
    }
    const auto open = name.rfind(" (");
    if (open == std::string_view::npos) {
        return name;
    }
    const std::string_view address = name.substr(open + 2, name.size() - open - 3);
    const auto colon = address.find(':');
    if (colon == std::string_view::npos || !AllDigits(address.substr(0, colon)) ||
        !AllDigits(address.substr(colon + 1))) {
        return name;
    }
    return name.substr(0, open);
}

} // namespace

std::optional<int> FindSavedPort(const std::vector<std::string>& names,
                                 const std::string& savedName, int savedIndex) {
    const bool indexInList = savedIndex >= 0 && static_cast<std::size_t>(savedIndex) < names.size();
    if (savedName.empty()) {
        return indexInList ? std::optional(savedIndex) : std::nullopt;
    }
    if (indexInList && names[static_cast<std::size_t>(savedIndex)] == savedName) {
        return savedIndex;
    }
    if (const auto it = std::find(names.begin(), names.end(), savedName); it != names.end()) {
        return static_cast<int>(it - names.begin());
    }
    const std::string_view wanted = WithoutAddress(savedName);
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (WithoutAddress(names[i]) == wanted) {
            return static_cast<int>(i);
        }
    }
    return std::nullopt;
}

bool IsOwnMidiClient(std::string_view client) {
    for (const std::string_view own :
         {std::string_view("Velomire"), std::string_view("Velomire-in")}) {
        if (client == own) {
            return true;
        }
        if (client.size() > own.size() + 1 && client.substr(0, own.size()) == own &&
            client[own.size()] == '-' && AllDigits(client.substr(own.size() + 1))) {
            return true;
        }
    }
    return false;
}

bool IsOwnJackPort(std::string_view port) {
    return IsOwnMidiClient(port.substr(0, port.find(':')));
}

} // namespace velomire::transfer
