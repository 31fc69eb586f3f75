#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace velomire::program {

// The programs opened or saved last, newest first, at most `capacity` of them and each once.
class RecentFileList {
public:
    static constexpr std::size_t defaultCapacity = 6;

    explicit RecentFileList(std::size_t capacity = defaultCapacity) : capacity(capacity) {}

    // Puts the path first, removing an older mention of it and the oldest entry beyond capacity.
    void Add(const std::string& path);
    void Remove(const std::string& path);
    // Replaces the list with stored entries, dropping empty and repeated ones and the excess.
    void Assign(const std::vector<std::string>& paths);
    const std::vector<std::string>& Entries() const { return entries; }

    // The File menu text of entry `index` (0-based): "&1 " and the path with every '&' doubled,
    // its middle replaced by "..." when it is longer than maxChars characters, so the file name
    // itself stays readable.
    static std::string MenuText(std::size_t index, std::string_view path,
                                std::size_t maxChars = 60);

private:
    std::size_t capacity;
    std::vector<std::string> entries;
};

} // namespace velomire::program
