#include "program/KeyMapping.h"

#include <algorithm>
#include <cctype>

namespace velomire::program {
namespace {

bool IsDigit(char c) {
    return std::isdigit(static_cast<unsigned char>(c)) != 0;
}
bool IsAlpha(char c) {
    return std::isalpha(static_cast<unsigned char>(c)) != 0;
}
bool IsLower(char c) {
    return std::islower(static_cast<unsigned char>(c)) != 0;
}
bool IsUpper(char c) {
    return std::isupper(static_cast<unsigned char>(c)) != 0;
}

// Semitones above C of each letter A to G.
constexpr int letterSemitone[] = {9, 11, 0, 2, 4, 5, 7};

// A note name starting at `i`, as a note number (possibly out of range).
std::optional<int> NoteNameAt(std::string_view name, std::size_t i) {
    const char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(name[i])));
    if (letter < 'A' || letter > 'G') {
        return std::nullopt;
    }
    // The letter starts a word: the name's start, after a separator or a digit, or a capital
    // after a small letter ("PadC3").
    if (i > 0 && IsAlpha(name[i - 1]) && !(IsLower(name[i - 1]) && IsUpper(name[i]))) {
        return std::nullopt;
    }
    int note = letterSemitone[letter - 'A'];
    std::size_t j = i + 1;
    if (j < name.size() && (name[j] == '#' || name[j] == 'b')) {
        note += name[j] == '#' ? 1 : -1;
        ++j;
    }
    int sign = 1;
    if (j < name.size() && name[j] == '-') {
        sign = -1;
        ++j;
    }
    if (j >= name.size() || !IsDigit(name[j]) || (j + 1 < name.size() && IsDigit(name[j + 1]))) {
        return std::nullopt;
    }
    const int octave = sign * (name[j] - '0');
    return (octave + 2) * 12 + note;
}

// A run of exactly three digits starting at `i`, not followed by a letter ("120bpm" is a tempo).
std::optional<int> NumberAt(std::string_view name, std::size_t i) {
    if (i + 3 > name.size() || (i > 0 && IsDigit(name[i - 1]))) {
        return std::nullopt;
    }
    for (std::size_t k = i; k < i + 3; ++k) {
        if (!IsDigit(name[k])) {
            return std::nullopt;
        }
    }
    if (i + 3 < name.size() && (IsDigit(name[i + 3]) || IsAlpha(name[i + 3]))) {
        return std::nullopt;
    }
    return (name[i] - '0') * 100 + (name[i + 1] - '0') * 10 + (name[i + 2] - '0');
}

} // namespace

std::optional<int> NoteFromFileName(std::string_view fileName) {
    std::string_view name = fileName;
    if (const auto slash = name.find_last_of("/\\"); slash != std::string_view::npos) {
        name.remove_prefix(slash + 1);
    }
    if (const auto dot = name.rfind('.'); dot != std::string_view::npos && dot > 0) {
        name = name.substr(0, dot);
    }

    std::optional<int> found;
    for (std::size_t i = 0; i < name.size(); ++i) {
        if (const auto note = NoteNameAt(name, i)) {
            found = note;
        }
    }
    if (!found) {
        for (std::size_t i = 0; i < name.size(); ++i) {
            if (const auto number = NumberAt(name, i)) {
                found = number;
            }
        }
    }
    if (found && (*found < Program::lowestKey || *found > Program::highestKey)) {
        return std::nullopt;
    }
    return found;
}

std::string UnmappedNamesText(const std::vector<std::string>& fileNames) {
    std::string text = "No note found in the name of:";
    for (const auto& name : fileNames) {
        text += "\n" + name;
    }
    text += "\nThese samples keep their keys.";
    return text;
}

std::vector<std::string> MapKeysFromNames(std::span<SampleEntry> entries, std::vector<int> rows) {
    if (rows.empty()) {
        for (std::size_t i = 0; i < entries.size(); ++i) {
            rows.push_back(static_cast<int>(i));
        }
    }
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());

    std::vector<std::string> unrecognised;
    std::vector<std::size_t> places; // the rows that got a pitch, in table order
    for (const int row : rows) {
        if (row < 0 || static_cast<std::size_t>(row) >= entries.size()) {
            continue;
        }
        SampleEntry& entry = entries[static_cast<std::size_t>(row)];
        const std::string fileName = FieldText(entry.sample.fileName);
        if (const auto note = NoteFromFileName(fileName)) {
            entry.sample.rootKey = static_cast<std::int16_t>(*note);
            places.push_back(static_cast<std::size_t>(row));
        } else {
            unrecognised.push_back(fileName);
        }
    }

    std::vector<SampleEntry> sorted;
    sorted.reserve(places.size());
    for (const std::size_t place : places) {
        sorted.push_back(entries[place]);
    }
    std::stable_sort(sorted.begin(), sorted.end(), [](const SampleEntry& a, const SampleEntry& b) {
        return a.sample.rootKey < b.sample.rootKey;
    });

    for (std::size_t k = 0; k < sorted.size(); ++k) {
        const int pitch = sorted[k].sample.rootKey;
        int low = Program::lowestKey;
        int high = Program::highestKey;
        // The nearest different pitch below and above.
        for (std::size_t m = k; m-- > 0;) {
            if (sorted[m].sample.rootKey != pitch) {
                low = (sorted[m].sample.rootKey + pitch) / 2 + 1;
                break;
            }
        }
        for (std::size_t m = k + 1; m < sorted.size(); ++m) {
            if (sorted[m].sample.rootKey != pitch) {
                high = (pitch + sorted[m].sample.rootKey) / 2;
                break;
            }
        }
        sorted[k].keygroup.lowKey = static_cast<std::int16_t>(low);
        sorted[k].keygroup.highKey = static_cast<std::int16_t>(high);
        entries[places[k]] = sorted[k];
    }
    return unrecognised;
}

} // namespace velomire::program
