#include "program/RecentFileList.h"

#include <algorithm>

namespace velomire::program {

void RecentFileList::Add(const std::string& path) {
    if (path.empty()) {
        return;
    }
    Remove(path);
    entries.insert(entries.begin(), path);
    if (entries.size() > capacity) {
        entries.resize(capacity);
    }
}

void RecentFileList::Remove(const std::string& path) {
    entries.erase(std::remove(entries.begin(), entries.end(), path), entries.end());
}

void RecentFileList::Assign(const std::vector<std::string>& paths) {
    entries.clear();
    for (const auto& path : paths) {
        if (path.empty() || std::find(entries.begin(), entries.end(), path) != entries.end()) {
            continue;
        }
        if (entries.size() == capacity) {
            break;
        }
        entries.push_back(path);
    }
}

std::string RecentFileList::MenuText(std::size_t index, std::string_view path,
                                     std::size_t maxChars) {
    std::string shown(path);
    if (shown.size() > maxChars) {
        // Keep the file name whole and as much of the start of the directory as fits.
        const std::size_t slash = shown.find_last_of('/');
        const std::string tail = slash == std::string::npos ? shown : shown.substr(slash);
        const std::size_t headChars = maxChars > tail.size() + 3 ? maxChars - tail.size() - 3 : 0;
        shown = shown.substr(0, headChars) + "..." + tail;
    }
    std::string text = "&" + std::to_string(index + 1) + " ";
    for (char c : shown) {
        text += c;
        if (c == '&') {
            text += '&';
        }
    }
    return text;
}

} // namespace velomire::program
