#include "program/SafeFileName.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <system_error>

namespace velomire::program {

namespace {

// The length of the UTF-8 sequence starting at `at`, or 0 when the bytes there are not one.
std::size_t Utf8Length(std::string_view text, std::size_t at) {
    const auto lead = static_cast<unsigned char>(text[at]);
    const std::size_t length = lead >= 0xC2 && lead <= 0xDF   ? 2
                               : lead >= 0xE0 && lead <= 0xEF ? 3
                               : lead >= 0xF0 && lead <= 0xF4 ? 4
                                                              : 0;
    if (length == 0 || at + length > text.size()) {
        return 0;
    }
    for (std::size_t i = 1; i < length; ++i) {
        if ((static_cast<unsigned char>(text[at + i]) & 0xC0) != 0x80) {
            return 0;
        }
    }
    return length;
}

void Trim(std::string& stem) {
    const auto kept = [](char c) { return c != ' ' && c != '.'; };
    stem.erase(stem.begin(), std::find_if(stem.begin(), stem.end(), kept));
    stem.erase(std::find_if(stem.rbegin(), stem.rend(), kept).base(), stem.end());
}

// Windows opens the device, not a file, for these names whatever follows their first dot.
bool IsDeviceName(std::string_view base) {
    std::string upper;
    for (const char c : base) {
        upper += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    constexpr std::array<std::string_view, 4> devices = {"CON", "PRN", "AUX", "NUL"};
    const bool numbered = upper.size() == 4 &&
                          (upper.rfind("COM", 0) == 0 || upper.rfind("LPT", 0) == 0) &&
                          upper[3] >= '0' && upper[3] <= '9';
    return numbered || std::find(devices.begin(), devices.end(), upper) != devices.end();
}

} // namespace

std::string SafeFileStem(std::string_view name, std::string_view fallback, std::size_t maxChars) {
    std::string stem;
    for (std::size_t i = 0; i < name.size();) {
        const char c = name[i];
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x80) {
            const std::size_t length = Utf8Length(name, i);
            stem += length == 0 ? std::string("_") : std::string(name.substr(i, length));
            i += std::max<std::size_t>(length, 1);
            continue;
        }
        ++i;
        if (c == ' ' && !stem.empty() && stem.back() == ' ') {
            continue; // the samplers pad names inside ("PAD       -L")
        }
        const bool refused = byte < 0x20 || byte == 0x7F ||
                             std::string_view("/\\:*?\"<>|").find(c) != std::string_view::npos;
        stem += refused ? '_' : c;
    }
    Trim(stem);
    if (maxChars != 0 && stem.size() > maxChars) {
        // Never inside a UTF-8 sequence.
        std::size_t cut = maxChars;
        while (cut > 0 && (static_cast<unsigned char>(stem[cut]) & 0xC0) == 0x80) {
            --cut;
        }
        stem.resize(cut);
        Trim(stem);
    }
    if (stem.empty()) {
        return std::string(fallback);
    }
    std::size_t baseEnd = std::min(stem.find('.'), stem.size());
    while (baseEnd > 0 && stem[baseEnd - 1] == ' ') {
        --baseEnd;
    }
    if (IsDeviceName(std::string_view(stem).substr(0, baseEnd))) {
        stem.insert(baseEnd, 1, '_');
    }
    return stem;
}

std::string FreeFileName(const std::filesystem::path& directory, std::string_view stem,
                         std::string_view extension, std::set<std::string>& taken) {
    constexpr int maxTries = 999;
    const auto lower = [](std::string text) {
        std::transform(text.begin(), text.end(), text.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        return text;
    };
    std::error_code ec;
    for (int n = 1; n <= maxTries; ++n) {
        std::string candidate(stem);
        if (n > 1) {
            candidate += "-" + std::to_string(n);
        }
        candidate += extension;
        if (!taken.contains(lower(candidate)) &&
            !std::filesystem::exists(std::filesystem::symlink_status(directory / candidate, ec))) {
            taken.insert(lower(candidate));
            return candidate;
        }
    }
    return {};
}

} // namespace velomire::program
